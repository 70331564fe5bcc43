#include "cli.h"

#include "platform/ptylink.h"

#include "link/portmessage.h"
#include "platform/networkport.h"
#include "platform/qtserialport.h"
#include "platform/quotedtext.h"
#include "platform/selectingserialport.h"
#include "platform/settingsstore.h"
#include "platform/signalpipe.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

QString exitStatusHelp()
{
    return QStringLiteral("Exit status:\n"
                          "  0   done (monitor, record and nmea: stopped by Ctrl+C or SIGTERM)\n"
                          "  1   a device or file could not be opened, read or written\n"
                          "  2   send: no answer from the receiver within the time-out\n"
                          "  3   invalid input: bad hexadecimal text or a damaged recording\n"
                          "      (damaged lines are skipped and named; the rest is written)\n"
                          "  4   a value refused as the program's windows refuse it\n"
                          "  64  wrong command line\n"
                          "  130 send: interrupted (Ctrl+C) before the answer came; 143 for "
                          "SIGTERM\n");
}

void complain(const QString &text)
{
    std::fprintf(stderr, "kestrelctl: %s\n", qPrintable(text));
    std::fflush(stderr);
}

int usageError(const QString &command, const QString &text)
{
    complain(QStringLiteral("%1 (see: kestrelctl %2 --help)").arg(text, command));
    return Exit::Usage;
}

int reportDamagedLines(const QString &file, const DamagedLines &damaged)
{
    if (damaged.isEmpty())
        return Exit::Ok;
    complain(QStringLiteral("%1: %2 skipped; everything else was read")
                 .arg(quotedPath(file), damaged.countText()));
    for (const QString &line : damaged.text())
        complain(QStringLiteral("%1: %2").arg(quotedPath(file), line));
    return Exit::BadInput;
}

ProgressLine::ProgressLine(QString name, qint64 total)
    : m_name(std::move(name)), m_total(total), m_terminal(::isatty(STDERR_FILENO) == 1)
{
    // The tests shorten the wait to see that a pipe gets no progress at all.
    bool ok = false;
    m_delayMs = qEnvironmentVariableIntValue("KESTRELCTL_PROGRESS_AFTER_MS", &ok);
    if (!ok)
        m_delayMs = 1000;
    m_timer.start();
}

ProgressLine::~ProgressLine()
{
    if (m_shownMs >= 0)
        std::fputs("\r\x1b[K", stderr);
}

void ProgressLine::update(qint64 done)
{
    const qint64 now = m_timer.elapsed();
    if (!m_terminal || now < m_delayMs || (m_shownMs >= 0 && now - m_shownMs < 200))
        return;
    m_shownMs = now;
    std::fprintf(stderr, "\r%s\x1b[K", qPrintable(readingProgressText(m_name, done, m_total)));
    std::fflush(stderr);
}

SubcommandParser::SubcommandParser(QString command, QString arguments, QString description)
    : m_command(std::move(command)), m_arguments(std::move(arguments))
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
}

QString SubcommandParser::helpText() const
{
    QString text = m_parser.helpText();
    // Qt's first line names the program only; the subcommand and its arguments belong there.
    const qsizetype eol = text.indexOf(QLatin1Char('\n'));
    text.replace(
        0, eol,
        QStringLiteral("Usage: kestrelctl %1 [options] %2").arg(m_command, m_arguments).trimmed());
    return text + QLatin1Char('\n') + exitStatusHelp();
}

std::optional<int> SubcommandParser::parse(const QStringList &args)
{
    if (!m_parser.parse(args))
        return usageError(m_command, commandLineError(m_parser));
    if (m_parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(helpText()), stdout);
        return Exit::Ok;
    }
    return std::nullopt;
}

