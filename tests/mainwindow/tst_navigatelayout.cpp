#include "mainwindow/navigatelayout.h"

#include <QtTest>

Q_DECLARE_METATYPE(WindowShape)

namespace {

QRect placeOf(const NavigateLayout &l, const QString &name)
{
    for (const ControlPlace &c : l.controls)
        if (c.name == name)
            return c.twips;
    return {};
}

} // namespace

class TestNavigateLayout : public QObject {
    Q_OBJECT
private slots:
    void windowSizeFollowsRules_data();
    void windowSizeFollowsRules();
    void rulesAreIdempotent_data();
    void rulesAreIdempotent();
    void panelFollowsRightEdge();
    void designWidthGivesDesignPlaces();
};

void TestNavigateLayout::windowSizeFollowsRules_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<WindowShape>("shape");
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<int>("plotSide");
    QTest::addColumn<int>("clientHeight"); // 0: not bounded

    QTest::newRow("too narrow snaps to smallest")
        << QSize(3000, 4000) << WindowShape::Normal << true << QSize(5200, 2900) << 2200 << 0;
    QTest::newRow("exactly smallest")
        << QSize(5200, 2900) << WindowShape::Normal << true << QSize(5200, 2900) << 2200 << 0;
    QTest::newRow("dragged taller keeps shape")
        << QSize(8000, 9000) << WindowShape::Normal << true << QSize(8000, 5700) << 5000 << 0;
    QTest::newRow("dragged flatter keeps shape")
        << QSize(8000, 1000) << WindowShape::Normal << true << QSize(8000, 5700) << 5000 << 0;
    QTest::newRow("design width") << QSize(6320, 4875) << WindowShape::Normal << true
                                  << QSize(6320, 4020) << 3320 << 0;
    QTest::newRow("maximised keeps its height") << QSize(19200, 15000) << WindowShape::Maximized
                                                << true << QSize(19200, 15000) << 16200 << 0;
    QTest::newRow("maximised on a tiny screen is not resized")
        << QSize(4000, 3000) << WindowShape::Maximized << true << QSize(4000, 3000) << 1000 << 0;
    QTest::newRow("maximised narrower than the panel has no plot")
        << QSize(2000, 3000) << WindowShape::Maximized << true << QSize(2000, 3000) << 0 << 0;
    // A wide screen: the plot is as high as the client area, not W - 3000.
    QTest::newRow("maximised on a wide screen fits the client area")
        << QSize(19200, 11520) << WindowShape::Maximized << true << QSize(19200, 11520) << 10800
        << 10800;
    QTest::newRow("maximised with room keeps W - 3000")
        << QSize(19200, 17000) << WindowShape::Maximized << true << QSize(19200, 17000) << 16200
        << 16500;
    QTest::newRow("a normal window keeps its rule whatever its client height")
        << QSize(8000, 9000) << WindowShape::Normal << true << QSize(8000, 5700) << 5000 << 100;
    QTest::newRow("minimised does nothing")
        << QSize(2000, 400) << WindowShape::Minimized << false << QSize() << -1 << 0;
}

void TestNavigateLayout::windowSizeFollowsRules()
{
    QFETCH(QSize, requested);
    QFETCH(WindowShape, shape);
    QFETCH(bool, apply);
    QFETCH(QSize, outer);
    QFETCH(int, plotSide);
    QFETCH(int, clientHeight);

    const NavigateLayout l = clientHeight > 0 ? layoutNavigate(requested, shape, clientHeight)
                                              : layoutNavigate(requested, shape);
    QCOMPARE(l.apply, apply);
    if (!apply) {
        QVERIFY(l.controls.isEmpty());
        return;
    }
    QCOMPARE(l.outer, outer);
    QCOMPARE(placeOf(l, "Picture1"), QRect(0, 0, plotSide, plotSide));
}

void TestNavigateLayout::rulesAreIdempotent_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<WindowShape>("shape");
    QTest::newRow("narrow") << QSize(100, 100) << WindowShape::Normal;
    QTest::newRow("wide") << QSize(12345, 678) << WindowShape::Normal;
    QTest::newRow("maximised") << QSize(19200, 15000) << WindowShape::Maximized;
}

void TestNavigateLayout::rulesAreIdempotent()
{
    QFETCH(QSize, requested);
    QFETCH(WindowShape, shape);
    const NavigateLayout once = layoutNavigate(requested, shape);
    const NavigateLayout twice = layoutNavigate(once.outer, shape);
    QCOMPARE(twice.outer, once.outer);
    QCOMPARE(twice.controls, once.controls);
}

void TestNavigateLayout::panelFollowsRightEdge()
{
    const NavigateLayout l = layoutNavigate(QSize(9000, 1), WindowShape::Normal);
    QCOMPARE(placeOf(l, "ErrorDis"), QRect(6050, 300, 925, 1515));
    QCOMPARE(placeOf(l, "TimeDate"), QRect(7000, 0, 1875, 285));
    for (const char *box : {"CurLat", "CurLon", "CurHeight", "CurHead", "CurSpeed", "Sats"})
        QCOMPARE(placeOf(l, box).left(), 7480);
    QCOMPARE(placeOf(l, "Vality"), QRect(7960, 1800, 915, 315));
    QCOMPARE(placeOf(l, "Sats"), QRect(7480, 1800, 435, 315));
    QCOMPARE(placeOf(l, "Label1(1)"), QRect(7000, 360, 495, 195));
    QCOMPARE(placeOf(l, "Label1(6)"), QRect(7000, 1920, 555, 195));
    QCOMPARE(l.controls.size(), 16);
}

void TestNavigateLayout::designWidthGivesDesignPlaces()
{
    const QList<ControlPlace> design = designPlaces();
    QCOMPARE(design.first(), (ControlPlace{"Picture1", QRect(0, 0, 3450, 3435)}));
    const NavigateLayout l = layoutNavigate(QSize(6320, 4020), WindowShape::Normal);
    // Everything but the plot is where the design has it.
    QCOMPARE(design.mid(1), l.controls.mid(1));
    QCOMPARE(placeOf(l, "ErrorDis").left(), 3370);
    QCOMPARE(placeOf(l, "CurLat"), QRect(4800, 300, 1395, 285));
    QCOMPARE(placeOf(l, "Label1(2)"), QRect(4320, 660, 555, 195));
}

QTEST_GUILESS_MAIN(TestNavigateLayout)
#include "tst_navigatelayout.moc"
