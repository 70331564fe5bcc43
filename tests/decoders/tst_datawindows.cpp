// The data windows as the user meets them: opened from the View menu, filled by
// frames from the port, closed by Exit, by their close button or with the main window.
#include "decoders/condition.h"
#include "decoders/diagnosis.h"
#include "decoders/formatters.h"
#include "decoders/mode.h"
#include "decoders/position.h"
#include "decoders/sattable.h"
#include "decoders/timestamp.h"
#include "decoders/ui/datawindow.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "platform/ui/screenplace.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"
#include "widgets/textline.h"
#include "widgets/valuetext.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {

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
    void trigger(const QString &item) { nav.menuItem(item)->trigger(); }
    QWidget *window(DataWindow which) { return nav.dataWindows().window(which); }
    std::array<bool, 6> flags() const
    {
        return {g.PositionOpen, g.ConditionOpen, g.DiagnosisOpen,
                g.ModeOpen,     g.TimeStampOpen, g.RecSatOpen};
    }
};

struct Kind {
    const char *item;
    DataWindow which;
    bool GPS_Main::*flag;
    const char *exitButton;
    const char *caption;
    quint8 type;
};

const Kind kKinds[] = {
    {"NavPos", DataWindow::Position, &GPS_Main::PositionOpen, "ExitGPS", "Request Position Data",
     0xCA},
    {"NavCond", DataWindow::Condition, &GPS_Main::ConditionOpen, "Exit", "Satellite Condition",
     0xC6},
    {"NavDiag", DataWindow::Diagnosis, &GPS_Main::DiagnosisOpen, "Exit", "Diagnosis", 0xC4},
    {"NavMode", DataWindow::Mode, &GPS_Main::ModeOpen, "Exit", "Request Receiver Mode", 0xC3},
    {"NavStamp", DataWindow::TimeStamp, &GPS_Main::TimeStampOpen, "Exit", "Request Time Stamp",
     0xC5},
    {"NavRevSat", DataWindow::RecSat, &GPS_Main::RecSatOpen, "Exit", "Receive Sat", 0xCB},
};

// A frame of the type with every payload byte different, so that a field put in the
// wrong control shows.
QByteArray busyFrame(quint8 type)
{
    QByteArray p;
    for (int i = 0; i < frameLength(type) - 4; ++i)
        p.append(char(quint8(0x11 + 7 * i)));
    return buildFrameOfType(type, p);
}

Fields decode(quint8 type, const QByteArray &frame, int timeZoneIndex = 5)
{
    switch (type) {
    case 0xCA:
        return positionFields(frame, timeZoneIndex);
    case 0xC6:
        return conditionFields(frame);
    case 0xC4:
        return diagnosisFields(frame);
    case 0xC3:
        return modeFields(frame);
    case 0xC5:
        return timeStampFields(frame);
    default:
        return recSatFields(frame);
    }
}

QString controlText(QWidget *w, const QString &name)
{
    // Labels, text boxes and the value controls all have a text property.
    QWidget *c = w->findChild<QWidget *>(name);
    if (!c)
        return QStringLiteral("<no control %1>").arg(name);
    const QVariant text = c->property("text");
    return text.isValid() ? text.toString() : c->property("plainText").toString();
}

// The order in which windows receive their close.
class CloseRecorder : public QObject {
public:
    QStringList closed;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Close)
            closed << o->objectName();
        return false;
    }
};

} // namespace

class TestDataWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void openingSetsFlagAndEveryWayOfClosingClearsIt_data();
    void openingSetsFlagAndEveryWayOfClosingClearsIt();
    void framesFillEveryControlOfTheOpenWindow_data();
    void framesFillEveryControlOfTheOpenWindow();
    void keptTextsFollowEveryMessage_data();
    void keptTextsFollowEveryMessage();
    void choosingAnOpenWindowAgainRequestsAgainAndKeepsOneCopy();
    void frameOfClosedWindowChangesNothing();
    void reopenedWindowIsEmptyUntilNextFrame();
    void closingMainWindowClearsAllFlags();
    void closeDataWindowsClosesOnlyOpenOnes();
    void satelliteFrameUpdatesTableWithWindowClosed();
    void literalTextsOfTheWindows();
    void silentReceiverGreysTheWindow_data();
    void silentReceiverGreysTheWindow();
    void anotherPortClearsTheWindow_data();
    void anotherPortClearsTheWindow();
    void rawDumpsUseFixedPitchFont();
    void aScreenReaderReadsAValueUnderItsCaption_data();
    void aScreenReaderReadsAValueUnderItsCaption();
    void tabReachesEveryValueInReadingOrder_data();
    void tabReachesEveryValueInReadingOrder();
    void placedBesideTheMainWindowWithinTheArea_data();
    void placedBesideTheMainWindowWithinTheArea();
    void everyWindowOpensWhollyOnTheScreen_data();
    void everyWindowOpensWhollyOnTheScreen();
};

void TestDataWindows::openingSetsFlagAndEveryWayOfClosingClearsIt_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("how");
    for (int k = 0; k < 6; ++k) {
        for (const char *how : {"exit button", "close button", "main window"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(kKinds[k].item, how)))
                << k << QString(how);
    }
}

void TestDataWindows::openingSetsFlagAndEveryWayOfClosingClearsIt()
{
    QFETCH(int, kind);
    QFETCH(QString, how);
    const Kind &k = kKinds[kind];
    Rig r;
    QVERIFY(!(r.g.*k.flag));
    r.trigger(k.item);
    QVERIFY(r.g.*k.flag);
    QPointer<QWidget> w = r.window(k.which);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY(w->isWindow());
    QVERIFY(!w->isModal());
    QCOMPARE(w->windowTitle(), QString(k.caption));

    if (how == "exit button")
        w->findChild<QPushButton *>(k.exitButton)->click();
    else if (how == "close button")
        QVERIFY(w->close());
    else
        r.nav.close();
    QVERIFY(!(r.g.*k.flag));
    QVERIFY(!r.window(k.which));
    // The closed window goes away.
    QTRY_VERIFY(!w);
    QCOMPARE(r.flags(), (std::array<bool, 6>{}));
}

void TestDataWindows::framesFillEveryControlOfTheOpenWindow_data()
{
    QTest::addColumn<int>("kind");
    for (int k = 0; k < 6; ++k)
        QTest::newRow(kKinds[k].item) << k;
}

void TestDataWindows::framesFillEveryControlOfTheOpenWindow()
{
    QFETCH(int, kind);
    const Kind &k = kKinds[kind];
    Rig r;
    r.g.TimeZoneIndex = 7;
    r.trigger(k.item);
    QWidget *w = r.window(k.which);
    auto *age = w->findChild<TextLine *>("MessageAge");
    QVERIFY(age);
    QCOMPARE(age->text(), "No message received yet");
    const QByteArray frame = busyFrame(k.type);
    r.port->feed(frame);
    QVERIFY(r.g.ErrorDis().startsWith("CMD: " + HexByte(k.type)));
    QCOMPARE(age->text(), "Message received 0 s ago");
    r.tp.clock.time = r.tp.clock.time.addMSecs(12400);
    static_cast<DataWindowBase *>(w)->updateMessageAge();
    QCOMPARE(age->text(), "Message received 12 s ago");

    const Fields expected = decode(k.type, frame, 7);
    QVERIFY(expected.size() >= 7);
    for (const Field &f : expected)
        QCOMPARE(controlText(w, f.name), f.text);
}

void TestDataWindows::keptTextsFollowEveryMessage_data()
{
    framesFillEveryControlOfTheOpenWindow_data();
}

