#include "decoders/messagevalues.h"
#include "framebuilder.h"
#include "link/encoder.h"
#include "link/framer.h"
#include "link/gpsmain.h"
#include "sim/simulator.h"
#include "testplatform.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// What the program's own framer makes of a byte stream.
struct Framed {
    QList<QByteArray> good;
    int bad = 0;
    QMap<int, int> goodByType;
};

Framed frameAll(const QByteArray &stream)
{
    TestPlatform tp;
    GPS_Main main(tp.platform);
    Framer g(main.MsgTable);
    Framed out;
    for (const char c : stream) {
        switch (g.step(quint8(c))) {
        case FrameStep::NeedMore:
            break;
        case FrameStep::FrameBad:
            ++out.bad;
            break;
        case FrameStep::FrameGood: {
            QByteArray f;
            for (int i = 1; i <= g.frame().length; ++i)
                f.append(char(g.frame().at(i)));
            out.good.append(f);
            ++out.goodByType[g.frame().type()];
            break;
        }
        }
    }
    return out;
}

// The last good frame of a type in what the simulator has queued.
QByteArray lastOfType(Simulator &sim, quint8 type)
{
    const Framed f = frameAll(sim.take());
    for (qsizetype i = f.good.size() - 1; i >= 0; --i)
        if (quint8(f.good[i][0]) == type)
            return f.good[i];
    return {};
}

quint8 at(const QByteArray &frame, int position)
{
    return quint8(frame[position - 1]);
}

void step(FakeClock &clock, Simulator &sim, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        clock.time = clock.time.addMSecs(100);
        sim.poll();
    }
}

QByteArray command(quint8 type, std::initializer_list<int> payload)
{
    return encodeFrame(type, bytes(payload));
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT
private slots:
    void everyFrameOfALongRunPassesTheFramer();
    void requestsAreAnsweredWithTheirMessage_data();
    void requestsAreAnsweredWithTheirMessage();
    void damagedOrUnknownCommandsAreIgnored_data();
    void damagedOrUnknownCommandsAreIgnored();
    void commandSplitAcrossReadsIsStillTaken();
    void commandAfterRandomNoiseIsStillTaken_data();
    void commandAfterRandomNoiseIsStillTaken();
    void setHeightShowsInNextNavigationAndMode();
    void setPositionMovesTheReceiver();
    void setTimeShiftsTheReceiverClock();
    void timeStampResetClearsAllStamps();
    void searchModeByteOfTimeStampRequestShowsInMode();
    void fixGoesFromNoSatellitesTo3DAfterStart();
    void coldStartAndResetDropTheFix_data();
    void coldStartAndResetDropTheFix();
    void satellitesMoveSlowlyAcrossTheSky();
    void faultsMatchTheRecord_data();
    void faultsMatchTheRecord();
    void sameSeedGivesSameStream();
    void backlogSkipsUnpromptedMessages();
    void navigationGoesOutRightAfterTheSecondItNames_data();
    void navigationGoesOutRightAfterTheSecondItNames();
    void coordinatesRoundTrip_data();
    void coordinatesRoundTrip();
    void staticPositionOption_data();
    void staticPositionOption();
    void standingReceiverScattersAboutItsPoint();
};

void TestSimulator::everyFrameOfALongRunPassesTheFramer()
{
    FakeClock clock;
    Simulator sim(clock);
    QByteArray stream;
    // Ten minutes, with every request now and then; no faults, so every frame is good.
    for (int s = 0; s < 600; ++s) {
        step(clock, sim, 1);
        if (s % 37 == 0)
            for (int t : {0xCA, 0xC6, 0xC4, 0xC3, 0xCB})
                sim.receive(requestFrame(t));
        if (s % 53 == 0)
            sim.receive(command(0xC5, {s % 2}));
        if (s % 61 == 0) {
            for (int t : {0xB7, 0xB8, 0xB9, 0xB6})
                sim.receive(requestFrame(t));
            sim.receive(command(0xB2, {0}));
            sim.receive(command(0xB2, {0x26, 0x12, 0x07, 0x05, 0x30, 0x00}));
            sim.receive(command(0xB1, {0x00, 0xC8, 0x00, 0x00}));
            sim.receive(command(0xB0, {0x01, 0xD1, 0xCC, 0x71, 0x06, 0x6E, 0xCA, 0x00, 0x01}));
        }
        stream += sim.take();
    }
    const Framed f = frameAll(stream);
    QCOMPARE(f.bad, 0);
    QCOMPARE(f.good.size(), sim.record().frames.size());
    QCOMPARE(f.good.size(), sim.record().intact());
    for (int t : {0xCA, 0xCB})
        QVERIFY(f.goodByType.value(t) >= 600);
    for (int t : {0xC6, 0xC4, 0xC3, 0xC5, 0xB0, 0xB1, 0xB2, 0xB6, 0xB7, 0xB8, 0xB9})
        QVERIFY2(f.goodByType.value(t) > 0, qPrintable(QString::number(t, 16)));
    for (const QByteArray &frame : f.good)
        QCOMPARE(frame.size(), frameLength(quint8(frame[0])));
}

