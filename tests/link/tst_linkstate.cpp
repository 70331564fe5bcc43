#include "framebuilder.h"
#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/linkstate.h"
#include "link/messagetypes.h"
#include "link/portkeeper.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QtTest>

// Event scripts, one event per ";": open NAME, fail NAME, close, lost, reopened,
// nav, sat, bad (a damaged frame), ack XX (a good frame of type XX),
// fix XX (a navigation message whose status byte is XX),
// send NAME XX (a command answered by type XX; "_" in NAME is a blank),
// notsent NAME, wait MS.
class TestLinkState : public QObject {
    Q_OBJECT
private slots:
    void eventsGiveStatesAgesAndOutcomes_data();
    void eventsGiveStatesAgesAndOutcomes();
    void silenceIsNoFrameOfAnyType_data();
    void silenceIsNoFrameOfAnyType();
    void programTracksWhatItSendsAndReceives_data();
    void programTracksWhatItSendsAndReceives();
    void portEventsStartTtffRuns_data();
    void portEventsStartTtffRuns();
};

namespace {

void play(LinkState &link, FakeClock &clock, const QString &script)
{
    for (const QString &event : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = event.simplified().split(QLatin1Char(' '));
        const QString arg = w.value(1).replace(QLatin1Char('_'), QLatin1Char(' '));
        const auto type = [](const QString &hex) { return quint8(hex.toUInt(nullptr, 16)); };
        if (w[0] == QLatin1String("open"))
            link.opened(arg);
        else if (w[0] == QLatin1String("fail"))
            link.openFailed(arg);
        else if (w[0] == QLatin1String("close"))
            link.closed();
        else if (w[0] == QLatin1String("lost"))
            link.lost();
        else if (w[0] == QLatin1String("reopened"))
            link.reopened();
        else if (w[0] == QLatin1String("nav"))
            link.frame(0xCA, true);
        else if (w[0] == QLatin1String("sat"))
            link.frame(0xCB, true);
        else if (w[0] == QLatin1String("bad"))
            link.frame(0xCA, false);
        else if (w[0] == QLatin1String("ack"))
            link.frame(type(w[1]), true);
        else if (w[0] == QLatin1String("fix")) {
            link.frame(0xCA, true);
            link.navigationFix(type(w[1]));
        } else if (w[0] == QLatin1String("send"))
            link.commandSent(arg, type(w[2]));
        else if (w[0] == QLatin1String("notsent"))
            link.commandNotSent(arg);
        else if (w[0] == QLatin1String("wait"))
            clock.time = clock.time.addMSecs(w[1].toLongLong());
        else
            QFAIL(qPrintable(QStringLiteral("unknown event ") + event));
    }
}

} // namespace

