// kestrelctl: the receiver from the command line, with the program's own framer,
// decoders and encoder: decode, monitor, send, record, and an NMEA 0183 bridge.

#include "about/abouttexts.h"
#include "cli.h"
#include "commands.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

struct Subcommand {
    const char *name;
    int (*run)(const QStringList &);
    const char *summary;
};

constexpr Subcommand kSubcommands[] = {
    {"decode", runDecode, "decode a raw capture, a recording or hexadecimal text"},
    {"monitor", runMonitor, "decode what the receiver sends, live"},
    {"send", runSend, "send a command or request and print the answer"},
    {"record", runRecord, "save the receiver's byte stream with arrival times"},
    {"nmea", runNmea, "NMEA 0183 bridge to a pseudo-terminal or TCP clients"},
    {"export", runExport, "a recording as GPX, KML, CSV or NMEA"},
    {"stats", runStats, "fixes, time to first fix and accuracy figures of a recording"},
};

QString usage()
{
    QString text = QStringLiteral("Usage: kestrelctl SUBCOMMAND [options] [arguments]\n\n"
                                  "The GPS receiver board from the command line.\n\n"
                                  "Subcommands:\n");
    for (const Subcommand &s : kSubcommands)
        text += QStringLiteral("  %1 %2\n")
                    .arg(QLatin1String(s.name), -9)
                    .arg(QLatin1String(s.summary));
    text += QStringLiteral("\nkestrelctl SUBCOMMAND --help tells more.\n\n") + exitStatusHelp();
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));

    // Output to a reader that has gone (… | head) is a write error each subcommand
    // handles, ending quietly, not a signal that kills the process.
    ::signal(SIGPIPE, SIG_IGN);
    // So is a file that reaches the user's size limit (ulimit -f).
    ::signal(SIGXFSZ, SIG_IGN);

    const QStringList args = app.arguments();
    const QString first = args.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        std::fputs(qPrintable(usage()), stdout);
        return Exit::Ok;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        std::printf("%s\n", qPrintable(programVersionLine(QStringLiteral("kestrelctl"))));
        return Exit::Ok;
    }
    for (const Subcommand &s : kSubcommands)
        if (first == QLatin1String(s.name))
            return s.run(args.mid(1));
    if (first.isEmpty())
        complain(QStringLiteral(
            "which subcommand? decode, monitor, send, record, nmea, export or stats"));
    else
        complain(QStringLiteral("unknown subcommand \"%1\"").arg(quotedText(first)));
    std::fputs(qPrintable(usage()), stderr);
    return Exit::Usage;
}