// The windows make again only the texts whose bytes changed: after a message that changes
// one field, one that changes none, a new time zone, and a window closed and opened
// again, every control shows what the message alone decodes to.
void TestDataWindows::keptTextsFollowEveryMessage()
{
    QFETCH(int, kind);
    const Kind &k = kKinds[kind];
    Rig r;
    const QByteArray first = busyFrame(k.type);
    QByteArray payload = first.mid(2, first.size() - 4);
    payload[payload.size() / 2] = char(payload[payload.size() / 2] ^ 0x31);
    const QByteArray oneChanged = buildFrameOfType(k.type, payload);
    struct Step {
        const char *what;
        QByteArray frame;
        int timeZone;
        bool reopen;
    };
    const Step steps[] = {{"first", first, 12, false},
                          {"one byte changed", oneChanged, 12, false},
                          {"nothing changed", oneChanged, 12, false},
                          {"other time zone", oneChanged, 3, false},
                          {"back to the first", first, 3, false},
                          {"reopened", first, 3, true}};
    r.trigger(k.item);
    for (const Step &step : steps) {
        if (step.reopen) {
            r.window(k.which)->close();
            r.trigger(k.item);
        }
        r.g.TimeZoneIndex = step.timeZone;
        r.port->feed(step.frame);
        for (const Field &f : decode(k.type, step.frame, step.timeZone))
            QVERIFY2(controlText(r.window(k.which), f.name) == f.text,
                     qPrintable(QStringLiteral("%1: %2").arg(step.what, f.name)));
    }
}

void TestDataWindows::choosingAnOpenWindowAgainRequestsAgainAndKeepsOneCopy()
{
    for (const Kind &k : kKinds) {
        Rig r;
        r.trigger(k.item);
        QWidget *first = r.window(k.which);
        const QByteArray once = r.port->written;
        QWidget other;
        other.show();
        other.raise();
        // Minimised, it is brought back.
        first->showMinimized();
        QTRY_VERIFY(first->isMinimized());
        r.trigger(k.item);
        QTRY_VERIFY(!first->isMinimized());
        QCOMPARE(r.window(k.which), first);
        QCOMPARE(r.port->written, once + once);
        int copies = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            copies += top->objectName() == first->objectName() && top->isVisible();
        QCOMPARE(copies, 1);
        QVERIFY(first->isVisible());
    }
}

void TestDataWindows::frameOfClosedWindowChangesNothing()
{
    Rig r;
    QList<QByteArray> received;
    const auto all =
        r.g.frames().subscribeGood([&](const Frame &f) { received << f.bytes().toByteArray(); });
    r.trigger("NavCond");
    QPointer<QWidget> w = r.window(DataWindow::Condition);
    const auto *window = static_cast<DataWindowBase *>(w.data());
    QByteArray p;
    place(p, 3, {0x34});
    r.port->feed(buildFrameOfType(0xC6, p));
    const QString shown = controlText(w, "RawHex");
    QVERIFY(shown.startsWith("C6 C6 04 "));
    QCOMPARE(window->framesTaken(), 1);
    w->close();

    // Before and after the closed window is gone, the next frame reaches no decoder.
    place(p, 4, {0x07});
    r.port->feed(buildFrameOfType(0xC6, p));
    QCOMPARE(controlText(w, "RawHex"), shown);
    QCOMPARE(window->framesTaken(), 1);
    QCOMPARE(quint8(received.last()[2]), quint8(0x34));
    QTRY_VERIFY(!w);
    r.port->feed(buildFrameOfType(0xC6, p));
    QCOMPARE(quint8(received.last()[2]), quint8(0x34));
    QVERIFY(r.g.ErrorDis().startsWith("CMD: C6\r\nCMD: C6\r\nCMD: C6"));

    // Opened again, it shows the next frame.
    r.trigger("NavCond");
    QWidget *again = r.window(DataWindow::Condition);
    QVERIFY(controlText(again, "RawHex").isEmpty());
    r.port->feed(buildFrameOfType(0xC6, p));
    QVERIFY(controlText(again, "RawHex").startsWith("C6 C6 04 07 "));
    QCOMPARE(static_cast<DataWindowBase *>(again)->framesTaken(), 1);
}

