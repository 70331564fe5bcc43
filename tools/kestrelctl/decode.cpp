// decode and monitor: frames with the log line and every window's texts.

#include "cli.h"
#include "commands.h"

#include "decoders/framedecode.h"
#include "decoders/valuesjson.h"
#include "link/hextext.h"
#include "link/linkstate.h"
#include "link/messagetypes.h"
#include "platform/clock.h"
#include "platform/qtserialport.h"
#include "quality/clockoffset.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

enum class Output { Text, Json, Fix };

class FramePrinter {
public:
    // Live: every frame is written out as it is printed (monitor, or a terminal that
    // shows them); otherwise standard output keeps them in its buffer.
    FramePrinter(Output output, bool live)
        : m_output(output), m_live(live || standardOutputIsTerminal())
    {
    }

    void print(const QList<DecodedFrame> &frames)
    {
        for (const DecodedFrame &f : frames)
            print(f);
    }
    void print(const DecodedFrame &f)
    {
        if (m_stdout.failed())
            return;
        // One buffer for every frame: its room stays from the frames before.
        QByteArray &out = m_buffer;
        out.resize(0);
        if (m_output == Output::Fix) {
            if (!f.good || quint8(f.bytes.at(0)) != Msg::Navigation)
                return;
            if (!m_count)
                out = fixHeader().toUtf8() + '\n';
            out += fixLine(parseNavigation(f.bytes)).toUtf8() + '\n';
        } else if (m_output == Output::Json) {
            appendFrameJson(out, f);
            appendClockOffset(out, f);
            out += '\n';
        } else {
            // A blank line between frames, none before the first.
            if (m_count)
                out += '\n';
            appendFrameText(out, f);
        }
        m_stdout.write(out, m_live);
        ++m_count;
    }
    bool failed() const { return m_stdout.failed(); }
    // A good navigation message whose arrival the computer's clock timed (monitor) gets
    // "clock_offset_s" in its JSON object, null when the message names no real date.
    static void appendClockOffset(QByteArray &out, const DecodedFrame &f)
    {
        if (f.arrivedUtcMs < 0 || !f.good || f.bytes.isEmpty() ||
            quint8(f.bytes[0]) != Msg::Navigation || !out.endsWith('}'))
            return;
        out.chop(1);
        out += ",\"clock_offset_s\":";
        const std::optional<double> offset = clockOffsetS(f.bytes, f.arrivedUtcMs);
        out += offset ? QByteArray::number(*offset, 'f', 3) : QByteArray("null");
        out += '}';
    }
    int finish(int status) { return m_stdout.finish(status); }

private:
    Output m_output;
    bool m_live;
    int m_count = 0;
    QByteArray m_buffer;
    StandardOutput m_stdout;
};

const QCommandLineOption kJson(QStringLiteral("json"),
                               QStringLiteral("One JSON object per frame, one per line; "
                                              "\"values\" holds the numbers in units (UTC)."));
const QCommandLineOption kFix(QStringLiteral("fix"),
                              QStringLiteral("One line per navigation message in fixed columns: "
                                             "UTC time, fix, satellites, latitude, longitude, "
                                             "height, speed, heading."));

// --json, --fix or neither; nullopt (after complaining) for both.
std::optional<Output> outputOption(const QString &command, const QCommandLineParser &p)
{
    if (p.isSet(kJson) && p.isSet(kFix)) {
        usageError(command, QStringLiteral("give --json or --fix, not both"));
        return std::nullopt;
    }
    return p.isSet(kJson) ? Output::Json : p.isSet(kFix) ? Output::Fix : Output::Text;
}

} // namespace