void TestSimulator::requestsAreAnsweredWithTheirMessage_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answer");

    QTest::newRow("navigation") << requestFrame(0xCA) << 0xCA;
    QTest::newRow("condition") << requestFrame(0xC6) << 0xC6;
    QTest::newRow("diagnosis") << requestFrame(0xC4) << 0xC4;
    QTest::newRow("mode") << requestFrame(0xC3) << 0xC3;
    QTest::newRow("satellites") << requestFrame(0xCB) << 0xCB;
    QTest::newRow("time stamps, search set") << bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D}) << 0xC5;
    QTest::newRow("time stamps, search reset") << bytes({0xC5, 0xC5, 0x01, 0x75, 0x0D}) << 0xC5;
    QTest::newRow("B7 acknowledged") << requestFrame(0xB7) << 0xB7;
    QTest::newRow("B8 acknowledged") << requestFrame(0xB8) << 0xB8;
    QTest::newRow("cold start acknowledged") << requestFrame(0xB9) << 0xB9;
    QTest::newRow("reset acknowledged") << requestFrame(0xB6) << 0xB6;
    QTest::newRow("stamp reset acknowledged") << bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D}) << 0xB2;
    QTest::newRow("set time acknowledged")
        << command(0xB2, {0x26, 0x12, 0x07, 0x05, 0x30, 0x00}) << 0xB2;
    QTest::newRow("set height acknowledged") << command(0xB1, {0x00, 0xC8, 0x00, 0x00}) << 0xB1;
    QTest::newRow("set position acknowledged")
        << command(0xB0, {0x01, 0xD1, 0xCC, 0x71, 0x06, 0x6E, 0xCA, 0x00, 0x01}) << 0xB0;
}

void TestSimulator::requestsAreAnsweredWithTheirMessage()
{
    QFETCH(QByteArray, request);
    QFETCH(int, answer);
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    sim.receive(request);
    const Framed f = frameAll(sim.take());
    QCOMPARE(f.bad, 0);
    QCOMPARE(f.good.size(), 1);
    QCOMPARE(int(quint8(f.good[0][0])), answer);
    QCOMPARE(sim.commandsReceived(), QList<quint8>{quint8(request[0])});
}

void TestSimulator::damagedOrUnknownCommandsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QList<int>>("answers");

    QTest::newRow("bad checksum") << bytes({0xCA, 0xCA, 0x6D, 0x0D}) << QList<int>{};
    QTest::newRow("no terminator") << bytes({0xCA, 0xCA, 0x6C, 0x0A}) << QList<int>{};
    QTest::newRow("unknown type") << requestFrame(0x42) << QList<int>{};
    QTest::newRow("noise, then a request")
        << (bytes({0x00, 0x13, 0xCA, 0x0D}) + requestFrame(0xC4)) << QList<int>{0xC4};
    QTest::newRow("damaged request, then a good one")
        << (bytes({0xC6, 0xC6, 0x00, 0x0D}) + requestFrame(0xC3)) << QList<int>{0xC3};
    QTest::newRow("set time with a month 13 is refused")
        << command(0xB2, {0x26, 0x13, 0x01, 0x00, 0x00, 0x00}) << QList<int>{};
    QTest::newRow("set time with a non-BCD digit is refused")
        << command(0xB2, {0x26, 0x1A, 0x01, 0x00, 0x00, 0x00}) << QList<int>{};
    QTest::newRow("stamp reset other than 0 is refused")
        << bytes({0xB2, 0xB2, 0x01, 0x9B, 0x0D}) << QList<int>{};
    QTest::newRow("position with 75 minutes is refused")
        << command(0xB0, {0x02, 0x9F, 0x7A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}) << QList<int>{};
}