void TestDataWindows::reopenedWindowIsEmptyUntilNextFrame()
{
    for (const Kind &k : kKinds) {
        Rig r;
        r.trigger(k.item);
        r.port->feed(busyFrame(k.type));
        const QString dumpName = k.type == 0xCA ? "Text3" : "RawHex";
        QVERIFY(!controlText(r.window(k.which), dumpName).isEmpty());
        r.window(k.which)->close();
        r.trigger(k.item);
        QCOMPARE(controlText(r.window(k.which), dumpName), QString());
    }
}

void TestDataWindows::closingMainWindowClearsAllFlags()
{
    Rig r;
    r.trigger("NavPos");
    r.trigger("NavRevSat");
    QVERIFY(r.g.PositionOpen && r.g.RecSatOpen);
    r.nav.close();
    QCOMPARE(r.flags(), (std::array<bool, 6>{}));
    QVERIFY(!r.window(DataWindow::Position));
    QVERIFY(!r.window(DataWindow::RecSat));
}

void TestDataWindows::closeDataWindowsClosesOnlyOpenOnes()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    DataWindows windows(g, quality, nullptr);
    CloseRecorder recorder;
    QList<QPointer<QWidget>> open;
    for (DataWindow which :
         {DataWindow::RecSat, DataWindow::Mode, DataWindow::Position, DataWindow::Condition}) {
        windows.show(which);
        windows.window(which)->installEventFilter(&recorder);
        open << windows.window(which);
    }
    windows.CloseDataWindows();
    QCOMPARE(recorder.closed, (QStringList{"Condition", "Position", "Mode", "RecSat"}));
    QCOMPARE((std::array<bool, 6>{g.PositionOpen, g.ConditionOpen, g.DiagnosisOpen, g.ModeOpen,
                                  g.TimeStampOpen, g.RecSatOpen}),
             (std::array<bool, 6>{}));
    for (const QPointer<QWidget> &w : open)
        QVERIFY(!w || !w->isVisible());
    // Closing again, with nothing open, closes nothing.
    windows.CloseDataWindows();
    QCOMPARE(recorder.closed.size(), 4);
}

void TestDataWindows::satelliteFrameUpdatesTableWithWindowClosed()
{
    Rig r;
    QByteArray p;
    place(p, 9, {17, 0x08, 40, 64, 32});
    r.port->feed(buildFrameOfType(0xCB, p));
    QCOMPARE(r.g.SatTable[1][1], 17.0);
    QCOMPARE(r.g.SatTable[1][2], double(SatColor::kFix));
    QCOMPARE(r.g.SatTable[2][1], 0.0);
    QVERIFY(!r.window(DataWindow::RecSat));
}

void TestDataWindows::silentReceiverGreysTheWindow_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("navigationGoesOn"); // one navigation message a second meanwhile
    for (int k = 0; k < 6; ++k)
        QTest::newRow(kKinds[k].item) << k << false;
    // Condition and Time Stamp messages come only when asked for: the link is not silent.
    QTest::newRow("NavCond, navigation goes on") << 1 << true;
    QTest::newRow("NavStamp, navigation goes on") << 4 << true;
}