void TestLinkState::eventsGiveStatesAgesAndOutcomes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("text"); // " | " stands for the separator
    QTest::addColumn<bool>("stale");
    QTest::addColumn<int>("outcome");
    using O = LinkState::Outcome;
    const QString none = QStringLiteral("no navigation message yet");
    const QString counts0 = QStringLiteral("0 good, 0 damaged frames");
    const QString counts1 = QStringLiteral("1 good, 0 damaged frames");
    const QString lost = QStringLiteral("Lost \u2014 reopening");
    const QString noAnswer = QStringLiteral(" sent, no answer from the receiver in 2 s");

    QTest::newRow("nothing opened") << ""
                                    << "Not open" << false << int(O::None);
    QTest::newRow("open, silent") << "open P"
                                  << "Open | " + none + " | " + counts0 + " | P" << false
                                  << int(O::None);
    QTest::newRow("live") << "open P; nav; wait 400"
                          << "Open | nav 0.4 s ago | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("3 s is still live")
        << "open P; nav; wait 3000"
        << "Open | nav 3.0 s ago | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("silence turns stale")
        << "open P; nav; wait 3001"
        << "Open | no data for 3.0 s | " + counts1 + " | P" << true << int(O::None);
    QTest::newRow("long silence in whole seconds")
        << "open P; nav; wait 12345"
        << "Open | no data for 12 s | " + counts1 + " | P" << true << int(O::None);
    QTest::newRow("a navigation message restores")
        << "open P; nav; wait 5000; nav; wait 100"
        << "Open | nav 0.1 s ago | 2 good, 0 damaged frames | P" << false << int(O::None);
    QTest::newRow("satellite messages alone do not")
        << "open P; nav; wait 2000; sat; wait 2000"
        << "Open | no data for 4.0 s | 2 good, 0 damaged frames | P" << true << int(O::None);
    QTest::newRow("damaged frames counted, not taken as data")
        << "open P; nav; wait 3500; bad; bad"
        << "Open | no data for 3.5 s | 1 good, 2 damaged frames | P" << true << int(O::None);
    QTest::newRow("no fix with the satellites counted")
        << "open P; fix 00; wait 400"
        << "Open | nav 0.4 s ago | no fix | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("two satellites are no fix")
        << "open P; fix 02"
        << "Open | nav 0.0 s ago | no fix | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("an invalid state is no fix")
        << "open P; fix 0F"
        << "Open | nav 0.0 s ago | no fix | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("a 2D fix is a fix")
        << "open P; fix 03"
        << "Open | nav 0.0 s ago | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("a 3D fix ends no fix")
        << "open P; fix 01; fix 04"
        << "Open | nav 0.0 s ago | 2 good, 0 damaged frames | P" << false << int(O::None);
    QTest::newRow("the status byte's high bits are no fix state")
        << "open P; fix 14"
        << "Open | nav 0.0 s ago | " + counts1 + " | P" << false << int(O::None);
    QTest::newRow("no fix stays told while stale")
        << "open P; fix 00; wait 3500"
        << "Open | no data for 3.5 s | no fix | " + counts1 + " | P" << true << int(O::None);
    QTest::newRow("another port forgets the fix state")
        << "open A; fix 00; open B"
        << "Open | " + none + " | " + counts0 + " | B" << false << int(O::None);
    QTest::newRow("lost") << "open P; nav; lost; wait 500"
                          << lost + " | nav 0.5 s ago | " + counts1 + " | P" << false
                          << int(O::None);
    QTest::newRow("lost long enough to go stale")
        << "open P; nav; lost; wait 4000" << lost + " | no data for 4.0 s | " + counts1 + " | P"
        << true << int(O::None);
    QTest::newRow("reopened keeps the counts")
        << "open P; nav; lost; reopened; nav"
        << "Reopened | nav 0.0 s ago | 2 good, 0 damaged frames | P" << false << int(O::None);
    QTest::newRow("another port starts over")
        << "open A; nav; bad; send Set_Height B1; open B"
        << "Open | " + none + " | " + counts0 + " | B" << false << int(O::None);
    QTest::newRow("a port that fails to open") << "open A; nav; fail B"
                                               << "Not open | B" << false << int(O::None);
    QTest::newRow("command waiting")
        << "open P; send Set_Height B1; wait 1999"
        << "Open | " + none + " | Set Height sent | " + counts0 + " | P" << false << int(O::Sent);
    QTest::newRow("command acknowledged")
        << "open P; send Set_Height B1; wait 300; ack B8; ack B1; wait 5000"
        << "Open | " + none + " | Set Height sent, acknowledged | 2 good, 0 damaged frames | P"
        << false << int(O::Acknowledged);
    QTest::newRow("another type is no answer")
        << "open P; send Cold_Start B9; ack B6; wait 2001"
        << "Open | " + none + " | Cold Start" + noAnswer + " | " + counts1 + " | P" << false
        << int(O::NoAnswer);
    QTest::newRow("an answer too late is no answer")
        << "open P; send Set_Height B1; wait 2500; ack B1"
        << "Open | " + none + " | Set Height" + noAnswer + " | " + counts1 + " | P" << false
        << int(O::NoAnswer);
    QTest::newRow("a damaged answer is no answer")
        << "open P; send Reset B6; wait 100; bad; wait 2000"
        << "Open | " + none + " | Reset" + noAnswer + " | 0 good, 1 damaged frames | P" << false
        << int(O::NoAnswer);
    QTest::newRow("the next command replaces the outcome")
        << "open P; send Reset B6; wait 2500; send Set_Time B2; ack B2"
        << "Open | " + none + " | Set Time sent, acknowledged | " + counts1 + " | P" << false
        << int(O::Acknowledged);
    QTest::newRow("not sent on a closed port")
        << "open P; close; notsent Set_Height"
        << "Not open | Set Height not sent: the port is not open | P" << false << int(O::NotSent);
}