void TestSimulator::damagedOrUnknownCommandsAreIgnored()
{
    QFETCH(QByteArray, input);
    QFETCH(QList<int>, answers);
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    const double heightBefore = sim.heightMetres();
    sim.receive(input);
    QList<int> got;
    for (const QByteArray &f : frameAll(sim.take()).good)
        got.append(quint8(f[0]));
    QCOMPARE(got, answers);
    QCOMPARE(sim.heightMetres(), heightBefore);
}

void TestSimulator::commandSplitAcrossReadsIsStillTaken()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    const QByteArray set = command(0xB1, {0x07, 0xD0, 0x00, 0x02});
    for (const char c : set)
        sim.receive(QByteArray(1, c));
    QCOMPARE(sim.heightMetres(), 1000.0);
    QCOMPARE(frameAll(sim.take()).goodByType.value(0xB1), 1);
}

void TestSimulator::commandAfterRandomNoiseIsStillTaken_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 40; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TestSimulator::commandAfterRandomNoiseIsStillTaken()
{
    QFETCH(quint32, seed);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(0, 255), length(0, 60);
    QByteArray noise;
    for (int i = length(rng); i > 0; --i)
        noise.append(char(value(rng)));
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    // Noise with command bytes mixed in, the set-height command, then a request.
    sim.receive(noise + bytes({0xB1, 0xB1, 0xB0}) + noise);
    sim.receive(command(0xB1, {0x07, 0xD0, 0x00, 0x00}) + requestFrame(0xC4));
    QCOMPARE(sim.heightMetres(), 1000.0);
    QVERIFY(frameAll(sim.take()).goodByType.value(0xC4) >= 1);
}

void TestSimulator::setHeightShowsInNextNavigationAndMode()
{
    FakeClock clock;
    Simulator sim(clock);
    sim.receive(requestFrame(0xB8));
    sim.receive(command(0xB1, {0x00, 0xC9, 0x00, 0x00})); // 100.5 m
    sim.take();
    step(clock, sim, 1);
    const QByteArray nav = lastOfType(sim, 0xCA);
    QCOMPARE(at(nav, 12), quint8(0x00));
    QCOMPARE(at(nav, 13), quint8(0xC9));
    sim.receive(requestFrame(0xC3));
    const QByteArray mode = lastOfType(sim, 0xC3);
    // Set height in half metres as BCD: 201.
    QCOMPARE(at(mode, 8), quint8(0x02));
    QCOMPARE(at(mode, 9), quint8(0x01));

    sim.receive(command(0xB1, {0xFF, 0xEC, 0x00, 0x00})); // -10 m
    sim.receive(requestFrame(0xCA));
    const QByteArray nav2 = lastOfType(sim, 0xCA);
    QCOMPARE(at(nav2, 12), quint8(0xFF));
    QCOMPARE(at(nav2, 13), quint8(0xEC));
}

void TestSimulator::setPositionMovesTheReceiver()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    // 33°12.3456' and 117°10.5' as the Set Position window sends them.
    sim.receive(command(0xB0, {0x01, 0xD1, 0xCC, 0x71, 0x06, 0x6E, 0xCA, 0x00, 0x01}));
    sim.receive(requestFrame(0xCA));
    const QByteArray nav = lastOfType(sim, 0xCA);
    const auto raw = [&](int pos) {
        return qint32(quint32(at(nav, pos)) << 24 | quint32(at(nav, pos + 1)) << 16 |
                      quint32(at(nav, pos + 2)) << 8 | at(nav, pos + 3));
    };
    QVERIFY(qAbs(raw(4) - 30526577) <= 1);
    QVERIFY(qAbs(raw(8) - 107923968) <= 1);
    // The receiver moves on from there: ten seconds at 10 m/s is well under a minute of arc.
    clock.time = clock.time.addSecs(10);
    QVERIFY(qAbs(sim.latitudeDegrees() - (33 + 12.3456 / 60)) < 0.002);
    QVERIFY(sim.latitudeDegrees() != 33 + 12.3456 / 60);
}