// Three seconds without any frame grey the values, the next frame of any type brings
// them back at once.
void TestDataWindows::silentReceiverGreysTheWindow()
{
    QFETCH(int, kind);
    QFETCH(bool, navigationGoesOn);
    const Kind &k = kKinds[kind];
    Rig r;
    r.trigger(k.item);
    auto *w = static_cast<DataWindowBase *>(r.window(k.which));
    r.port->feed(busyFrame(k.type));
    QWidget *dump = w->findChild<QWidget *>(k.type == 0xCA ? "Text3" : "RawHex");
    const auto greyed = [&] {
        const QPalette p = dump->palette();
        const QPalette window = w->palette();
        return p.color(QPalette::Text) == window.color(QPalette::Disabled, QPalette::Text) &&
               p.color(QPalette::WindowText) ==
                   window.color(QPalette::Disabled, QPalette::WindowText);
    };
    QVERIFY(!greyed());
    // The clock moves on and the windows' ticks run, the status line's and the age line's.
    const auto wait = [&](int ms) {
        r.tp.clock.time = r.tp.clock.time.addMSecs(ms);
        r.nav.updateLinkStatus();
        w->updateMessageAge();
    };
    for (int s = 0; s < 3; ++s) {
        wait(1000);
        if (navigationGoesOn)
            r.port->feed(navFrame({{3, {0x04}}}));
    }
    QVERIFY(!w->showsStale());
    wait(1);
    QCOMPARE(w->showsStale(), !navigationGoesOn);
    QCOMPARE(greyed(), !navigationGoesOn);
    // A window opened during the silence opens grey.
    r.trigger("NavLevels");
    QCOMPARE(static_cast<DataWindowBase *>(r.window(DataWindow::SignalLevels))->showsStale(),
             !navigationGoesOn);

    r.port->feed(buildFrameOfType(0xB7));
    QVERIFY(!w->showsStale());
    QVERIFY(!greyed());
}

void TestDataWindows::anotherPortClearsTheWindow_data()
{
    framesFillEveryControlOfTheOpenWindow_data();
}

// File, Select Port..., OK on another port: no text of the previous receiver stays, and the
// new receiver's first message fills the window even where it says the same.
void TestDataWindows::anotherPortClearsTheWindow()
{
    QFETCH(int, kind);
    const Kind &k = kKinds[kind];
    Rig r;
    r.port->setDevice("/dev/ttyUSB0");
    QVERIFY(r.nav.MSComm1().open());
    r.trigger(k.item);
    QWidget *w = r.window(k.which);
    const QByteArray frame = busyFrame(k.type);
    r.port->feed(frame);
    const Fields expected = decode(k.type, frame);

    r.nav.MSComm1().close();
    r.port->setDevice("/dev/ttyUSB1");
    QVERIFY(r.nav.MSComm1().open());
    QCOMPARE(r.window(k.which), w);
    for (const Field &f : expected)
        QVERIFY2(controlText(w, f.name).isEmpty(), qPrintable(f.name));
    QCOMPARE(w->findChild<TextLine *>("MessageAge")->text(), "No message received yet");

    r.port->feed(frame);
    for (const Field &f : expected)
        QCOMPARE(controlText(w, f.name), f.text);
}

