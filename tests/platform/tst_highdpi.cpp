// Every window laid out on the screen it gets: no control covers a sibling or sticks
// out of its parent, and no caption is cut. ctest runs this suite at a device pixel
// ratio of 1 and again with QT_SCALE_FACTOR=2.
#include "about/ui/gpsabout.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "quality/qualitywatch.h"
#include "setup/ui/setupwindows.h"
#include "testplatform.h"
#include "widgets/twips.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

QString nameOf(const QWidget *w)
{
    const QString n = w->objectName();
    return n.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : n;
}

// The part of a control that shows something: a label's text where its alignment puts
// it, every other control whole.
QRect drawnRect(const QWidget *w)
{
    const auto *label = qobject_cast<const QLabel *>(w);
    if (!label || label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
        return w->geometry();
    const QRect inner = label->contentsRect();
    const QRect text =
        label->fontMetrics().boundingRect(inner, int(label->alignment()), label->text());
    return text.intersected(inner).translated(w->pos());
}

// The width a caption needs: the text, plus the indicator of a radio button or box.
int captionWidth(const QWidget *w)
{
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        if (label->wordWrap() || label->text().contains(QLatin1Char('\n')) ||
            !label->pixmap().isNull())
            return 0;
        return label->fontMetrics().horizontalAdvance(label->text());
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
        int width = button->fontMetrics().horizontalAdvance(
            QString(button->text()).remove(QLatin1Char('&')));
        if (qobject_cast<const QRadioButton *>(w) || qobject_cast<const QCheckBox *>(w))
            width += button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w);
        return width;
    }
    return 0;
}

// Controls whose children are the toolkit's own parts, not the window's controls.
bool isComposite(const QWidget *w)
{
    return qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QComboBox *>(w) ||
           qobject_cast<const QAbstractButton *>(w) || w->inherits("QLineEdit") ||
           w->inherits("QAbstractSpinBox") || qobject_cast<const QMenuBar *>(w);
}

void collectFaults(const QWidget *parent, QStringList &faults)
{
    QList<const QWidget *> shown;
    for (const QObject *o : parent->children()) {
        const auto *w = qobject_cast<const QWidget *>(o);
        if (w && !w->isWindow() && w->isVisible())
            shown.append(w);
    }
    const QString where = nameOf(parent);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QWidget *w = shown[i];
        if (!parent->rect().contains(w->geometry()))
            faults << QStringLiteral("%1 sticks out of %2: %3 in %4")
                          .arg(nameOf(w), where)
                          .arg(QDebug::toString(w->geometry()), QDebug::toString(parent->rect()));
        const int need = captionWidth(w);
        if (need > w->contentsRect().width())
            faults << QStringLiteral("%1 cuts its caption: %2 px wide, %3 needed")
                          .arg(nameOf(w))
                          .arg(w->contentsRect().width())
                          .arg(need);
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            if (drawnRect(w).intersects(drawnRect(shown[j])))
                faults << QStringLiteral("%1 overlaps %2 in %3: %4 and %5")
                              .arg(nameOf(w), nameOf(shown[j]), where,
                                   QDebug::toString(drawnRect(w)),
                                   QDebug::toString(drawnRect(shown[j])));
        }
        if (!isComposite(w))
            collectFaults(w, faults);
    }
}

QStringList faultsOf(QWidget &window)
{
    window.show();
    window.activateWindow();
    QCoreApplication::processEvents();
    QStringList faults;
    collectFaults(&window, faults);
    return faults;
}

// A main window on a fake port, as the program has it after the port dialog.
struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    FakeSerialPort *port = new FakeSerialPort;
    Navigate nav{g, quality, std::unique_ptr<SerialPort>(port)};
    Rig()
    {
        nav.Form_Load();
        port->open();
    }
};

} // namespace

class TestHighDpi : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mainWindowControlsStayApart_data();
    void mainWindowControlsStayApart();
    void dataWindowControlsStayApart_data();
    void dataWindowControlsStayApart();
    void dialogControlsStayApart_data();
    void dialogControlsStayApart();
};

void TestHighDpi::initTestCase()
{
    const qreal expected = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                               ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                               : 1.0;
    QWidget probe;
    probe.show();
    QCOMPARE(probe.devicePixelRatioF(), expected);
    qInfo("device pixel ratio %g, logical DPI %d", probe.devicePixelRatioF(), probe.logicalDpiX());
}

void TestHighDpi::mainWindowControlsStayApart_data()
{
    QTest::addColumn<bool>("statusShown");
    QTest::addColumn<int>("widthTwips");
    QTest::newRow("design width") << false << 6320;
    QTest::newRow("design width, status window on") << true << 6320;
    QTest::newRow("smallest width, status window on") << true << 5200;
    QTest::newRow("wide, status window on") << true << 9000;
}

void TestHighDpi::mainWindowControlsStayApart()
{
    QFETCH(bool, statusShown);
    QFETCH(int, widthTwips);
    Rig r;
    if (statusShown)
        r.nav.menuItem(QStringLiteral("ShoStatWin"))->trigger();
    r.nav.show();
    QCoreApplication::processEvents();
    r.nav.resize(twipsToPixels(widthTwips, &r.nav), r.nav.height());
    QCoreApplication::processEvents();
    const QStringList faults = faultsOf(r.nav);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestHighDpi::dataWindowControlsStayApart_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("Position") << int(DataWindow::Position);
    QTest::newRow("Condition") << int(DataWindow::Condition);
    QTest::newRow("Mode") << int(DataWindow::Mode);
    QTest::newRow("Diagnosis") << int(DataWindow::Diagnosis);
    QTest::newRow("TimeStamp") << int(DataWindow::TimeStamp);
    QTest::newRow("RecSat") << int(DataWindow::RecSat);
}

void TestHighDpi::dataWindowControlsStayApart()
{
    QFETCH(int, which);
    Rig r;
    r.nav.dataWindows().show(DataWindow(which));
    QWidget *w = r.nav.dataWindows().window(DataWindow(which));
    QVERIFY(w);
    const QStringList faults = faultsOf(*w);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestHighDpi::dialogControlsStayApart_data()
{
    QTest::addColumn<QString>("dialog");
    for (const char *name : {"Port", "SetTime", "SetPosition", "SetHeight", "GPSAbout"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestHighDpi::dialogControlsStayApart()
{
    QFETCH(QString, dialog);
    Rig r;
    PortKeeper keeper(r.g, *r.port);
    std::unique_ptr<QWidget> w;
    if (dialog == QLatin1String("Port")) {
        auto port = std::make_unique<Port>(r.g, [&]() -> PortKeeper & { return keeper; });
        port->Form_Load();
        w = std::move(port);
    } else if (dialog == QLatin1String("SetTime")) {
        auto d = std::make_unique<SetTime>(r.g);
        d->Form_Load();
        w = std::move(d);
    } else if (dialog == QLatin1String("SetPosition")) {
        auto d = std::make_unique<SetPosition>(r.g);
        d->Form_Load();
        w = std::move(d);
    } else if (dialog == QLatin1String("SetHeight")) {
        auto d = std::make_unique<SetHeight>(r.g);
        d->Form_Load();
        w = std::move(d);
    } else {
        auto d = std::make_unique<GPSAbout>(r.g);
        d->Form_Load();
        w = std::move(d);
    }
    const QStringList faults = faultsOf(*w);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestHighDpi)
#include "tst_highdpi.moc"
