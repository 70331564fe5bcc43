#include "link/gpsmain.h"
#include "mainwindow/skyplot.h"
#include "recordingsurface.h"
#include "testplatform.h"
#include "widgets/picturebox.h"

#include <QtTest>

namespace {

// Everything drawn before the satellites, with the heading line to `headingEnd`.
QStringList frameOps(const QString &headingEnd)
{
    return {"color #000000",
            "scale -2,-2 2,2",
            "clear",
            "circle 0,0 r0.1 filled",
            "circle 0,0 r1.9 open",
            "color #c0c0c0",
            "circle 0,0 r1.2 open",
            "circle 0,0 r0.6 open",
            "color #000000",
            "move -0.1,1.6",
            "print S",
            "move 1.6,-0.15",
            "print E",
            "move -0.1,-1.8",
            "print N",
            "move -1.8,-0.15",
            "print W",
            "line 0,0 " + headingEnd};
}

void setSat(GPS_Main &g, int slot, double number, double colour, double level, double azimuth,
            double elevation)
{
    g.SatTable[slot] = {0, number, colour, level, azimuth, elevation};
}

// Satellite `number` as used in the fix of the last navigation frame (positions 34-37).
void markUsed(GPS_Main &g, int number)
{
    g.LastNavigation[std::size_t(34 + (number - 1) / 8)] |= quint8(1 << ((number - 1) % 8));
}

int darkPixels(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                ++n;
    return n;
}

} // namespace

class TestSkyPlot : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void emptyPlotDrawsRoseAndNorthLine();
    void headingLineTurnsWithHeading_data();
    void headingLineTurnsWithHeading();
    void satellitesPlacedByAzimuthAndElevation_data();
    void satellitesPlacedByAzimuthAndElevation();
    void labelsStayWholeInsideThePlot_data();
    void labelsStayWholeInsideThePlot();
    void satellitesOfTheFixAreMarked_data();
    void satellitesOfTheFixAreMarked();
    void labelAtTheEastHorizonIsDrawnWhole();
    void emptyMiddleRowIsSkippedAndLaterRowsDrawn();
    void modeNoneDrawsNoSatellites();
    void labelTextFollowsMode_data();
    void labelTextFollowsMode();
    void packedColourUnpacksRgb_data();
    void packedColourUnpacksRgb();
    void imageShowsPlotWhereItWasDrawn();
    void imageKeepsDrawingUntilNextRedraw();
    void labelFontIsBoldNineThreeQuarterPoints();
    void keptDrawingsMatchDirectDrawing_data();
    void keptDrawingsMatchDirectDrawing();
    void imageIsTheSameWhenLookedAtOnlyAtTheEnd_data();
    void imageIsTheSameWhenLookedAtOnlyAtTheEnd();
    void onlyAChangedPictureIsPaintedAgain();
};

void TestSkyPlot::emptyPlotDrawsRoseAndNorthLine()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.SatLabelMode = 3;
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops, frameOps("0,-1.5"));
}

void TestSkyPlot::headingLineTurnsWithHeading_data()
{
    QTest::addColumn<double>("heading");
    QTest::addColumn<QString>("end");
    QTest::newRow("north") << 0.0 << "0,-1.5";
    QTest::newRow("east") << 0.25 << "1.5,0";
    QTest::newRow("south") << 0.5 << "0,1.5";
    QTest::newRow("west") << 0.75 << "-1.5,0";
    QTest::newRow("negative quarter is west") << -0.25 << "-1.5,0";
}

void TestSkyPlot::headingLineTurnsWithHeading()
{
    QFETCH(double, heading);
    QFETCH(QString, end);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.HeadingFraction = heading;
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops.filter(QStringLiteral("line ")), QStringList{"line 0,0 " + end});
}