int runDecode(const QStringList &args)
{
    SubcommandParser sp(
        QStringLiteral("decode"), QStringLiteral("[FILE|-]"),
        QStringLiteral(
            "Decodes a raw capture, a recording (kestrelctl record) or hexadecimal text\n"
            "(--hex), from FILE or standard input. For every frame it prints the log line\n"
            "the program writes (\"CMD: CA\", \"ERR: CkSum\") and then every field as\n"
            "Window.Control: text, exactly as the windows show it, all windows open."));
    QCommandLineParser &p = sp.parser();
    const QCommandLineOption hex(QStringLiteral("hex"),
                                 QStringLiteral("The input is hexadecimal text (CA CA 6C 0D, "
                                                "0xCA,0xCA, CACA6C0D; # starts a comment)."));
    const TimeZoneOption tz;
    const UnitsOption units;
    p.addOptions({hex, kJson, kFix, tz.option, units.option});
    p.addPositionalArgument(QStringLiteral("FILE"),
                            QStringLiteral("The input; - or nothing for standard input."));
    if (const auto status = sp.parse(args))
        return *status;
    const QStringList files = p.positionalArguments();
    if (files.size() > 1)
        return usageError(QStringLiteral("decode"), QStringLiteral("one input at a time"));
    const auto zone = tz.value(QStringLiteral("decode"), p);
    if (!zone)
        return Exit::Usage;
    const auto shownUnits = units.value(QStringLiteral("decode"), p);
    if (!shownUnits)
        return Exit::Usage;
    const auto output = outputOption(QStringLiteral("decode"), p);
    if (!output)
        return Exit::Usage;

    const QString name = files.value(0, QStringLiteral("-"));
    const QString shown =
        name == QLatin1String("-") ? QStringLiteral("standard input") : quotedPath(name);
    RecordingInput in;
    if (!in.open(name)) {
        complain(QStringLiteral("cannot read %1: %2").arg(shown, in.errorString()));
        return Exit::Failed;
    }
    const auto readFailed = [&] {
        complain(QStringLiteral("cannot read %1: %2").arg(shown, in.errorString()));
        return Exit::Failed;
    };
    // Enough of the start to tell a recording from hexadecimal text or raw bytes.
    constexpr qsizetype kLook = 32;
    QByteArray head(kLook, '\0');
    qsizetype got = 0;
    for (qint64 n = 1; got < kLook && n > 0; got += std::max<qint64>(n, 0))
        if ((n = in.read(head.data() + got, kLook - got)) < 0)
            return readFailed();
    head.resize(got);

    FrameDecoder decoder(*zone);
    decoder.setUnits(*shownUnits);
    FramePrinter printer(*output, false);
    ProgressLine progress(shown, in.size());
    DamagedLines damaged;
    if (head.isEmpty() || looksLikeRecording(head)) {
        RecordingReader reader(in, head);
        if (!reader.readHeader()) {
            complain(QStringLiteral("%1: %2").arg(shown, reader.error()));
            return Exit::BadInput;
        }
        // Reading stops once the output cannot be written (a reader that has gone).
        for (auto item = reader.next(); item != RecordingReader::Item::End && !printer.failed();
             item = reader.next()) {
            if (item == RecordingReader::Item::Data)
                printer.print(decoder.feed(reader.bytes(), reader.timeMs()));
            progress.update(reader.bytesRead());
        }
        if (!reader.error().isEmpty())
            return readFailed();
        damaged = reader.damaged();
        if (reader.cutShort())
            complain(QStringLiteral("%1 ends in an incomplete line (the recording was "
                                    "interrupted); decoding up to it")
                         .arg(shown));
    } else if (p.isSet(hex)) {
        // Typed or pasted text, read whole: its errors name line and column.
        QByteArray data = head;
        char block[65536];
        for (qint64 n; (n = in.read(block, sizeof block)) != 0;) {
            if (n < 0)
                return readFailed();
            data.append(block, n);
        }
        const HexTextResult h = parseHexText(QString::fromUtf8(data));
        if (!h.ok()) {
            complain(QStringLiteral("%1 is not hexadecimal text: %2").arg(shown, h.error));
            return Exit::BadInput;
        }
        printer.print(decoder.feed(h.bytes));
    } else {
        printer.print(decoder.feed(head));
        QByteArray block(65536, '\0');
        qint64 done = head.size();
        for (qint64 n; !printer.failed() && (n = in.read(block.data(), block.size())) != 0;) {
            if (n < 0)
                return readFailed();
            printer.print(decoder.feed(QByteArray(block.constData(), n)));
            progress.update(done += n);
        }
    }
    if (decoder.midFrame())
        complain(QStringLiteral("the input ends inside a frame; its bytes so far are not shown"));
    return printer.finish(reportDamagedLines(shown, damaged));
}