std::unique_ptr<SerialPort> openPort(const QString &command, QCommandLineParser &p,
                                     const PortOptions &o, int &status)
{
    const QString device = p.value(o.port);
    if (device.isEmpty()) {
        status = usageError(command, QStringLiteral("--port DEVICE is required"));
        return nullptr;
    }
    const auto settings = LineSettings::parse(p.value(o.settings));
    if (!settings) {
        status = usageError(command, QStringLiteral("--settings \"%1\" is not speed,parity,data,"
                                                    "stop like 9600,e,8,1")
                                         .arg(quotedText(p.value(o.settings))));
        return nullptr;
    }
    auto port = std::make_unique<SelectingSerialPort>(std::make_unique<QtSerialPort>());
    addNetworkPort(*port);
    port->setDevice(device);
    port->setSettings(settings->text());
    if (NetworkAddress::claims(device)) {
        if (!port->open() || !waitWhileOpening(*port)) {
            complain(
                QStringLiteral("cannot open %1: %2").arg(quotedPath(device), port->errorString()));
            status = Exit::Failed;
            return nullptr;
        }
        status = Exit::Ok;
        return port;
    }
    if (!port->open()) {
        complain(QStringLiteral("cannot open %1: %2. Check the device name and that no other "
                                "program holds it.")
                     .arg(quotedPath(device), port->errorString()));
        const DeviceAccess access = probeDeviceAccess(device);
        if (access.exists && access.refused)
            complain(portOpenAdvice(QString(), QString(), access));
        status = Exit::Failed;
        return nullptr;
    }
    status = Exit::Ok;
    return port;
}

std::optional<int> TimeZoneOption::value(const QString &command, QCommandLineParser &p) const
{
    if (!p.isSet(option))
        return storedTimeZone(SettingsStore(QStringLiteral("Kestrel")));
    if (p.value(option) == QLatin1String("computer"))
        return kComputerTimeZone;
    bool ok = false;
    const int v = p.value(option).toInt(&ok);
    if (!ok || v < 0 || v > 24) {
        usageError(command, QStringLiteral("--time-zone wants an index from 0 to 24 (12 is UTC) "
                                           "or \"computer\", not \"%1\"")
                                .arg(quotedText(p.value(option))));
        return std::nullopt;
    }
    return v;
}

std::optional<Units> UnitsOption::value(const QString &command, QCommandLineParser &p) const
{
    if (!p.isSet(option))
        return storedUnits(SettingsStore(QStringLiteral("Kestrel")));
    const auto units = unitsFromNames(p.value(option));
    if (!units)
        usageError(command, QStringLiteral("--units wants a list of dm, deg, dms, m, ft, kmh, kn, "
                                           "mph, ms, not \"%1\"")
                                .arg(quotedText(p.value(option))));
    return units;
}

std::optional<double> secondsOption(const QCommandLineParser &p, const QCommandLineOption &o)
{
    bool ok = false;
    const double v = p.value(o).toDouble(&ok);
    if (!ok || !(v > 0) || v > 1e6)
        return std::nullopt;
    return v;
}

bool quitOnSignals()
{
    if (!quitOnTerminationSignals())
        return false;
    // A reader that goes away (a closed pipe to head, a dropped client) is a write
    // error to handle, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool standardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

void StandardOutput::check(bool ok)
{
    // The reason is taken at once: by the end errno says something else.
    if (!ok && m_error == 0)
        m_error = errno ? errno : EIO;
}

bool StandardOutput::write(const QByteArray &bytes, bool flush)
{
    if (m_error)
        return false;
    errno = 0;
    check(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()));
    if (flush && !m_error)
        check(std::fflush(stdout) == 0);
    return !m_error;
}

int StandardOutput::finish(int status)
{
    if (!m_error) {
        errno = 0;
        check(std::fflush(stdout) == 0 && !std::ferror(stdout));
    }
    if (!m_error)
        return status;
    if (m_error == EPIPE)
        return Exit::Ok;
    complain(QStringLiteral("cannot write to standard output: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(m_error))));
    return Exit::Failed;
}

bool makeSymlink(const QString &link, const QString &target)
{
    QString error;
    if (!replaceSymlink(link, target, error)) {
        complain(error + QStringLiteral(". Choose another --link path."));
        return false;
    }
    return true;
}