void TestSkyPlot::satellitesPlacedByAzimuthAndElevation_data()
{
    // Elevation byte b is b * 180 / 256 degrees; the distance from the centre is
    // (1 - degrees / 90) * 1.8, worked out by hand below.
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<QStringList>("drawn");
    const auto at = [](const char *place) {
        return QStringList{"color #008000", place, "print 17"};
    };
    QTest::newRow("azimuth byte 64, elevation byte 128")
        << 64 / 256.0 << 128 / 256.0 << at("move 0,0");
    QTest::newRow("north on the horizon") << 0.0 << 0.0 << at("move 0,-1.8");
    QTest::newRow("south halfway up") << 0.5 << 64 / 256.0 << at("move 0,0.9");
    QTest::newRow("overhead, byte 256") << 0.3 << 1.0 << at("move 0,0");
    // 43 -> 30.234375 deg -> 1.8 - 0.6046875; 85 -> 59.765625 deg -> 0.6046875.
    QTest::newRow("north, byte 43, about 30 deg") << 0.0 << 43 / 256.0 << at("move 0,-1.1953125");
    QTest::newRow("south, byte 85, about 60 deg") << 0.5 << 85 / 256.0 << at("move 0,0.6046875");
    QTest::newRow("west, byte 129, past 90 deg") << 0.75 << 129 / 256.0 << at("move 0,0");
    QTest::newRow("below the horizon stays on it") << 0.0 << -0.1 << at("move 0,-1.8");
    QTest::newRow("azimuth not a number: not drawn") << std::nan("") << 0.2 << QStringList();
    QTest::newRow("elevation not a number: not drawn") << 0.2 << std::nan("") << QStringList();
}

void TestSkyPlot::satellitesPlacedByAzimuthAndElevation()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(QStringList, drawn);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.SatLabelMode = 1;
    setSat(g, 1, 17, 128 * 256, 5, azimuth, elevation);
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops, frameOps("0,-1.5") + drawn);
}

void TestSkyPlot::labelsStayWholeInsideThePlot_data()
{
    // The recording surface measures 0.1 a character and 0.3 high; the plot ends at 2.
    // A mark is 0.09 in radius with 0.045 to its label: 0.225 left of it in all.
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<bool>("used");
    QTest::addColumn<QStringList>("drawn");
    QTest::newRow("east horizon: 1.8 + 0.5 moves in to 1.5")
        << 0.25 << false << QStringList{"move 1.5,0", "print 17-42"};
    QTest::newRow("south horizon: 1.8 + 0.3 moves up to 1.7")
        << 0.5 << false << QStringList{"move 0,1.7", "print 17-42"};
    QTest::newRow("south-east horizon fits as it is")
        << 0.375 << false << QStringList{"move 1.272792206,1.272792206", "print 17-42"};
    QTest::newRow("west horizon with its mark moves in to -1.775")
        << 0.75 << true
        << QStringList{"circle -1.91,0.15 r0.09 filled", "move -1.775,0", "print 17-42"};
}

void TestSkyPlot::labelsStayWholeInsideThePlot()
{
    QFETCH(double, azimuth);
    QFETCH(bool, used);
    QFETCH(QStringList, drawn);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.SatLabelMode = 3;
    setSat(g, 1, 17, 0, 42, azimuth, 0);
    if (used)
        markUsed(g, 17);
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops.mid(frameOps("").size()), QStringList{"color #000000"} + drawn);
}

void TestSkyPlot::satellitesOfTheFixAreMarked_data()
{
    // The mark is a filled circle in the label's colour, left of the label and half
    // its height down: centre (x - 0.135, y + 0.15), radius 0.09.
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("usedNumber");
    QTest::addColumn<QStringList>("drawn");
    const QStringList unmarked{"color #800000", "move 0,-1.8", "print %1"};
    const QStringList marked{"color #800000", "circle -0.135,-1.65 r0.09 filled", "move 0,-1.8",
                             "print %1"};
    const auto with = [](QStringList ops, int n) {
        ops.last() = ops.last().arg(n);
        return ops;
    };
    QTest::newRow("tracked only") << 3 << 0 << with(unmarked, 3);
    QTest::newRow("satellite 3 in the fix: bit 2 of position 34") << 3 << 3 << with(marked, 3);
    QTest::newRow("satellite 32: bit 7 of position 37") << 32 << 32 << with(marked, 32);
    QTest::newRow("a neighbour in the fix is not this one") << 17 << 18 << with(unmarked, 17);
    QTest::newRow("33 is no satellite of the fix: position 38 is a channel byte")
        << 33 << 33 << with(unmarked, 33);
}

void TestSkyPlot::satellitesOfTheFixAreMarked()
{
    QFETCH(int, number);
    QFETCH(int, usedNumber);
    QFETCH(QStringList, drawn);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.SatLabelMode = 1;
    setSat(g, 1, number, 128, 5, 0, 0);
    if (usedNumber)
        markUsed(g, usedNumber);
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops.mid(frameOps("").size()), drawn);
}