void TestSimulator::setTimeShiftsTheReceiverClock()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    sim.receive(command(0xB2, {0x99, 0x12, 0x31, 0x23, 0x59, 0x50}));
    clock.time = clock.time.addSecs(15);
    sim.receive(requestFrame(0xCA));
    const QByteArray nav = lastOfType(sim, 0xCA);
    QCOMPARE(nav.mid(24, 6), bytes({0x00, 0x01, 0x01, 0x00, 0x00, 0x05}));
}

void TestSimulator::timeStampResetClearsAllStamps()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    sim.receive(command(0xC5, {0}));
    QVERIFY(lastOfType(sim, 0xC5).mid(2, 42) != QByteArray(42, '\0'));
    sim.receive(bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D}));
    sim.receive(command(0xC5, {0}));
    QCOMPARE(lastOfType(sim, 0xC5).mid(2, 42), QByteArray(42, '\0'));
}

void TestSimulator::searchModeByteOfTimeStampRequestShowsInMode()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    sim.receive(command(0xC5, {1}));
    sim.receive(requestFrame(0xC3));
    QCOMPARE(at(lastOfType(sim, 0xC3), 7) & 0x80, 0x80);
    sim.receive(command(0xC5, {0}));
    sim.receive(requestFrame(0xC3));
    QCOMPARE(at(lastOfType(sim, 0xC3), 7) & 0x80, 0);
}

void TestSimulator::fixGoesFromNoSatellitesTo3DAfterStart()
{
    FakeClock clock;
    Simulator sim(clock);
    QList<int> states;
    int fix3dAt = -1;
    for (int s = 0; s < 60; ++s) {
        sim.receive(requestFrame(0xCA));
        const int state = at(lastOfType(sim, 0xCA), 3);
        if (states.isEmpty() || states.last() != state)
            states.append(state);
        if (state == 4 && fix3dAt < 0)
            fix3dAt = s;
        step(clock, sim, 1);
    }
    QCOMPARE(states, (QList<int>{0, 1, 2, 3, 4}));
    QVERIFY2(fix3dAt >= 10 && fix3dAt <= 40, qPrintable(QString::number(fix3dAt)));
    // With a fix, every channel state byte of the satellite message is "Fix".
    sim.receive(requestFrame(0xCB));
    const QByteArray sat = lastOfType(sim, 0xCB);
    for (int k = 1; k <= 8; ++k)
        QCOMPARE(at(sat, 5 * k) & 0x0F, 0x0F);
}

void TestSimulator::coldStartAndResetDropTheFix_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("cold start") << requestFrame(0xB9);
    QTest::newRow("system reset") << requestFrame(0xB6);
}

void TestSimulator::coldStartAndResetDropTheFix()
{
    QFETCH(QByteArray, command);
    FakeClock clock;
    Simulator sim(clock);
    step(clock, sim, 45);
    sim.take();
    QCOMPARE(sim.fixState(), 4);
    sim.receive(command);
    QCOMPARE(sim.fixState(), 0);
    sim.receive(requestFrame(0xCA));
    const Framed f = frameAll(sim.take());
    QCOMPARE(int(quint8(f.good.first()[0])), int(quint8(command[0]))); // acknowledged
    QCOMPARE(at(f.good.last(), 3), quint8(0));
    QCOMPARE(at(f.good.last(), 33), quint8(0));
    step(clock, sim, 45);
    QCOMPARE(sim.fixState(), 4);
}

