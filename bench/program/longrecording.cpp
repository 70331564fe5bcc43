// kestrel-longrecording: a recording of HOURS hours of the simulated receiver, the same
// bytes at every run, for the benchmarks of long recordings and for tests. Each second
// a navigation and a satellite message, each minute a Mode request sent and its answer;
// the bytes cut into data lines as a 9600 Bd line (8 data bits, even parity, one stop
// bit) brings them to a reader that takes what has come every 5 ms. The simulated
// receiver drives along its track, so exports have a route to show.
//
//     kestrel-longrecording HOURS OUT.krec

#include "streams.h"

#include "link/encoder.h"
#include "link/messagetypes.h"
#include "recording/recording.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

// Eleven bits a byte at 9600 bits a second.
constexpr double kByteMs = 11 * 1000.0 / 9600;
// How often the reader takes what has arrived.
constexpr qint64 kReadMs = 5;
// The receiver sends its second's messages this long after the second began.
constexpr double kSendOffsetMs = 40;

int fail(const QString &text)
{
    std::fprintf(stderr, "kestrel-longrecording: %s\n", qPrintable(text));
    return 1;
}

// The bytes the line brings, by the reader's 5 ms turns: each piece is written at the
// turn that finds it complete.
class Line {
public:
    explicit Line(RecordingWriter &writer) : m_writer(writer) {}

    // `bytes` go out from `startMs` on, or when the bytes before them are through.
    bool send(double startMs, const QByteArray &bytes)
    {
        double at = std::max(startMs, m_freeAtMs);
        for (const char b : bytes) {
            at += kByteMs;
            if (!flushBefore(at))
                return false;
            m_pending += b;
        }
        m_freeAtMs = at;
        return true;
    }
    // Writes what has arrived by the first reader's turn at or after `ms`.
    bool flushBefore(double ms)
    {
        const qint64 turn = (qint64(ms) / kReadMs + 1) * kReadMs;
        if (turn == m_turn)
            return true;
        const bool ok = m_pending.isEmpty() || m_writer.writeChunk(m_turn, m_pending);
        m_pending.clear();
        m_turn = turn;
        return ok;
    }

private:
    RecordingWriter &m_writer;
    QByteArray m_pending;
    double m_freeAtMs = 0;
    qint64 m_turn = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    const double hours = args.value(0).toDouble(&ok);
    if (args.size() != 2 || !ok || !(hours > 0) || hours > 24 * 31)
        return fail(QStringLiteral("usage: kestrel-longrecording HOURS OUT.krec "
                                   "(HOURS above 0, at most a month)"));
    QFile out(args[1]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1: %2").arg(args[1], out.errorString()));
    RecordingWriter writer(out);
    const qint64 seconds = qint64(hours * 3600);
    ok = writer.writeHeader(
        {QStringLiteral("made by: kestrel-longrecording %1").arg(args[0]),
         QStringLiteral("port: SIMULATOR 9600,e,8,1"),
         QStringLiteral("%1 s of the simulated receiver: a navigation and a satellite message "
                        "a second, a Mode request and its answer a minute")
             .arg(seconds)});
    BenchReceiver receiver(1000);
    Line line(writer);
    for (qint64 s = 0; ok && s < seconds; ++s) {
        const double startMs = double(s) * 1000 + kSendOffsetMs;
        ok = line.send(startMs, receiver.navigation() + receiver.satellites());
        if (ok && s % 60 == 30) {
            // The request goes out half a second later; the answer follows at once.
            const qint64 sentMs = s * 1000 + 500;
            ok = line.flushBefore(double(sentMs)) &&
                 writer.writeSent(sentMs, requestFrame(Msg::Mode)) &&
                 line.send(double(sentMs) + 20, receiver.mode());
        }
        receiver.next();
    }
    ok = ok && line.flushBefore(double(seconds) * 1000 + 1000) && out.flush();
    if (!ok)
        return fail(QStringLiteral("cannot write %1: %2").arg(args[1], writer.errorString()));
    return 0;
}