void TestSkyPlot::labelAtTheEastHorizonIsDrawnWhole()
{
    // The label drawn on the real surface at the east horizon, against the same label
    // drawn in open sky: all of its red ink is on the image.
    const auto drawnAt = [](double azimuth, double elevation) {
        TestPlatform tp;
        GPS_Main g(tp.platform);
        g.HeadingLineLength = 1.5f;
        g.SatLabelMode = 3;
        setSat(g, 1, 28, 255, 47.4, azimuth, elevation);
        PictureBox box;
        box.resize(230, 230);
        DrawSkyPlot(g, box);
        return box.image().copy();
    };
    const auto redInk = [](const QImage &img, const QRect &area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += qRed(img.pixel(x, y)) > 150 && qGreen(img.pixel(x, y)) < 100;
        return n;
    };
    const QImage open = drawnAt(0.25, 64 / 256.0);
    const QImage east = drawnAt(0.25, 0);
    const int whole = redInk(open, open.rect());
    QVERIFY(whole > 20);
    QVERIFY2(std::abs(redInk(east, east.rect()) - whole) <= whole / 10,
             qPrintable(QStringLiteral("%1 of %2").arg(redInk(east, east.rect())).arg(whole)));
}

void TestSkyPlot::emptyMiddleRowIsSkippedAndLaterRowsDrawn()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.SatLabelMode = 3;
    setSat(g, 1, 3, 128, 7.4, 0, 0);                 // red
    setSat(g, 2, 0, 128 * 256, 9, 0.25, 0);          // empty
    setSat(g, 3, -1, 128 * 256, 9, 0.25, 0);         // empty
    setSat(g, 4, 21, 128 + 128 * 256, 2, 0.5, 0.25); // yellow
    setSat(g, 8, 30, 0, 1, 0.75, 0);                 // black
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(
        s.ops.mid(frameOps("").size()),
        (QStringList{"color #800000", "move 0,-1.8", "print 3-7.4", "color #808000", "move 0,0.9",
                     "print 21-2", "color #000000", "move -1.8,0", "print 30-1"}));
}

void TestSkyPlot::modeNoneDrawsNoSatellites()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.HeadingFraction = 0.25;
    g.SatLabelMode = 0;
    setSat(g, 1, 12, 128, 7, 0.1, 0.1);
    markUsed(g, 12);
    RecordingSurface s;
    DrawSkyPlot(g, s);
    QCOMPARE(s.ops, frameOps("1.5,0"));
}

void TestSkyPlot::labelTextFollowsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("label");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("number") << 1 << "12";
    QTest::newRow("level") << 2 << "7.4";
    QTest::newRow("number and level") << 3 << "12-7.4";
    QTest::newRow("unknown mode") << 4 << "";
    QTest::newRow("negative mode") << -1 << "";
}

void TestSkyPlot::labelTextFollowsMode()
{
    QFETCH(int, mode);
    QFETCH(QString, label);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.SatLabelMode = qint16(mode);
    setSat(g, 2, 12, 0, 7.4, 0, 0);
    QCOMPARE(SatLabel(g, 2), label);
    QCOMPARE(SatLabel(g, 9), QString());
}

void TestSkyPlot::packedColourUnpacksRgb_data()
{
    QTest::addColumn<double>("packed");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("black") << 0.0 << QColor(0, 0, 0);
    QTest::newRow("green") << double(128 * 256) << QColor(0, 128, 0);
    QTest::newRow("cyan") << double(128 * 256 + 128 * 65536) << QColor(0, 128, 128);
    QTest::newRow("red") << 128.0 << QColor(128, 0, 0);
    QTest::newRow("yellow") << double(128 + 128 * 256) << QColor(128, 128, 0);
    QTest::newRow("rounded to nearest") << 127.6 << QColor(128, 0, 0);
    QTest::newRow("negative draws black") << -5.0 << QColor(0, 0, 0);
    QTest::newRow("beyond 24 bits draws black") << double(0x1000000) << QColor(0, 0, 0);
    QTest::newRow("not a number draws black") << std::nan("") << QColor(0, 0, 0);
}

void TestSkyPlot::packedColourUnpacksRgb()
{
    QFETCH(double, packed);
    QFETCH(QColor, colour);
    QCOMPARE(packedColor(packed), colour);
}