void TestLinkState::eventsGiveStatesAgesAndOutcomes()
{
    QFETCH(QString, script);
    QFETCH(QString, text);
    QFETCH(bool, stale);
    QFETCH(int, outcome);
    FakeClock clock;
    LinkState link(clock);
    play(link, clock, script);
    QCOMPARE(link.text(),
             QString(text).replace(QStringLiteral(" | "), QStringLiteral("  \u00b7  ")));
    QCOMPARE(link.stale(), stale);
    QCOMPARE(int(link.outcome()), outcome);
}

void TestLinkState::silenceIsNoFrameOfAnyType_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("silent");
    QTest::newRow("nothing received yet") << "open P; wait 5000" << false;
    QTest::newRow("3 s after a frame is still live") << "open P; sat; wait 3000" << false;
    QTest::newRow("silence after the last frame of any type") << "open P; sat; wait 3001" << true;
    // A window whose message comes only when asked for stays live while others arrive.
    QTest::newRow("condition messages keep the link live")
        << "open P; nav; wait 2000; ack C6; wait 2000" << false;
    QTest::newRow("damaged frames are no sign of life")
        << "open P; nav; wait 2000; bad; wait 1500" << true;
    QTest::newRow("the next frame ends the silence") << "open P; nav; wait 5000; ack B7" << false;
    QTest::newRow("another port starts over") << "open A; nav; wait 5000; open B" << false;
}

void TestLinkState::silenceIsNoFrameOfAnyType()
{
    QFETCH(QString, script);
    QFETCH(bool, silent);
    FakeClock clock;
    LinkState link(clock);
    play(link, clock, script);
    QCOMPARE(link.silent(), silent);
}

void TestLinkState::programTracksWhatItSendsAndReceives_data()
{
    QTest::addColumn<std::function<void(GPS_Main &)>>("send");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("command");
    const auto setup = [](int command, QByteArray payload) {
        return std::function<void(GPS_Main &)>(
            [=](GPS_Main &g) { sendSetupCommand(g, command, payload); });
    };
    const auto request = [](int type) {
        return std::function<void(GPS_Main &)>([=](GPS_Main &g) { g.SendRequest(type); });
    };
    const QByteArray ackB1 = buildFrameOfType(0xB1);
    QTest::newRow("set height acknowledged") << setup(Msg::SetHeight, QByteArray(4, '\0')) << true
                                             << ackB1 << "Set Height sent, acknowledged";
    QTest::newRow("the prepare frame's answer is not the command's")
        << setup(Msg::SetHeight, QByteArray(4, '\0')) << true << buildFrameOfType(0xB8)
        << "Set Height sent";
    QTest::newRow("set time") << setup(Msg::SetTime, QByteArray(6, '\1')) << true
                              << buildFrameOfType(0xB2) << "Set Time sent, acknowledged";
    QTest::newRow("time-stamp reset is one payload byte of 0xB2")
        << setup(Msg::SetTime, QByteArray(1, '\0')) << true << QByteArray()
        << "Reset Time Stamps sent";
    QTest::newRow("cold start") << request(0xB9) << true << buildFrameOfType(0xB9)
                                << "Cold Start Fix sent, acknowledged";
    QTest::newRow("reset, port closed")
        << request(0xB6) << false << QByteArray() << "System Reset not sent: the port is not open";
    QTest::newRow("requests are not commands")
        << request(0xCA) << true << buildFrameOfType(0xCA) << QString();
}

