// nmea: an NMEA 0183 bridge from the receiver to a pseudo-terminal or TCP clients.

#include "cli.h"
#include "commands.h"

#include "decoders/framedecode.h"
#include "link/portreopener.h"
#include "platform/ptylink.h"
#include "platform/qtserialport.h"
#include "share/nmeaserver.h"
#include "share/nmeastream.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// --mode as the octal permission bits of the pseudo-terminal (660, 0666).
std::optional<mode_t> modeValue(const QString &text)
{
    static const QRegularExpression octal(QStringLiteral("^0?[0-7]{3}$"));
    if (!octal.match(text).hasMatch())
        return std::nullopt;
    return mode_t(text.toUInt(nullptr, 8));
}

// --group by name or number.
std::optional<gid_t> groupValue(const QString &text)
{
    if (const struct group *g = ::getgrnam(text.toLocal8Bit().constData()))
        return g->gr_gid;
    bool ok = false;
    const uint gid = text.toUInt(&ok);
    if (ok && ::getgrgid(gid_t(gid)))
        return gid_t(gid);
    return std::nullopt;
}

} // namespace

int runNmea(const QStringList &args)
{
    const QString cmd = QStringLiteral("nmea");
    SubcommandParser sp(
        cmd, QString(),
        QStringLiteral(
            "An NMEA 0183 bridge: from every navigation message it writes GGA, GSA,\n"
            "GSV, RMC and VTG sentences (talker GP, satellites from the last satellite\n"
            "message) to a pseudo-terminal reached through the symbolic link PATH, or to\n"
            "every TCP client of 127.0.0.1:PORT, until interrupted. gpsd, chrony or a\n"
            "chart plotter read them as from any NMEA receiver. Prints the terminal's\n"
            "path or the listening address first.\n"
            "\n"
            "Positions map directly: the receiver's DDMM.mmmm is NMEA's ddmm.mmmm. The\n"
            "receiver's speed is in km/h: VTG carries it as it is, RMC and VTG in knots\n"
            "as km/h / 1.852. Heights are metres above the receiver's datum (GGA).\n"
            "Without a 2D or 3D fix the position fields are empty and RMC says V.\n"
            "\n"
            "When the receiver goes away (unplugged, kestrel-sim ended) the terminal or\n"
            "the listener stays: the bridge tries the device again about once a second\n"
            "and goes on when it is back; readers see a gap, not a closed device."));
    QCommandLineParser &p = sp.parser();
    const PortOptions po;
    po.addTo(p);
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Write to a new pseudo-terminal and make PATH a symbolic link to it."),
        QStringLiteral("PATH"));
    const QCommandLineOption tcp(
        QStringLiteral("tcp"),
        QStringLiteral("Serve TCP clients on 127.0.0.1:PORT (loopback only; port 0 picks a "
                       "free one)."),
        QStringLiteral("127.0.0.1:PORT"));
    const QCommandLineOption echo(QStringLiteral("echo"),
                                  QStringLiteral("Also print every sentence on standard output."));
    const QCommandLineOption mode(
        QStringLiteral("mode"),
        QStringLiteral("With --link: the pseudo-terminal's permissions in octal, such as 660 "
                       "(default: the system's, usually 620)."),
        QStringLiteral("OCTAL"));
    const QCommandLineOption group(
        QStringLiteral("group"),
        QStringLiteral("With --link: the pseudo-terminal's group, such as dialout, so that "
                       "gpsd running as its own user can open it. You must belong to it."),
        QStringLiteral("GROUP"));
    p.addOptions({link, tcp, echo, mode, group});
    if (const auto status = sp.parse(args))
        return *status;
    if (!p.positionalArguments().isEmpty())
        return usageError(cmd, QStringLiteral("unexpected argument \"%1\"")
                                   .arg(quotedText(p.positionalArguments().first())));
    if (p.isSet(link) == p.isSet(tcp))
        return usageError(cmd, QStringLiteral("give one of --link PATH or --tcp 127.0.0.1:PORT"));

    if ((p.isSet(mode) || p.isSet(group)) && !p.isSet(link))
        return usageError(cmd, QStringLiteral("--mode and --group set the pseudo-terminal of "
                                              "--link PATH"));
    std::optional<mode_t> modeBits;
    if (p.isSet(mode) && !(modeBits = modeValue(p.value(mode))))
        return usageError(cmd, QStringLiteral("--mode wants permissions in octal such as 660, "
                                              "not \"%1\"")
                                   .arg(quotedText(p.value(mode))));
    std::optional<gid_t> groupId;
    if (p.isSet(group) && !(groupId = groupValue(p.value(group))))
        return usageError(cmd, QStringLiteral("--group: there is no group \"%1\" on this "
                                              "computer")
                                   .arg(quotedText(p.value(group))));
    LoopbackAddress address;
    if (p.isSet(tcp)) {
        QString error;
        const auto parsed = parseLoopbackAddress(p.value(tcp), error);
        if (!parsed)
            return usageError(cmd, QStringLiteral("--tcp: %1").arg(error));
        address = *parsed;
    }

    int status = Exit::Ok;
    auto port = openPort(cmd, p, po, status);
    if (!port)
        return status;

    PtyLink pty;
    NmeaServer server;
    const QString linkPath = p.value(link);
    if (p.isSet(link)) {
        if (!pty.open()) {
            complain(QStringLiteral("cannot open a pseudo-terminal: %1").arg(pty.errorString()));
            return Exit::Failed;
        }
        const QByteArray slave = QFile::encodeName(pty.slavePath());
        if (groupId && ::chown(slave.constData(), uid_t(-1), *groupId) != 0) {
            complain(QStringLiteral("cannot give %1 to group %2: %3. Only a group you belong "
                                    "to can be given (see: id).")
                         .arg(pty.slavePath(), quotedText(p.value(group)),
                              QString::fromLocal8Bit(std::strerror(errno))));
            return Exit::Failed;
        }
        if (modeBits && ::chmod(slave.constData(), *modeBits) != 0) {
            complain(QStringLiteral("cannot set the permissions of %1: %2")
                         .arg(pty.slavePath(), QString::fromLocal8Bit(std::strerror(errno))));
            return Exit::Failed;
        }
        if (!makeSymlink(linkPath, pty.slavePath()))
            return Exit::Failed;
        std::printf("%s\n", qPrintable(pty.slavePath()));
    } else {
        if (!server.listen(address)) {
            complain(QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(address.host)
                         .arg(address.port)
                         .arg(server.errorString()));
            return Exit::Failed;
        }
        std::printf("%s:%u\n", qPrintable(address.host), unsigned(server.port()));
    }
    std::fflush(stdout);
    quitOnSignals();

    const bool echoing = p.isSet(echo);
    // A new decoder for every reopening: the bytes of a frame cut off by the loss
    // belong to no frame of the new stream.
    auto decoder = std::make_unique<FrameDecoder>(12, FrameDecoder::Texts::Skipped);
    NmeaStream stream;
    QObject::connect(port.get(), &SerialPort::received, [&](const QByteArray &bytes) {
        for (const DecodedFrame &f : decoder->feed(bytes)) {
            if (!f.good)
                continue;
            const QByteArray out = stream.frame(f.bytes);
            if (out.isEmpty())
                continue;
            if (pty.isOpen())
                pty.write(out);
            else
                server.send(out);
            if (echoing) {
                std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
                std::fflush(stdout);
            }
        }
    });
    QObject::connect(&server, &NmeaServer::clientDropped, [](const QString &why) {
        complain(QStringLiteral("a client was dropped: %1").arg(why));
    });
    PortReopener reopener(*port);
    QObject::connect(&reopener, &PortReopener::lost, [&] {
        complain(QStringLiteral("%1 went away; trying it again about once a second")
                     .arg(quotedPath(port->device())));
    });
    QObject::connect(&reopener, &PortReopener::reopened, [&] {
        decoder = std::make_unique<FrameDecoder>(12, FrameDecoder::Texts::Skipped);
        complain(QStringLiteral("%1 is back").arg(quotedPath(port->device())));
    });
    QCoreApplication::exec();
    if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    return status;
}