int runMonitor(const QStringList &args)
{
    SubcommandParser sp(
        QStringLiteral("monitor"), QString(),
        QStringLiteral(
            "Decodes what the receiver sends, live, as decode does, until\n"
            "interrupted (Ctrl+C) or --duration has passed. Line events\n"
            "(\"ERR: Break\", \"ERR: RxParity\") are printed as the program logs them."));
    QCommandLineParser &p = sp.parser();
    const PortOptions po;
    po.addTo(p);
    const TimeZoneOption tz;
    const UnitsOption units;
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Stop after this many seconds."),
                                      QStringLiteral("SECONDS"));
    p.addOptions({kJson, kFix, tz.option, units.option, duration});
    if (const auto status = sp.parse(args))
        return *status;
    if (!p.positionalArguments().isEmpty())
        return usageError(QStringLiteral("monitor"),
                          QStringLiteral("unexpected argument \"%1\"")
                              .arg(quotedText(p.positionalArguments().first())));
    const auto zone = tz.value(QStringLiteral("monitor"), p);
    if (!zone)
        return Exit::Usage;
    const auto shownUnits = units.value(QStringLiteral("monitor"), p);
    if (!shownUnits)
        return Exit::Usage;
    const auto output = outputOption(QStringLiteral("monitor"), p);
    if (!output)
        return Exit::Usage;
    std::optional<double> seconds;
    if (p.isSet(duration) && !(seconds = secondsOption(p, duration)))
        return usageError(QStringLiteral("monitor"),
                          QStringLiteral("--duration wants a number of seconds above 0"));

    int status = Exit::Ok;
    auto port = openPort(QStringLiteral("monitor"), p, po, status);
    if (!port)
        return status;
    quitOnSignals();

    FrameDecoder decoder(*zone);
    decoder.setUnits(*shownUnits);
    FramePrinter printer(*output, true);
    QElapsedTimer clock;
    clock.start();
    // The program's own view of the link: silence and its end are told on standard
    // error, so that standard output stays the frames alone.
    const Clock linkClock;
    LinkState link(linkClock);
    link.opened(port->device());
    bool stale = false;
    QTimer staleCheck;
    QObject::connect(&staleCheck, &QTimer::timeout, [&] {
        if (link.stale() == stale)
            return;
        stale = !stale;
        complain(
            stale
                ? QStringLiteral("%1: %2").arg(quotedPath(port->device()), link.navText())
                : QStringLiteral("%1: navigation messages again").arg(quotedPath(port->device())));
    });
    staleCheck.start(250);
    QObject::connect(port.get(), &SerialPort::received, [&](const QByteArray &bytes) {
        const QList<DecodedFrame> frames =
            decoder.feed(bytes, clock.elapsed(), QDateTime::currentMSecsSinceEpoch());
        for (const DecodedFrame &f : frames)
            if (!f.bytes.isEmpty())
                link.frame(quint8(f.bytes[0]), f.good);
        printer.print(frames);
        if (printer.failed())
            QCoreApplication::quit();
    });
    QObject::connect(port.get(), &SerialPort::commEvent, [&](int code) {
        if (code != CommEvent::Receive)
            printer.print(decoder.lineEvent(code, clock.elapsed()));
    });
    QObject::connect(port.get(), &SerialPort::lost, [&] {
        link.lost();
        complain(QStringLiteral("%1 went away").arg(quotedPath(port->device())));
        status = Exit::Failed;
        QCoreApplication::quit();
    });
    if (seconds)
        QTimer::singleShot(int(*seconds * 1000), QCoreApplication::instance(),
                           &QCoreApplication::quit);
    QCoreApplication::exec();
    return printer.finish(status);
}
