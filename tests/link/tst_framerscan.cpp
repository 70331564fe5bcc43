#include "framebuilder.h"
#include "link/framer.h"
#include "link/gpsmain.h"
#include "testplatform.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// What the framer saw: every completed frame with its verdict and its bytes, and
// where the framer stood at the end.
struct Trace {
    QStringList frames;
    bool hunting = true;
    bool inBody = false;
    int rxPos = 1;
    bool operator==(const Trace &) const = default;
};

QString frameText(const Framer &g, FrameStep step)
{
    const QByteArray bytes = g.frame().bytes().toByteArray();
    return (step == FrameStep::FrameGood ? QStringLiteral("good ") : QStringLiteral("bad ")) +
           QString::fromLatin1(bytes.toHex(' '));
}

Trace finish(const Framer &g, QStringList frames)
{
    return {frames, g.huntingHeader(), g.inBody(), g.position()};
}

Trace byteByByte(const QByteArray &stream)
{
    GPS_Main main{Platform{}};
    Framer g(main.MsgTable);
    QStringList frames;
    for (char c : stream) {
        const FrameStep step = g.step(quint8(c));
        if (step != FrameStep::NeedMore)
            frames << frameText(g, step);
    }
    return finish(g, frames);
}

Trace scanned(const QByteArray &stream, int chunk)
{
    GPS_Main main{Platform{}};
    Framer g(main.MsgTable);
    QStringList frames;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        const QByteArray piece = stream.mid(at, chunk);
        const auto *data = reinterpret_cast<const quint8 *>(piece.constData());
        for (qsizetype used = 0; used < piece.size();) {
            FrameStep step;
            const qsizetype taken = g.scan(data + used, piece.size() - used, step);
            if (taken <= 0)
                return {{QStringLiteral("no progress")}};
            used += taken;
            if (step != FrameStep::NeedMore)
                frames << frameText(g, step);
        }
    }
    return finish(g, frames);
}

QByteArray noisyStream(quint32 seed)
{
    QRandomGenerator rng(seed);
    static constexpr quint8 kTypes[] = {0xC3, 0xC4, 0xC5, 0xC6, 0xCA, 0xCB, 0xB0, 0xB7};
    QByteArray s;
    for (int i = 0; i < 200; ++i) {
        QByteArray f = buildFrameOfType(kTypes[rng.bounded(8)]);
        for (int p = 2; p < f.size() - 2; ++p)
            f[p] = char(rng.bounded(256));
        switch (rng.bounded(6)) {
        case 0: // cut short
            f.truncate(rng.bounded(f.size()));
            break;
        case 1: // a byte of noise, possibly a type byte, before it
            s.append(char(kTypes[rng.bounded(8)]));
            break;
        case 2: // corrupted
            f[rng.bounded(f.size())] = char(rng.bounded(256));
            break;
        default:
            break;
        }
        s += f;
    }
    return s;
}

} // namespace

class TestFramerScan : public QObject {
    Q_OBJECT
private slots:
    void scanMatchesByteByByteStepping_data();
    void scanMatchesByteByByteStepping();
    void receiveLogIsTheSameHoweverTheBytesArrive();
};

void TestFramerScan::scanMatchesByteByByteStepping_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("chunk");

    const QByteArray everyType = buildFrameOfType(0xC3) + buildFrameOfType(0xC4) +
                                 buildFrameOfType(0xC5) + buildFrameOfType(0xC6) +
                                 buildFrameOfType(0xCA) + buildFrameOfType(0xCB) +
                                 buildFrameOfType(0xB9);
    QByteArray corrupt = buildFrameOfType(0xCA);
    corrupt[20] = char(corrupt[20] ^ 0x01);
    QByteArray noTerminator = buildFrameOfType(0xCB);
    noTerminator[49] = 0x0A;
    const struct {
        const char *legend;
        QByteArray stream;
    } streams[] = {
        {"every type back to back", everyType},
        {"leading garbage", bytes({0x00, 0x11, 0xC3, 0x42, 0x0D}) + everyType},
        {"mismatching second header", bytes({0xC3, 0xC4}) + buildFrameOfType(0xC4)},
        {"bad checksum then good", corrupt + buildFrameOfType(0xB7)},
        {"missing terminator", noTerminator + buildFrameOfType(0xCA)},
        {"half a frame at the end", everyType + buildFrameOfType(0xCA).left(20)},
        {"noisy line, seed 1", noisyStream(1)},
        {"noisy line, seed 2", noisyStream(2)},
    };
    for (const auto &s : streams)
        for (int chunk : {1, 2, 3, 7, 44, 64, 100000})
            QTest::addRow("%s, reads of %d", s.legend, chunk) << s.stream << chunk;
}

void TestFramerScan::scanMatchesByteByByteStepping()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, chunk);
    const Trace expected = byteByByte(stream);
    const Trace actual = scanned(stream, chunk);
    QCOMPARE(actual.frames, expected.frames);
    QCOMPARE(actual.hunting, expected.hunting);
    QCOMPARE(actual.inBody, expected.inBody);
    QCOMPARE(actual.rxPos, expected.rxPos);
}

void TestFramerScan::receiveLogIsTheSameHoweverTheBytesArrive()
{
    const QByteArray stream = noisyStream(3);
    GPS_Main whole{Platform{}};
    whole.OnReceive(stream);
    QVERIFY(!whole.ErrorDis().isEmpty());
    for (int chunk : {1, 5, 50, 333}) {
        GPS_Main g{Platform{}};
        QStringList seen;
        connect(&g, &GPS_Main::errorDisChanged, this, [&](const QString &t) { seen << t; });
        for (qsizetype at = 0; at < stream.size(); at += chunk)
            g.OnReceive(stream.mid(at, chunk));
        QCOMPARE(g.ErrorDis(), whole.ErrorDis());
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last(), whole.ErrorDis());
    }
}

QTEST_GUILESS_MAIN(TestFramerScan)
#include "tst_framerscan.moc"