void TestSimulator::satellitesMoveSlowlyAcrossTheSky()
{
    // Followed by satellite number: once all are in the fix, a satellite moves to the next
    // channel every two minutes, and nothing about it jumps when it does.
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    using Sky = std::map<int, std::pair<int, int>>; // number: azimuth, elevation byte
    const auto skyOf = [](const QByteArray &sat, QList<int> &numbers) {
        Sky sky;
        numbers.clear();
        for (int k = 1; k <= 8; ++k) {
            const int p = 5 * k - 1;
            sky[at(sat, p)] = {at(sat, p + 3), at(sat, p + 4)};
            numbers << at(sat, p);
        }
        return sky;
    };
    Sky first, previous;
    QList<int> numbers, before;
    QList<int> movesAt;
    for (int s = 0; s <= 600; s += 5) {
        sim.receive(requestFrame(0xCB));
        const Sky sky = skyOf(lastOfType(sim, 0xCB), numbers);
        QCOMPARE(sky.size(), std::size_t(8));
        if (!previous.empty()) {
            for (const auto &[number, place] : sky) {
                QVERIFY2(previous.count(number), "a satellite came from nowhere");
                const auto &[az, el] = place;
                const int daz = qAbs(az - previous.at(number).first);
                QVERIFY2(qMin(daz, 256 - daz) <= 2, "azimuth jumps");
                QVERIFY2(qAbs(el - previous.at(number).second) <= 2, "elevation jumps");
                QVERIFY(el > 0 && el < 128); // above the horizon
            }
            // A reassignment swaps two neighbouring channels' satellites.
            QList<int> changed;
            for (int k = 0; k < 8; ++k)
                if (numbers[k] != before[k])
                    changed << k;
            if (!changed.isEmpty()) {
                QCOMPARE(changed.size(), 2);
                QCOMPARE(changed[1], changed[0] + 1);
                movesAt << s;
            }
        } else {
            first = sky;
        }
        previous = sky;
        before = numbers;
        clock.time = clock.time.addSecs(5);
    }
    int moved = 0;
    for (const auto &[number, place] : first)
        moved += place.first != previous.at(number).first ? 1 : 0;
    QCOMPARE(moved, 8);
    // All eight in the fix 31 s after the start, then a move every 120 s.
    QCOMPARE(movesAt, (QList<int>{155, 275, 395, 515}));
}

void TestSimulator::faultsMatchTheRecord_data()
{
    QTest::addColumn<double>("garbage");
    QTest::addColumn<double>("corrupt");
    QTest::addColumn<double>("truncate");

    QTest::newRow("noise only") << 0.5 << 0.0 << 0.0;
    QTest::newRow("bad checksums only") << 0.0 << 0.3 << 0.0;
    QTest::newRow("truncated only") << 0.0 << 0.0 << 0.3;
    QTest::newRow("all faults") << 0.3 << 0.2 << 0.2;
}

void TestSimulator::faultsMatchTheRecord()
{
    QFETCH(double, garbage);
    QFETCH(double, corrupt);
    QFETCH(double, truncate);
    FakeClock clock;
    SimulatorOptions o;
    o.garbageRate = garbage;
    o.corruptRate = corrupt;
    o.truncateRate = truncate;
    o.seed = 7;
    Simulator sim(clock, o);
    QByteArray stream;
    for (int s = 0; s < 300; ++s) {
        step(clock, sim, 1);
        sim.receive(requestFrame(0xC6));
        stream += sim.take();
    }
    const SimulatorRecord &r = sim.record();
    const Framed f = frameAll(stream);
    for (int t : {0xCA, 0xCB, 0xC6})
        QCOMPARE(f.goodByType.value(t), r.intact(quint8(t)));
    QCOMPARE(f.good.size(), r.intact());
    QCOMPARE(f.bad, r.damaged());
    if (garbage > 0)
        QVERIFY(r.garbageBytes > 0);
    if (corrupt > 0 || truncate > 0)
        QVERIFY(r.damaged() > 0);
    else
        QCOMPARE(r.damaged(), 0);
}

void TestSimulator::sameSeedGivesSameStream()
{
    const auto run = [](quint32 seed) {
        FakeClock clock;
        SimulatorOptions o;
        o.garbageRate = o.corruptRate = o.truncateRate = 0.2;
        o.seed = seed;
        Simulator sim(clock, o);
        QByteArray stream;
        for (int s = 0; s < 60; ++s) {
            step(clock, sim, 1);
            stream += sim.take();
        }
        return stream;
    };
    QCOMPARE(run(3), run(3));
    QVERIFY(run(3) != run(4));
}

void TestSimulator::backlogSkipsUnpromptedMessages()
{
    FakeClock clock;
    Simulator sim(clock);
    sim.setBacklogLimit(200);
    step(clock, sim, 10); // nobody drains the line
    QVERIFY(sim.pending() <= 200 + 94);
    QVERIFY(sim.pending() >= 94);
}