void TestSkyPlot::imageShowsPlotWhereItWasDrawn()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    g.HeadingFraction = 0.25;
    g.SatLabelMode = 1;
    setSat(g, 1, 88, 128, 1, 0.5, 64 / 256.0); // 45 deg: half way out
    PictureBox box;
    box.resize(400, 400);
    DrawSkyPlot(g, box);
    const QImage &img = box.image();
    QCOMPARE(img.deviceIndependentSize().toSize(), QSize(400, 400));

    // Plot unit = 100 px, centre at (200, 200).
    QCOMPARE(qGray(img.pixel(200, 200)), 0);               // filled centre mark
    QVERIFY(darkPixels(img, QRect(385, 195, 8, 10)) > 0);  // horizon at x = 390
    QCOMPARE(darkPixels(img, QRect(360, 140, 20, 20)), 0); // blank between
    QVERIFY(darkPixels(img, QRect(250, 199, 80, 3)) > 40); // heading line to the east
    QCOMPARE(darkPixels(img, QRect(199, 60, 3, 80)), 0);   // none to the north
    QVERIFY(darkPixels(img, QRect(191, 21, 20, 22)) > 5);  // "N" at (-0.1, -1.8)
    QVERIFY(darkPixels(img, QRect(200, 290, 30, 22)) > 5); // label "88" at (0, 0.9)
    // The thin grey rings at 60 and 30 degrees, north of the centre.
    const auto grey = [&](int y) {
        for (int dy = -2; dy <= 2; ++dy) {
            const int v = qGray(img.pixel(200, y + dy));
            if (v > 100 && v < 240 && qRed(img.pixel(200, y + dy)) == qBlue(img.pixel(200, y + dy)))
                return true;
        }
        return false;
    };
    QVERIFY(grey(140)); // radius 0.6
    QVERIFY(grey(80));  // radius 1.2
    QVERIFY(!grey(110));
    const QColor labelInk = [&] {
        for (int y = 290; y < 312; ++y)
            for (int x = 200; x < 230; ++x)
                if (qRed(img.pixel(x, y)) > 100 && qGreen(img.pixel(x, y)) < 40)
                    return QColor(img.pixel(x, y));
        return QColor();
    }();
    QVERIFY2(labelInk.isValid(), "the label is drawn in its satellite's red");
}

void TestSkyPlot::imageKeepsDrawingUntilNextRedraw()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.HeadingLineLength = 1.5f;
    PictureBox box;
    box.resize(200, 200);
    DrawSkyPlot(g, box);
    const QImage before = box.image().copy();
    box.show();
    box.repaint();
    QCOMPARE(box.image(), before);
    QCOMPARE(box.grab().toImage().convertToFormat(before.format()), before);

    // A new heading shows only once the plot is drawn again.
    g.HeadingFraction = 0.5;
    QCOMPARE(box.image(), before);
    DrawSkyPlot(g, box);
    QVERIFY(box.image() != before);
}

void TestSkyPlot::labelFontIsBoldNineThreeQuarterPoints()
{
    const QFont f = PictureBox::labelFont();
    QVERIFY(f.bold());
    QCOMPARE(f.pointSizeF(), 9.75);
    QVERIFY(!QFontInfo(f).family().isEmpty());
}

void TestSkyPlot::keptDrawingsMatchDirectDrawing_data()
{
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QColor>("colour");
    // Centres on, between and near pixel edges; radii below one pixel and large.
    QTest::newRow("whole pixel, open") << QPointF(0, 0) << 1.9 << false << "N" << QColor(Qt::black);
    QTest::newRow("half pixel, filled")
        << QPointF(0.0125, -0.0125) << 0.1 << true << "12-45" << QColor(200, 30, 30);
    QTest::newRow("odd place, open")
        << QPointF(0.3371, 0.7713) << 0.77 << false << "7" << QColor(0, 128, 0);
    QTest::newRow("tiny filled") << QPointF(-1.5, 1.25) << 0.004 << true << "W" << QColor(Qt::blue);
}

