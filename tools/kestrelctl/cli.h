#pragma once

#include "link/units.h"
#include "platform/quotedtext.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class SerialPort;
struct DamagedLines;

// What kestrelctl's exit status means; every subcommand's --help lists it.
namespace Exit {
enum : int {
    Ok = 0,
    // A device or file could not be opened, read or written, or the device went away.
    Failed = 1,
    // send: the receiver did not answer within the time-out.
    TimedOut = 2,
    // The input is not what it claims: invalid hexadecimal text, a damaged recording
    // (everything readable in it is still written first).
    BadInput = 3,
    // A value the windows refuse too (a set-time field above FF, a height out of range).
    Refused = 4,
    // The command line itself is wrong: unknown subcommand or option, missing argument.
    Usage = 64,
    // send: interrupted before the answer came, by signal N: 128 + N, as shells say
    // (130 for Ctrl+C, 143 for SIGTERM).
    Interrupted = 128,
};
}

QString exitStatusHelp();

// Messages go to standard error as «kestrelctl: text».
void complain(const QString &text);
int usageError(const QString &command, const QString &text);
// Names the damaged lines passed over in `file`, after everything else is written;
// the status to end with: BadInput when there were any, so scripts learn of them.
int reportDamagedLines(const QString &file, const DamagedLines &damaged);

// «reading trip.krec: 42 %» on standard error while a long file is read, once it has
// taken a second, and only when standard error is a terminal; cleared at the end.
class ProgressLine {
public:
    ProgressLine(QString name, qint64 total);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;
    void update(qint64 done);

private:
    QString m_name;
    qint64 m_total;
    bool m_terminal;
    qint64 m_delayMs;
    QElapsedTimer m_timer;
    qint64 m_shownMs = -1;
};

// A subcommand's parser with --help; parse() reports its own errors.
class SubcommandParser {
public:
    SubcommandParser(QString command, QString arguments, QString description);

    QCommandLineParser &parser() { return m_parser; }
    // Ok to go on; otherwise the status to exit with (after printing help or the error).
    std::optional<int> parse(const QStringList &args);
    QString helpText() const;

private:
    QString m_command;
    QString m_arguments;
    QCommandLineParser m_parser;
};

// Options shared by the subcommands that talk to the receiver.
struct PortOptions {
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Serial device of the receiver (/dev/ttyUSB0, "
                                           "a pseudo-terminal of kestrel-sim), or one on "
                                           "the network: tcp://HOST:PORT, rfc2217://HOST:PORT."),
                            QStringLiteral("DEVICE")};
    QCommandLineOption settings{QStringLiteral("settings"),
                                QStringLiteral("Line settings speed,parity,data,stop "
                                               "(default 9600,e,8,1)."),
                                QStringLiteral("SETTINGS"), QStringLiteral("9600,e,8,1")};
    void addTo(QCommandLineParser &p) const { p.addOptions({port, settings}); }
};

// Opens the receiver's port from --port and --settings; nullptr after complaining.
// `status` gets the exit status then.
std::unique_ptr<SerialPort> openPort(const QString &command, QCommandLineParser &p,
                                     const PortOptions &o, int &status);

// --time-zone as the main window's time-zone index 0..24 (local = UTC + index - 12),
// or "computer" for the computer's zone; without it the zone saved by the program, or
// its default.
struct TimeZoneOption {
    QCommandLineOption option{QStringLiteral("time-zone"),
                              QStringLiteral("Time-zone index 0..24 as in the program's Time "
                                             "Zone menu: local time is UTC + INDEX - 12 hours "
                                             "(12 is UTC); \"computer\" for the computer's "
                                             "zone. Default: the zone the program saved."),
                              QStringLiteral("INDEX")};
    std::optional<int> value(const QString &command, QCommandLineParser &p) const;
};

// --units for the main window's texts (View, Units); without it the units the program
// saved. JSON values are not touched.
struct UnitsOption {
    QCommandLineOption option{
        QStringLiteral("units"),
        QStringLiteral("Units of the main window's position, height and speed texts, as in "
                       "the program's View, Units: a comma-separated list of dm (degrees and "
                       "minutes), deg (decimal degrees), dms; m, ft; kmh, kn, mph, ms. "
                       "Default: the units the program saved. JSON values keep theirs."),
        QStringLiteral("LIST")};
    std::optional<Units> value(const QString &command, QCommandLineParser &p) const;
};

// A duration in seconds from an option: a finite number above 0.
std::optional<double> secondsOption(const QCommandLineParser &p, const QCommandLineOption &o);

// Ctrl+C, SIGTERM and SIGHUP end the event loop in the normal way.
bool quitOnSignals();

// Whether standard output is a terminal: someone reads each frame as it comes.
bool standardOutputIsTerminal();

// Standard output with every write checked.
class StandardOutput {
public:
    // False once a write has failed: nothing more need be made for it.
    bool write(const QByteArray &bytes, bool flush = false);
    bool failed() const { return m_error != 0; }
    // Flushes what is left and says how the command ends. A reader that has gone
    // (… | head) took what it wanted: status 0, quietly. Any other failure (a full
    // disk) is told, with status Exit::Failed. Otherwise `status`.
    int finish(int status);

private:
    void check(bool ok);

    int m_error = 0; // errno of the first failed write
};

// Makes `link` a symbolic link to `target`, replacing an old symbolic link there and
// refusing to replace anything else.
bool makeSymlink(const QString &link, const QString &target);