void TestLinkState::programTracksWhatItSendsAndReceives()
{
    QFETCH(std::function<void(GPS_Main &)>, send);
    QFETCH(bool, open);
    QFETCH(QByteArray, answer);
    QFETCH(QString, command);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    FakeSerialPort port;
    port.setDevice(QStringLiteral("/dev/ttyUSB0"));
    PortKeeper keeper(g, port);
    port.refuseOpen = !open;
    keeper.open();
    send(g);
    port.feed(answer + bytes({0xB7, 0xB7, 0x00, 0x0D})); // and a damaged frame
    QCOMPARE(g.link().commandText(), command);
    QCOMPARE(g.link().portText(), open ? QStringLiteral("/dev/ttyUSB0 9600,e,8,1: Open")
                                       : QStringLiteral("/dev/ttyUSB0 9600,e,8,1: Not open"));
    if (open)
        QCOMPARE(g.link().framesText(), answer.isEmpty()
                                            ? QStringLiteral("0 good, 1 damaged frames")
                                            : QStringLiteral("1 good, 1 damaged frames"));
}

void TestLinkState::portEventsStartTtffRuns_data()
{
    // The script of the first table, "nav" and "fix F" (a navigation message with fix
    // state F) fed to the program; then the runs by what started them, oldest first,
    // and the status line's time to first fix.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("runs");
    QTest::addColumn<QString>("ttff");
    const QString opened = QStringLiteral("port opened");
    const QString reopened = QStringLiteral("port reopened");
    QTest::newRow("opening starts a run")
        << "open P; fix 0; wait 5000; fix 4" << QStringList{opened} << "TTFF 2D 5.0 s, 3D 5.0 s";
    QTest::newRow("a loss alone starts none")
        << "open P; fix 4; lost; wait 20000" << QStringList{opened} << "TTFF: fix at start";
    QTest::newRow("the reopen after a loss starts one")
        << "open P; fix 4; lost; wait 20000; reopened; wait 1000; fix 0; wait 19000; fix 4"
        << QStringList{opened, reopened} << "TTFF 2D 20.0 s, 3D 20.0 s";
    QTest::newRow("a receiver that kept its fix through the loss")
        << "open P; fix 4; lost; wait 2000; reopened; wait 500; fix 4"
        << QStringList{opened, reopened} << "TTFF: fix at start";
    QTest::newRow("no message since the reopen")
        << "open P; fix 4; lost; reopened; wait 3000" << QStringList{opened, reopened}
        << "TTFF: no fix for 3.0 s after port reopened";
    QTest::newRow("two losses, two runs")
        << "open P; lost; reopened; fix 4; lost; reopened; wait 1000"
        << QStringList{opened, reopened, reopened} << "TTFF: no fix for 1.0 s after port reopened";
    QTest::newRow("a reopen of the last port is not one of the next")
        << "open A; fix 4; lost; reopened; open B; wait 1000" << QStringList{opened, opened}
        << "TTFF: no fix for 1.0 s after port opened";
}

void TestLinkState::portEventsStartTtffRuns()
{
    QFETCH(QString, script);
    QFETCH(QStringList, runs);
    QFETCH(QString, ttff);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    // The program looks at the runs whenever a frame comes; a script's events between
    // frames are seen only there.
    for (const QString &event : script.split(QLatin1Char(';'))) {
        const QStringList w = event.simplified().split(QLatin1Char(' '));
        if (w[0] == QLatin1String("fix"))
            g.receive(navFrame({{3, {w[1].toInt()}}}));
        else
            play(g.link(), tp.clock, event);
    }
    QStringList causes;
    for (const TtffRun &r : quality.quality().ttff.runs())
        causes << ttffStartText(r.cause);
    QCOMPARE(causes, runs);
    QCOMPARE(quality.quality().ttff.text(g.dataClock().monotonicMs()), ttff);
}

QTEST_GUILESS_MAIN(TestLinkState)
#include "tst_linkstate.moc"
