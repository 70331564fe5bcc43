// kestrel-sim: the simulated receiver on a pseudo-terminal, for trying Kestrel (or
// any program written for the board) without the hardware.

#include "about/abouttexts.h"
#include "platform/clock.h"
#include "platform/ptylink.h"
#include "platform/quotedtext.h"
#include "platform/signalpipe.h"
#include "recording/recordingreader.h"
#include "replay.h"
#include "sim/simulatedport.h"
#include "sim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void fail(const QString &text)
{
    std::fprintf(stderr, "kestrel-sim: %s\n", qPrintable(text));
}

// A chance given as a number from 0 to 1.
bool readRate(const QCommandLineParser &parser, const QCommandLineOption &option, double &out)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    out = parser.value(option).toDouble(&ok);
    if (!ok || out < 0 || out > 1) {
        fail(QStringLiteral("--%1 wants a chance from 0 to 1, not «%2»")
                 .arg(option.names().first(), quotedText(parser.value(option))));
        return false;
    }
    return true;
}

// Makes `link` a symbolic link to `target`; an old symbolic link there is replaced,
// anything else is left alone.
bool makeLink(const QString &link, const QString &target)
{
    QString error;
    if (!replaceSymlink(link, target, error)) {
        fail(error);
        return false;
    }
    return true;
}

QString typeText(quint8 t)
{
    return QStringLiteral("%1").arg(t, 2, 16, QLatin1Char('0')).toUpper();
}