void TestDataWindows::literalTextsOfTheWindows()
{
    Rig r;
    for (const Kind &k : kKinds)
        r.trigger(k.item);
    auto captions = [](QWidget *w) {
        QStringList texts;
        for (QLabel *l : w->findChildren<QLabel *>())
            texts << l->text();
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
            texts << b->text();
        for (QGroupBox *g : w->findChildren<QGroupBox *>())
            texts << g->title();
        return texts;
    };
    const QStringList position = captions(r.window(DataWindow::Position));
    for (const char *t :
         {"Latitude", "Longitude", "Height", "Heading", "Err", "Speed", "Hex", "Current", "HDOP",
          "VDOP", "Local Date + Time", "Sats", "Error Ellipse 1", "Error Ellipse 2", "Exit"})
        QVERIFY2(position.contains(t), t);
    QCOMPARE(position.count("Err"), 2);

    QWidget *condition = r.window(DataWindow::Condition);
    QCOMPARE(captions(condition).count("Sat"), 2);
    QCOMPARE(captions(condition).count("Level"), 2);
    for (const char *t : {"Refresh", "Auto", "Exit"})
        QVERIFY2(captions(condition).contains(t), t);
    QCOMPARE(condition->findChild<QLineEdit *>("AutoRefresh")->text(), QString());

    QCOMPARE(controlText(r.window(DataWindow::Diagnosis), "Version"), QString("Firmware Version:"));

    QWidget *stamp = r.window(DataWindow::TimeStamp);
    for (int k = 0; k < 21; ++k) {
        QCOMPARE(controlText(stamp, QStringLiteral("Item(%1)").arg(k)),
                 QStringLiteral("Item%1").arg(k + 1));
        QCOMPARE(controlText(stamp, QStringLiteral("Description(%1)").arg(k)),
                 stampDescription(k + 1));
        QCOMPARE(controlText(stamp, QStringLiteral("TimeStamp(%1)").arg(k)), QString());
    }
    QCOMPARE(stamp->findChild<QRadioButton *>("Search(0)")->text(), QString("Search Mode Set"));
    QVERIFY(stamp->findChild<QRadioButton *>("Search(0)")->isChecked());
    QCOMPARE(stamp->findChild<QRadioButton *>("Search(1)")->text(), QString("Search Mode Reset"));
    QVERIFY(stamp->findChild<QWidget *>("Frame1"));
    QVERIFY(stamp->findChild<QWidget *>("Frame2"));

    QWidget *recSat = r.window(DataWindow::RecSat);
    const QStringList sat = captions(recSat);
    for (const char *t : {"ID", "Cond", "SVACC", "Level", "Azimuth", "Elevation", "SAT1", "SAT8",
                          "Satellites Almanac", "Elapsed Days", "Exit"})
        QVERIFY2(sat.contains(t), t);
    QCOMPARE(controlText(recSat, "Health(36)"), QString("1"));
    QCOMPARE(controlText(recSat, "Health(35)"), QString("9"));
    QCOMPARE(controlText(recSat, "Health(34)"), QString("17"));
    QCOMPARE(controlText(recSat, "Health(33)"), QString("25"));
    // A satellite frame does not write the column headings.
    r.port->feed(busyFrame(0xCB));
    QCOMPARE(controlText(recSat, "Health(33)"), QString("25"));
}

void TestDataWindows::rawDumpsUseFixedPitchFont()
{
    Rig r;
    const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    for (const Kind &k : kKinds) {
        r.trigger(k.item);
        QWidget *dump =
            r.window(k.which)->findChild<QWidget *>(k.type == 0xCA ? "Text3" : "RawHex");
        QVERIFY(dump);
        QCOMPARE(dump->font().family(), fixed);
    }
}

void TestDataWindows::aScreenReaderReadsAValueUnderItsCaption_data()
{
    QTest::addColumn<QString>("item"); // the window's menu item; empty: the main window
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("from"); // a selection made through the text interface
    QTest::addColumn<int>("to");

    QTest::newRow("main window, latitude") << ""
                                           << "CurLat"
                                           << "Lat" << 1 << 4;
    QTest::newRow("main window, satellites") << ""
                                             << "Sats"
                                             << "Sats" << 0 << 1;
    QTest::newRow("Position, latitude under its heading") << "NavPos"
                                                          << "CurLat"
                                                          << "Latitude" << 0 << 3;
    QTest::newRow("Position, caption before its box") << "NavPos"
                                                      << "TimeDate"
                                                      << "Local Date + Time" << 2 << 6;
}

