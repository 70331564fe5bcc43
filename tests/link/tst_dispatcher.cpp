#include "framebuilder.h"
#include "link/dispatcher.h"
#include "link/gpsmain.h"
#include "link/hextext.h"

#include <QtTest>

namespace {

// A clock that moves only when told to and counts how often it is read.
class StepClock : public Clock {
public:
    qint64 ms = 1000;
    mutable int reads = 0;
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }
    qint64 monotonicMs() const override { return ++reads, ms; }
};

QByteArray nav()
{
    return navFrame({{3, {0x04}}});
}

QByteArray damaged(QByteArray frame)
{
    frame[frame.size() - 2] = char(frame[frame.size() - 2] + 1);
    return frame;
}

// The program's receive path with subscribers that write what they got into one log:
// "who:type" per frame, "!" after the type of a damaged one.
struct Receiver {
    StepClock clock;
    Platform platform = [this] {
        Platform p;
        p.clock = &clock;
        return p;
    }();
    GPS_Main g{platform};
    QStringList log;
    QList<Frame> seen;

    FrameDispatcher::Handler note(const QString &who)
    {
        return [this, who](const Frame &f) {
            log << who + QLatin1Char(':') + HexByte(f.type()) +
                       (f.good ? QString() : QStringLiteral("!"));
            seen << f;
        };
    }
};

} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT
private slots:
    void everySubscriberGetsWhatItAskedForOnceInOrder_data();
    void everySubscriberGetsWhatItAskedForOnceInOrder();
    void releasedSubscriptionGetsNothing_data();
    void releasedSubscriptionGetsNothing();
    void frameIsTimedByTheReadOfItsFirstByte_data();
    void frameIsTimedByTheReadOfItsFirstByte();
};

void TestDispatcher::everySubscriberGetsWhatItAskedForOnceInOrder_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("expected");
    const QByteArray sat = buildFrameOfType(0xCB);
    QTest::newRow("navigation") << nav() << "all:CA good:CA nav:CA";
    QTest::newRow("satellites") << sat << "all:CB good:CB sat:CB";
    QTest::newRow("navigation then satellites")
        << nav() + sat << "all:CA good:CA nav:CA all:CB good:CB sat:CB";
    QTest::newRow("damaged navigation") << damaged(nav()) << "all:CA! damaged:CA!";
    QTest::newRow("noise, damaged, good")
        << QByteArray("\x01\x02\xCA\x00", 4) + damaged(sat) + nav()
        << "all:CB! damaged:CB! all:CA good:CA nav:CA";
    QTest::newRow("mode: nobody by type") << buildFrameOfType(0xC3) << "all:C3 good:C3";
    QTest::newRow("half a frame") << nav().left(30) << "";
}

void TestDispatcher::everySubscriberGetsWhatItAskedForOnceInOrder()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, expected);
    Receiver r;
    FrameDispatcher &d = r.g.frames();
    const auto all = d.subscribeAll(r.note("all"));
    const auto good = d.subscribeGood(r.note("good"));
    const auto navOnly = d.subscribe(0xCA, r.note("nav"));
    const auto satOnly = d.subscribe(0xCB, r.note("sat"));
    const auto bad = d.subscribeDamaged(r.note("damaged"));
    r.g.receive(stream);
    QCOMPARE(r.log.join(QLatin1Char(' ')), expected);
    // Whoever got a frame got the same value: the bytes that came, and one arrival.
    for (const Frame &f : std::as_const(r.seen)) {
        QVERIFY(stream.contains(f.bytes().toByteArray()));
        QCOMPARE(f.arrivedMs, 1000);
    }
}

void TestDispatcher::releasedSubscriptionGetsNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("released before") << "release"
                                     << "first:CA first:CA";
    QTest::newRow("gone out of scope") << "scope"
                                       << "first:CA first:CA";
    QTest::newRow("released by an earlier one during a frame") << "earlier"
                                                               << "first:CA first:CA";
    QTest::newRow("releases itself during a frame") << "itself"
                                                    << "first:CA last:CA first:CA";
    QTest::newRow("kept") << "keep"
                          << "first:CA last:CA first:CA last:CA";
}

void TestDispatcher::releasedSubscriptionGetsNothing()
{
    QFETCH(QString, how);
    QFETCH(QString, expected);
    Receiver r;
    FrameDispatcher &d = r.g.frames();
    FrameDispatcher::Subscription last;
    const FrameDispatcher::Handler first = r.note("first");
    const auto firstSub = d.subscribe(0xCA, [&](const Frame &f) {
        first(f);
        if (how == QLatin1String("earlier"))
            last.release();
    });
    const FrameDispatcher::Handler lastNote = r.note("last");
    if (how == QLatin1String("scope")) {
        const auto gone = d.subscribe(0xCA, lastNote);
    } else {
        last = d.subscribe(0xCA, [&](const Frame &f) {
            lastNote(f);
            if (how == QLatin1String("itself"))
                last.release();
        });
    }
    if (how == QLatin1String("release"))
        last.release();
    r.g.receive(nav() + nav());
    QCOMPARE(r.log.join(QLatin1Char(' ')), expected);
    QCOMPARE(d.subscribers(), how == QLatin1String("keep") ? 2 : 1);
}

void TestDispatcher::frameIsTimedByTheReadOfItsFirstByte_data()
{
    // Reads 100 ms apart; "times" is each good frame's arrival, "clockReads" how often
    // the clock was read: once per read that ended a frame or left one begun, never
    // per frame.
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<qint64>>("completed");
    QTest::addColumn<int>("clockReads");
    const QByteArray n = nav();
    QTest::newRow("one read") << QList<QByteArray>{n} << QList<qint64>{1000} << QList<qint64>{1000}
                              << 1;
    QTest::newRow("two frames, one read")
        << QList<QByteArray>{n + n} << QList<qint64>{1000, 1000} << QList<qint64>{1000, 1000} << 1;
    QTest::newRow("type byte alone first") << QList<QByteArray>{n.left(1), n.mid(1)}
                                           << QList<qint64>{1000} << QList<qint64>{1100} << 2;
    QTest::newRow("over three reads") << QList<QByteArray>{n.left(10), n.mid(10, 10), n.mid(20)}
                                      << QList<qint64>{1000} << QList<qint64>{1200} << 2;
    QTest::newRow("noise first, frame next") << QList<QByteArray>{QByteArray("\x01\x02"), n}
                                             << QList<qint64>{1100} << QList<qint64>{1100} << 1;
    QTest::newRow("second frame begun in the first one's read")
        << QList<QByteArray>{n + n.left(5), n.mid(5)} << QList<qint64>{1000, 1000}
        << QList<qint64>{1000, 1100} << 2;
    QTest::newRow("false start, then the frame in the next read")
        << QList<QByteArray>{QByteArray("\xCA\x01"), n} << QList<qint64>{1100}
        << QList<qint64>{1100} << 1;
}

void TestDispatcher::frameIsTimedByTheReadOfItsFirstByte()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<qint64>, completed);
    QFETCH(int, clockReads);
    Receiver r;
    const auto all = r.g.frames().subscribeGood(r.note("all"));
    for (const QByteArray &read : std::as_const(reads)) {
        r.g.receive(read);
        r.clock.ms += 100;
    }
    QList<qint64> got, ended;
    for (const Frame &f : std::as_const(r.seen))
        got << f.arrivedMs, ended << f.completedMs;
    QCOMPARE(got, times);
    QCOMPARE(ended, completed);
    QCOMPARE(r.clock.reads, clockReads);
}

QTEST_GUILESS_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
