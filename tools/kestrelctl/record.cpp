// record: the receiver's raw byte stream with arrival times, to a recording file.

#include "cli.h"
#include "commands.h"

#include "link/framer.h"
#include "platform/qtserialport.h"
#include "recording/recording.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

int runRecord(const QStringList &args)
{
    const QString cmd = QStringLiteral("record");
    SubcommandParser sp(
        cmd, QString(),
        QStringLiteral(
            "Saves every byte the receiver sends, with its arrival time, to a recording\n"
            "until interrupted (Ctrl+C) or --duration has passed. Each burst of bytes is\n"
            "written and flushed as it arrives, so an interrupted recording reads back up\n"
            "to its last line. Decode it with kestrelctl decode, play it back with\n"
            "kestrel-sim --replay. An existing file is overwritten.\n"
            "\n"
            "Format: text. The first line is \"KESTREL RECORDING 1\"; lines starting with #\n"
            "are comments (how the recording was made, line events); every other line is\n"
            "the arrival time in milliseconds since the start, a blank, and the bytes in\n"
            "hexadecimal."));
    QCommandLineParser &p = sp.parser();
    const PortOptions po;
    po.addTo(p);
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The recording file."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Stop after this many seconds."),
                                      QStringLiteral("SECONDS"));
    const QCommandLineOption comment(QStringLiteral("comment"),
                                     QStringLiteral("A line for the header (repeatable)."),
                                     QStringLiteral("TEXT"));
    p.addOptions({out, duration, comment});
    if (const auto status = sp.parse(args))
        return *status;
    if (!p.positionalArguments().isEmpty())
        return usageError(cmd, QStringLiteral("unexpected argument \"%1\"")
                                   .arg(quotedText(p.positionalArguments().first())));
    if (p.value(out).isEmpty())
        return usageError(cmd, QStringLiteral("--out FILE is required"));
    std::optional<double> seconds;
    if (p.isSet(duration) && !(seconds = secondsOption(p, duration)))
        return usageError(cmd, QStringLiteral("--duration wants a number of seconds above 0"));

    int status = Exit::Ok;
    auto port = openPort(cmd, p, po, status);
    if (!port)
        return status;

    QFile file(p.value(out));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        complain(QStringLiteral("cannot write %1: %2")
                     .arg(quotedPath(file.fileName()), file.errorString()));
        return Exit::Failed;
    }
    RecordingWriter writer(file);
    QStringList header = {
        QStringLiteral("made by: kestrelctl %1").arg(args.join(QLatin1Char(' '))),
        QStringLiteral("started: %1")
            .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)),
        QStringLiteral("port: %1 %2").arg(port->device(), port->Settings()),
    };
    header += p.values(comment);
    if (!writer.writeHeader(header)) {
        complain(QStringLiteral("cannot write %1: %2")
                     .arg(quotedPath(file.fileName()), writer.errorString()));
        // A file without its whole header is no recording: nothing is left behind.
        // (By name: QFile::remove keeps a file whose closing flush failed.)
        file.close();
        QFile::remove(file.fileName());
        return Exit::Failed;
    }
    quitOnSignals();

    QElapsedTimer clock;
    clock.start();
    const auto failWrite = [&] {
        complain(QStringLiteral("cannot write %1: %2. The recording holds what came before.")
                     .arg(quotedPath(file.fileName()), writer.errorString()));
        status = Exit::Failed;
        QCoreApplication::quit();
    };
    QObject::connect(port.get(), &SerialPort::received, [&](const QByteArray &bytes) {
        if (status != Exit::Ok)
            return;
        if (!writer.writeChunk(clock.elapsed(), bytes))
            failWrite();
    });
    QObject::connect(port.get(), &SerialPort::commEvent, [&](int code) {
        if (code == CommEvent::Receive || status != Exit::Ok)
            return;
        // Line events are kept as comments: the format's data is the bytes alone.
        if (!writer.writeComment(
                QStringLiteral("%1 ms: %2").arg(clock.elapsed()).arg(lineEventText(code))))
            failWrite();
    });
    QObject::connect(port.get(), &SerialPort::lost, [&] {
        complain(QStringLiteral("%1 went away; the recording holds everything before.")
                     .arg(quotedPath(port->device())));
        status = Exit::Failed;
        QCoreApplication::quit();
    });
    // Writes into a deleted file succeed; only its link count tells.
    QTimer watch;
    watch.callOnTimeout([&] {
        if (status != Exit::Ok || !writer.fileDeleted())
            return;
        complain(QStringLiteral("%1 was deleted while recording; nothing of the recording is left")
                     .arg(quotedPath(file.fileName())));
        status = Exit::Failed;
        QCoreApplication::quit();
    });
    watch.start(1000);
    if (seconds)
        QTimer::singleShot(int(*seconds * 1000), QCoreApplication::instance(),
                           &QCoreApplication::quit);
    QCoreApplication::exec();
    port->close();
    file.close();
    const qint64 total = writer.dataBytes();
    if (status == Exit::Ok || total > 0)
        complain(QStringLiteral("recorded %1 bytes to %2")
                     .arg(QString::number(total), quotedPath(file.fileName())));
    return status;
}