// Plays a recording instead of simulating: 0 when interrupted after it, 1 when the
// terminal cannot be had, 2 for a bad file or speed.
int replay(QCoreApplication &app, const QString &file, const QString &speedText,
           const QString &link)
{
    bool ok = false;
    const double speed = speedText.toDouble(&ok);
    if (!ok || !(speed > 0) || speed > 1000) {
        fail(QStringLiteral("--speed wants a factor above 0 and at most 1000, not «%1»")
                 .arg(quotedText(speedText)));
        return 2;
    }
    const QString shown = quotedPath(file);
    // Read line by line, and stopped by Ctrl+C or SIGTERM even while a FIFO is silent.
    RecordingInput in;
    in.setCancel(terminationSignalPending);
    if (!in.open(file)) {
        fail(QStringLiteral("cannot read %1: %2").arg(shown, in.errorString()));
        return 2;
    }
    RecordingReader reader(in);
    if (!reader.readHeader()) {
        if (terminationSignalPending())
            return 0;
        fail(QStringLiteral("%1 is not a recording (make one with kestrelctl record): %2")
                 .arg(shown, reader.error()));
        return 2;
    }
    ReplayLines lines;
    for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next())
        if (item == RecordingReader::Item::Data)
            lines.append(reader.timeMs(), reader.bytes());
    if (terminationSignalPending())
        return 0;
    if (!reader.error().isEmpty()) {
        fail(QStringLiteral("cannot read %1: %2").arg(shown, reader.error()));
        return 2;
    }
    if (reader.cutShort())
        fail(QStringLiteral("%1 ends in an incomplete line; playing up to it").arg(shown));
    if (!reader.damaged().isEmpty()) {
        fail(QStringLiteral("%1: %2 skipped; playing everything else")
                 .arg(shown, reader.damaged().countText()));
        for (const QString &line : reader.damaged().text())
            fail(QStringLiteral("%1: %2").arg(shown, line));
    }

    Replay player(std::move(lines), speed);
    if (!player.open()) {
        fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(player.errorString()));
        return 1;
    }
    if (!link.isEmpty() && !makeLink(link, player.slavePath()))
        return 1;
    QObject::connect(&player, &Replay::finished, [](qint64 bytes) {
        std::fprintf(stderr, "kestrel-sim: replay finished, %lld bytes\n", qlonglong(bytes));
        std::fflush(stderr);
    });
    player.start();
    std::printf("%s\n", qPrintable(player.slavePath()));
    std::fflush(stdout);
    const int rc = app.exec();
    if (!link.isEmpty() && QFileInfo(link).isSymLink())
        ::unlink(QFile::encodeName(link).constData());
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated GPS receiver board on a pseudo-terminal. Prints the terminal's path;\n"
        "open it as the serial port (kestrel --port PATH). Runs until interrupted."));
    parser.addHelpOption();
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("Displays version information."));
    parser.addOption(versionOption);
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make PATH a symbolic link to it."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"),
        QStringLiteral("Navigation and satellite messages per second (default 1; 0 for none)."),
        QStringLiteral("HZ"), QStringLiteral("1"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Line speed in bits per second for the "
                                                       "8 data bits, even parity, 1 stop bit "
                                                       "framing (default 9600)."),
                                        QStringLiteral("SPEED"), QStringLiteral("9600"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the fault generator (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption garbageOption(
        QStringLiteral("garbage"), QStringLiteral("Chance of noise bytes before a frame (0..1)."),
        QStringLiteral("P"));
    const QCommandLineOption corruptOption(
        QStringLiteral("corrupt"), QStringLiteral("Chance of a frame with a bad checksum (0..1)."),
        QStringLiteral("P"));
    const QCommandLineOption truncateOption(QStringLiteral("truncate"),
                                            QStringLiteral("Chance of a frame cut short (0..1)."),
                                            QStringLiteral("P"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print every command received."));
    const QCommandLineOption replayOption(
        QStringLiteral("replay"),
        QStringLiteral("Instead of simulating, play a recording (kestrelctl record) into the "
                       "terminal with its recorded timing, from the moment a program opens it; "
                       "then keep the terminal open until interrupted."),
        QStringLiteral("FILE"));
    const QCommandLineOption speedOption(
        QStringLiteral("speed"),
        QStringLiteral("With --replay: play this many times faster (default 1; 0.5 is slower)."),
        QStringLiteral("FACTOR"), QStringLiteral("1"));
    const QCommandLineOption staticOption(
        QStringLiteral("static"),
        QStringLiteral("A receiver standing still at LAT,LON,H (decimal degrees, metres), its "
                       "fixes scattered by a few metres as a real antenna's are (drawn from "
                       "--seed), instead of one driving a circle."),
        QStringLiteral("LAT,LON,H"));
    parser.addOptions({staticOption});
    parser.addOptions({linkOption, rateOption, baudOption, seedOption, garbageOption, corruptOption,
                       truncateOption, verboseOption, replayOption, speedOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        fail(commandLineError(parser));
        return 1;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(versionOption)) {
        std::printf("%s\n", qPrintable(programVersionLine(QStringLiteral("kestrel-sim"))));
        return 0;
    }

    SimulatorOptions options;
    bool ok = false;
    const double rate = parser.value(rateOption).toDouble(&ok);
    if (!ok || rate < 0 || rate > 100) {
        fail(QStringLiteral("--rate wants messages per second from 0 to 100"));
        return 2;
    }
    options.intervalMs = rate > 0 ? std::max(10, int(1000.0 / rate + 0.5)) : 0;
    const int baud = parser.value(baudOption).toInt(&ok);
    if (!ok || baud < 50 || baud > 4000000) {
        fail(QStringLiteral("--baud wants a line speed from 50 to 4000000"));
        return 2;
    }
    options.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok) {
        fail(QStringLiteral("--seed wants a whole number from 0 to 4294967295"));
        return 2;
    }
    if (!readRate(parser, garbageOption, options.garbageRate) ||
        !readRate(parser, corruptOption, options.corruptRate) ||
        !readRate(parser, truncateOption, options.truncateRate))
        return 2;
    if (parser.isSet(staticOption)) {
        QString error;
        options.stationary = parseStaticPosition(parser.value(staticOption), error);
        if (!options.stationary) {
            fail(error);
            return 2;
        }
    }

    if (!quitOnTerminationSignals()) {
        fail(QStringLiteral("cannot create a pipe"));
        return 1;
    }

    if (parser.isSet(replayOption))
        return replay(app, parser.value(replayOption), parser.value(speedOption),
                      parser.value(linkOption));

    PtyLink pty;
    if (!pty.open()) {
        fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(pty.errorString()));
        return 1;
    }
    const QString link = parser.value(linkOption);
    if (!link.isEmpty() && !makeLink(link, pty.slavePath()))
        return 1;

    Clock clock;
    Simulator sim(clock, options);
    SimulatorLine line(sim, clock);
    line.setLineSettings(LineSettings{baud, 'e', 8, 1});
    const bool verbose = parser.isSet(verboseOption);
    QObject::connect(&pty, &PtyLink::received, &line, [&](const QByteArray &bytes) {
        const qsizetype before = sim.commandsReceived().size();
        line.input(bytes);
        if (!verbose)
            return;
        for (qsizetype i = before; i < sim.commandsReceived().size(); ++i)
            std::printf("received %s\n", qPrintable(typeText(sim.commandsReceived()[i])));
        std::fflush(stdout);
    });
    QObject::connect(&line, &SimulatorLine::output, &pty,
                     [&](const QByteArray &bytes) { pty.write(bytes); });
    // The receiver talks only while a program has the terminal open: one that opens it
    // gets the next message, not the backlog of the time before.
    QObject::connect(&pty, &PtyLink::readerChanged, &line, [&](bool present) {
        if (present)
            line.start();
        else
            line.stop();
    });

    std::printf("%s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);

    const int rc = app.exec();

    line.stop();
    pty.close();
    if (!link.isEmpty() && QFileInfo(link).isSymLink())
        ::unlink(QFile::encodeName(link).constData());
    const SimulatorRecord &r = sim.record();
    std::fprintf(stderr, "kestrel-sim: sent %d frames (%d intact, %d damaged, %lld noise bytes)\n",
                 int(r.frames.size()), r.intact(), r.damaged(), qlonglong(r.garbageBytes));
    return rc;
}