void TestDataWindows::aScreenReaderReadsAValueUnderItsCaption()
{
    QFETCH(QString, item);
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, from);
    QFETCH(int, to);

    Rig r;
    if (!item.isEmpty())
        r.trigger(item);
    r.port->feed(busyFrame(0xCA));
    QWidget *window =
        item.isEmpty() ? static_cast<QWidget *>(&r.nav) : r.window(DataWindow::Position);
    ValueText *value = nullptr;
    for (ValueText *v : window->findChildren<ValueText *>(control))
        if (v->window() == window)
            value = v;
    QVERIFY(value);
    QVERIFY(!value->text().isEmpty());

    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(value);
    QVERIFY(a);
    QCOMPARE(a->role(), QAccessible::StaticText);
    QCOMPARE(a->text(QAccessible::Name), name);
    QCOMPARE(a->text(QAccessible::Value), value->text());
    QVERIFY(a->state().readOnly);
    QAccessibleTextInterface *t = a->textInterface();
    QVERIFY(t);
    QCOMPARE(t->characterCount(), value->text().size());
    QCOMPARE(t->text(0, t->characterCount()), value->text());
    QCOMPARE(t->selectionCount(), 0);
    t->setSelection(0, from, to);
    QCOMPARE(value->selectedText(), value->text().mid(from, to - from));
    int start = -1;
    int end = -1;
    t->selection(0, &start, &end);
    QCOMPARE(QPair(start, end), QPair(from, to));
    QCOMPARE(t->selectionCount(), 1);
    t->removeSelection(0);
    QVERIFY(!value->hasSelectedText());
}

void TestDataWindows::tabReachesEveryValueInReadingOrder_data()
{
    QTest::addColumn<QString>("item"); // the window's menu item; empty: the main window
    QTest::addColumn<QStringList>("order");

    // Down the status panel: the time on top, the fix status beside the satellites last.
    QTest::newRow("main window") << "" << QStringList{"TimeDate", "CurLat",   "CurLon", "CurHeight",
                                                      "CurHead",  "CurSpeed", "Sats",   "Vality"};
    // Each quantity's hex box and value under its heading, then the rows left to right.
    QStringList position{"HexLat",    "CurLat",   "HexLon",      "CurLon",      "HexHeight",
                         "CurHeight", "HexHead",  "CurHead",     "HexHeadErr",  "CurHeadErr",
                         "HexSpeed",  "CurSpeed", "HexSpeedErr", "CurSpeedErr", "HDOP",
                         "VDOP",      "TimeDate", "Sats",        "Validity",    "ErrEll1",
                         "ErrEll2"};
    const char *const right[] = {"Hexnu1 Hexnu2 Hexnu3", "SatUse1 SatUse2 SatUse3 SatUse4",
                                 "UnUsed CheckSum Terminator", "ExitGPS"};
    for (int row = 0; row < 4; ++row) {
        const int a = 2 * row + 1;
        position << QStringLiteral("Condition(%1)").arg(a) << QStringLiteral("Level(%1)").arg(a)
                 << QStringLiteral("SatsHex%1").arg(row + 1)
                 << QStringLiteral("Condition(%1)").arg(a + 1)
                 << QStringLiteral("Level(%1)").arg(a + 1)
                 << QString::fromLatin1(right[row]).split(QLatin1Char(' '));
    }
    position << "Text3";
    QTest::newRow("Position") << "NavPos" << position;
}

void TestDataWindows::tabReachesEveryValueInReadingOrder()
{
    QFETCH(QString, item);
    QFETCH(QStringList, order);

    Rig r;
    QWidget *window = &r.nav;
    if (item.isEmpty()) {
        r.nav.show();
    } else {
        r.trigger(item);
        window = r.window(DataWindow::Position);
    }
    r.port->feed(busyFrame(0xCA));
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));

    // Once round from where the window put the focus, told from where the order starts.
    QWidget *first = QApplication::focusWidget();
    QVERIFY(first);
    QStringList reached;
    for (QWidget *at = first; reached.size() <= order.size();) {
        reached << at->objectName();
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (!at || at == first)
            break;
    }
    const qsizetype start = std::max<qsizetype>(0, reached.indexOf(order.first()));
    reached = reached.mid(start) + reached.first(start);
    QCOMPARE(reached, order);
}