void TestSimulator::navigationGoesOutRightAfterTheSecondItNames_data()
{
    QTest::addColumn<int>("startMs"); // into the computer's second 12:34:56
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<int>("setTimeAtMs"); // Set Time 01:02:03 then; -1 for none
    QTest::addColumn<int>("stallMs");     // no steps for this long after the first second
    QTest::addColumn<int>("messages");    // navigation messages in the six seconds
    // 56.3 to 62.3: seconds 57 to 62.
    QTest::newRow("started mid-second") << 300 << 1000 << -1 << 0 << 6;
    // 56.13 to 62.13: 56.2, .4, .6, .8, five a second 57 to 61, then 62.0.
    QTest::newRow("five a second") << 130 << 200 << -1 << 0 << 30;
    // 56, 57, 58; set at 58.37 to 01:02:03.000, then 03, 04, 05, 06 (at 62.0 = 06.63).
    QTest::newRow("after Set Time its seconds count") << 0 << 1000 << 2370 << 0 << 7;
    // 56, 57; nothing from 57.0 to 60.5; 58 to 60 missed, not sent late; then 61, 62.
    QTest::newRow("after a stall") << 0 << 1000 << -1 << 3500 << 4;
}

void TestSimulator::navigationGoesOutRightAfterTheSecondItNames()
{
    QFETCH(int, startMs);
    QFETCH(int, intervalMs);
    QFETCH(int, setTimeAtMs);
    QFETCH(int, stallMs);
    QFETCH(int, messages);
    FakeClock clock;
    clock.time = clock.time.addMSecs(startMs);
    SimulatorOptions o;
    o.intervalMs = intervalMs;
    Simulator sim(clock, o);
    qint64 offsetMs = 0; // the receiver's clock against the computer's
    int seen = 0;
    for (int t = 10; t <= 6000; t += 10) {
        clock.time = clock.time.addMSecs(10);
        if (t > 1000 && t <= 1000 + stallMs)
            continue;
        if (t == setTimeAtMs) {
            sim.receive(command(0xB2, {0x26, 0x12, 0x07, 0x01, 0x02, 0x03}));
            offsetMs = clock.time.msecsTo(QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3), Qt::UTC));
        }
        sim.poll();
        const QByteArray sent = sim.take();
        if (sent.isEmpty())
            continue;
        for (const QByteArray &f : frameAll(sent).good) {
            if (quint8(f[0]) != 0xCA)
                continue;
            ++seen;
            const auto bcd = [&](int position) {
                const quint8 b = at(f, position);
                return (b >> 4) * 10 + (b & 15);
            };
            const QDateTime named(QDate(2000 + bcd(25), bcd(26), bcd(27)),
                                  QTime(bcd(28), bcd(29), bcd(30)), Qt::UTC);
            const qint64 into =
                clock.time.toMSecsSinceEpoch() + offsetMs - named.toMSecsSinceEpoch();
            // Within one step of its slot: the second's start, or a whole interval after.
            QVERIFY2(
                into >= 0 && into < 1000 && into % intervalMs <= 10,
                qPrintable(
                    QStringLiteral("%1 ms after %2").arg(into).arg(named.toString(Qt::ISODate))));
        }
    }
    QCOMPARE(seen, messages);
}

void TestSimulator::coordinatesRoundTrip_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<qint32>("raw");
    QTest::newRow("33°12.3456'") << 33 + 12.3456 / 60 << qint32(30526577);
    QTest::newRow("-33°12.3456'") << -(33 + 12.3456 / 60) << qint32(-30526577);
    QTest::newRow("117°10.5'") << 117 + 10.5 / 60 << qint32(107923968);
    QTest::newRow("zero") << 0.0 << qint32(0);
}