void TestSkyPlot::keptDrawingsMatchDirectDrawing()
{
    QFETCH(QPointF, at);
    QFETCH(double, radius);
    QFETCH(bool, filled);
    QFETCH(QString, label);
    QFETCH(QColor, colour);
    // What the box draws from its kept copies, against a painter drawing the same
    // straight onto an image: the same pixels within rounding, drawn twice or once.
    PictureBox box;
    box.resize(230, 230);
    QImage direct(box.image().size(), QImage::Format_RGB32);
    direct.fill(Qt::white);
    {
        QPainter p(&direct);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(colour);
        p.setBrush(filled ? QBrush(colour) : QBrush(Qt::NoBrush));
        const QPointF c((at.x() + 2) / 4 * 230, (at.y() + 2) / 4 * 230);
        p.drawEllipse(c, radius * 230 / 4, radius * 230 / 4);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setFont(PictureBox::labelFont());
        p.drawText(QRectF(c + QPointF(5, 5), QSizeF(1000, 1000)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, label);
    }
    for (int round = 0; round < 2; ++round) {
        box.setScale(QPointF(-2, -2), QPointF(2, 2));
        box.clear();
        box.setColor(colour);
        box.circle(at, radius, filled);
        box.moveTo(at + QPointF(5.0 / 230 * 4, 5.0 / 230 * 4));
        box.print(label);
        const QImage &kept = box.image();
        int worst = 0;
        for (int y = 0; y < kept.height(); ++y)
            for (int x = 0; x < kept.width(); ++x) {
                const QRgb a = kept.pixel(x, y), b = direct.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(worst <= 2,
                 qPrintable(QStringLiteral("round %1: off by %2").arg(round).arg(worst)));
    }
}

void TestSkyPlot::imageIsTheSameWhenLookedAtOnlyAtTheEnd_data()
{
    // Steps: c = clear, o = circle, l = line, p = print, r = red from now on; O, L and P
    // draw the same circle, line and text wherever they come.
    QTest::addColumn<QString>("steps");
    QTest::newRow("one picture") << "colp";
    QTest::newRow("redrawn three times") << "colpcolpcrolp";
    QTest::newRow("drawn over without a wipe") << "colprlpo";
    QTest::newRow("drawing before the first wipe") << "lpco";
    QTest::newRow("wiped last") << "colpc";
    QTest::newRow("the same picture again") << "cOLPcOLP";
    QTest::newRow("the same again, then less") << "cOLPcOLPcOL";
    QTest::newRow("the same again, then more") << "cOLPcOLPcOLPL";
    QTest::newRow("the same in another colour") << "cOLPcrOLP";
    QTest::newRow("the same drawn over, not wiped") << "cOLPOLP";
    QTest::newRow("the same after a blank") << "cOLcrcOL";
}

void TestSkyPlot::imageIsTheSameWhenLookedAtOnlyAtTheEnd()
{
    QFETCH(QString, steps);
    // The box may keep drawing and put it on its image only when the image is needed;
    // what the image then shows must not depend on when it was looked at.
    const auto draw = [&](bool lookEachTime) {
        PictureBox box;
        box.resize(230, 230);
        box.setScale(QPointF(-2, -2), QPointF(2, 2));
        int n = 0;
        for (const QChar step : steps) {
            ++n;
            switch (step.toLatin1()) {
            case 'c':
                box.clear();
                break;
            case 'o':
                box.circle(QPointF(0.1 * n, 0), 0.5, n % 2);
                break;
            case 'l':
                box.line(QPointF(0, 0), QPointF(1.5, 0.2 * n));
                break;
            case 'p':
                box.moveTo(QPointF(-1, 0.2 * n));
                box.print(QString::number(n));
                break;
            case 'r':
                box.setColor(Qt::red);
                break;
            case 'O':
                box.circle(QPointF(0.3, 0.2), 0.5, false);
                break;
            case 'L':
                box.line(QPointF(0, 0), QPointF(1.5, -0.7));
                break;
            case 'P':
                box.moveTo(QPointF(-1, 0.5));
                box.print(QStringLiteral("12"));
                break;
            }
            if (lookEachTime)
                box.image();
        }
        return box.image().copy();
    };
    QCOMPARE(draw(false), draw(true));
}

void TestSkyPlot::onlyAChangedPictureIsPaintedAgain()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.SatLabelMode = 1;
    setSat(g, 1, 7, 255, 3, 0.25, 0.25);
    PictureBox box;
    box.resize(230, 230);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    int paints = 0;
    struct Counter : QObject {
        int *n;
        explicit Counter(int *count) : n(count) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            *n += e->type() == QEvent::Paint;
            return false;
        }
    } counter(&paints);
    box.installEventFilter(&counter);
    const auto drawAndCount = [&] {
        paints = 0;
        DrawSkyPlot(g, box);
        QTest::qWait(50);
        return paints;
    };
    QVERIFY(drawAndCount() > 0);
    const QImage first = box.grab().toImage();
    // The plot of an unchanged sky costs no paint and shows what it showed.
    QCOMPARE(drawAndCount(), 0);
    QCOMPARE(box.grab().toImage(), first);
    // A satellite that moved is painted where it went.
    setSat(g, 1, 7, 255, 3, 0.30, 0.25);
    QVERIFY(drawAndCount() > 0);
    QVERIFY(box.grab().toImage() != first);
}

QTEST_MAIN(TestSkyPlot)
#include "tst_skyplot.moc"