void TestDataWindows::placedBesideTheMainWindowWithinTheArea_data()
{
    // Frames 2 px at the sides and bottom and 20 px with the title bar; the expected
    // client areas worked by hand on a 1280 x 1000 screen unless said otherwise.
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("client");
    const QRect screen(0, 0, 1280, 1000);
    QTest::newRow("room on the right")
        << QSize(200, 150) << QRect(100, 100, 400, 300) << screen << QRect(502, 120, 200, 150);
    QTest::newRow("no room on the right: on the left")
        << QSize(200, 150) << QRect(900, 100, 300, 300) << screen << QRect(698, 120, 200, 150);
    // 600 + 722 would end at 1322: lifted until the frame ends at 999.
    QTest::newRow("below the bottom is lifted, left edge kept")
        << QSize(560, 700) << QRect(400, 600, 400, 300) << screen << QRect(2, 298, 560, 700);
    QTest::newRow("taller than the area is shrunk")
        << QSize(500, 1200) << QRect(100, 100, 400, 300) << screen << QRect(502, 20, 500, 978);
    QTest::newRow("wider than the area is shrunk")
        << QSize(1400, 100) << QRect(100, 100, 400, 300) << screen << QRect(2, 120, 1276, 100);
    QTest::newRow("panel above: kept below it")
        << QSize(200, 150) << QRect(100, -10, 400, 300) << QRect(0, 30, 1280, 970)
        << QRect(502, 50, 200, 150);
    QTest::newRow("second screen to the right")
        << QSize(300, 200) << QRect(2900, 800, 250, 200) << QRect(1280, 0, 1920, 1080)
        << QRect(2598, 820, 300, 200);
}

void TestDataWindows::placedBesideTheMainWindowWithinTheArea()
{
    QFETCH(QSize, size);
    QFETCH(QRect, anchor);
    QFETCH(QRect, available);
    QFETCH(QRect, client);
    QCOMPARE(placeBeside(size, QMargins(2, 20, 2, 2), anchor, available), client);
}

void TestDataWindows::everyWindowOpensWhollyOnTheScreen_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("which");
    QTest::addColumn<QPoint>("mainAt");
    const struct {
        const char *item;
        DataWindow which;
    } windows[] = {{"NavPos", DataWindow::Position},        {"NavCond", DataWindow::Condition},
                   {"NavDiag", DataWindow::Diagnosis},      {"NavMode", DataWindow::Mode},
                   {"NavStamp", DataWindow::TimeStamp},     {"NavRevSat", DataWindow::RecSat},
                   {"NavLevels", DataWindow::SignalLevels}, {"NavHistory", DataWindow::History},
                   {"NavScatter", DataWindow::Scatter}};
    for (const auto &w : windows) {
        QTest::newRow(qPrintable(QStringLiteral("%1, main window past the corner").arg(w.item)))
            << QString(w.item) << int(w.which) << QPoint(1000, 1000);
        QTest::newRow(qPrintable(QStringLiteral("%1, main window low on the left").arg(w.item)))
            << QString(w.item) << int(w.which) << QPoint(0, 400);
    }
}

void TestDataWindows::everyWindowOpensWhollyOnTheScreen()
{
    QFETCH(QString, item);
    QFETCH(int, which);
    QFETCH(QPoint, mainAt);
    Rig r;
    const QRect area = r.nav.screen()->availableGeometry();
    r.nav.show();
    r.nav.move(mainAt);
    QVERIFY(QTest::qWaitForWindowExposed(&r.nav));
    r.trigger(item);
    QWidget *w = r.window(DataWindow(which));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QRect frame = w->frameGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1 x %2 at %3, %4")
                                                  .arg(frame.width())
                                                  .arg(frame.height())
                                                  .arg(frame.x())
                                                  .arg(frame.y())));
    if (mainAt.x() > area.right()) {
        // Beside a main window beyond the corner is as near to it as the area allows.
        QCOMPARE(frame.bottomRight(), area.bottomRight());
    } else {
        // Level with the main window's top, unless that would reach below the area.
        QCOMPARE(frame.top(), std::min(400, area.bottom() + 1 - frame.height()));
    }
}

QTEST_MAIN(TestDataWindows)
#include "tst_datawindows.moc"