void TestSimulator::coordinatesRoundTrip()
{
    QFETCH(double, degrees);
    QFETCH(qint32, raw);
    QCOMPARE(Simulator::scaledCoordinate(degrees), raw);
    QVERIFY(qAbs(Simulator::degreesFromScaled(raw) - degrees) < 1e-7);
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"

void TestSimulator::staticPositionOption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("expected"); // empty: refused
    QTest::addColumn<QString>("error");
    QTest::newRow("Zurich") << "47.37,8.54,420" << QList<double>{47.37, 8.54, 420} << "";
    QTest::newRow("south west, spaces")
        << " -33.9 , -70.6 , -12.5 " << QList<double>{-33.9, -70.6, -12.5} << "";
    QTest::newRow("edges") << "-90,180,9000" << QList<double>{-90, 180, 9000} << "";
    QTest::newRow("latitude 90.01")
        << "90.01,0,0" << QList<double>{} << "latitude 90.01 is outside";
    QTest::newRow("longitude -180.5")
        << "0,-180.5,0" << QList<double>{} << "longitude -180.5 is outside";
    QTest::newRow("height -1001") << "0,0,-1001" << QList<double>{} << "height -1001 is outside";
    QTest::newRow("no height") << "47.37,8.54" << QList<double>{} << "wants LAT,LON,H";
    QTest::newRow("degrees and minutes")
        << "47 22.2,8.54,420" << QList<double>{} << "latitude «47 22.2» is not a number";
    QTest::newRow("nan") << "nan,8.54,420" << QList<double>{} << "is not a number";
    QTest::newRow("empty") << "" << QList<double>{} << "wants LAT,LON,H";
}

void TestSimulator::staticPositionOption()
{
    QFETCH(QString, text);
    QFETCH(QList<double>, expected);
    QFETCH(QString, error);
    QString why;
    const std::optional<StaticPosition> p = parseStaticPosition(text, why);
    QCOMPARE(p.has_value(), !expected.isEmpty());
    if (p) {
        QCOMPARE(p->latitudeDeg, expected[0]);
        QCOMPARE(p->longitudeDeg, expected[1]);
        QCOMPARE(p->heightM, expected[2]);
    } else {
        QVERIFY2(why.contains(error), qPrintable(why));
    }
}

void TestSimulator::standingReceiverScattersAboutItsPoint()
{
    // Ten minutes of fixes from a receiver standing at 47.37 N 8.54 E, 420 m, in metres
    // east, north and up of that point.
    const auto cloud = [](quint32 seed) {
        FakeClock clock;
        SimulatorOptions o;
        o.seed = seed;
        o.stationary = StaticPosition{47.37, 8.54, 420};
        Simulator sim(clock, o);
        const GeographicLib::LocalCartesian point(47.37, 8.54, 420);
        QList<std::array<double, 3>> out;
        for (int s = 0; s < 600; ++s) {
            step(clock, sim, 1);
            const NavigationMessage m = parseNavigation(lastOfType(sim, 0xCA));
            if (m.fix != 4)
                continue;
            std::array<double, 3> e{};
            point.Forward(m.latitudeDeg, m.longitudeDeg, m.heightM, e[0], e[1], e[2]);
            out.append(e);
            if (m.speedKmh != 0)
                return QList<std::array<double, 3>>{};
        }
        return out;
    };
    const auto a = cloud(7);
    QVERIFY(a.size() > 500);
    double horizontal = 0, vertical = 0;
    std::vector<double> steps;
    for (qsizetype i = 0; i < a.size(); ++i) {
        horizontal += a[i][0] * a[i][0] + a[i][1] * a[i][1];
        vertical += a[i][2] * a[i][2];
        if (i > 0)
            steps.push_back(std::hypot(a[i][0] - a[i - 1][0], a[i][1] - a[i - 1][1]));
    }
    horizontal = std::sqrt(horizontal / double(a.size()));
    vertical = std::sqrt(vertical / double(a.size()));
    // Metres, not centimetres nor tens of metres; more up than across.
    QVERIFY2(horizontal > 0.8 && horizontal < 4, qPrintable(QString::number(horizontal)));
    QVERIFY2(vertical > 1.2 && vertical < 8, qPrintable(QString::number(vertical)));
    // Correlated from second to second: the typical step is well under the spread
    // (white noise of this size would step by about 2 m).
    std::nth_element(steps.begin(), steps.begin() + std::ptrdiff_t(steps.size() / 2), steps.end());
    QVERIFY2(steps[steps.size() / 2] < 1.0, qPrintable(QString::number(steps[steps.size() / 2])));
    // The seed decides the cloud.
    QCOMPARE(cloud(7), a);
    QVERIFY(cloud(8) != a);
}
