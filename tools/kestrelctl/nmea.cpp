// nmea: an NMEA 0183 bridge from the receiver to a pseudo-terminal or TCP clients.

#include "cli.h"
#include "commands.h"

#include "decoders/framedecode.h"
#include "decoders/nmea.h"
#include "link/messagetypes.h"
#include "platform/ptylink.h"
#include "platform/qtserialport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace {

// A client that has not read this much is not reading; it is dropped rather than
// letting its backlog grow without end.
constexpr qint64 kClientBacklog = 256 * 1024;

// Sentences to every connected client on a loopback address.
class NmeaServer : public QObject {
public:
    bool listen(const QHostAddress &address, quint16 port)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                // What a client says is of no interest to the bridge.
                connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
                m_clients.append(s);
            }
        });
        return m_server.listen(address, port);
    }
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.serverPort(); }

    void send(const QByteArray &bytes)
    {
        m_clients.removeAll(nullptr);
        for (const QPointer<QTcpSocket> &s : std::as_const(m_clients)) {
            if (s->state() != QAbstractSocket::ConnectedState)
                continue;
            if (s->bytesToWrite() > kClientBacklog)
                s->abort();
            else
                s->write(bytes);
        }
    }

private:
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_clients;
};

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
            "Without a 2D or 3D fix the position fields are empty and RMC says V."));
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
    p.addOptions({link, tcp, echo});
    if (const auto status = sp.parse(args))
        return *status;
    if (!p.positionalArguments().isEmpty())
        return usageError(
            cmd, QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first()));
    if (p.isSet(link) == p.isSet(tcp))
        return usageError(cmd, QStringLiteral("give one of --link PATH or --tcp 127.0.0.1:PORT"));

    QHostAddress address;
    quint16 tcpPort = 0;
    if (p.isSet(tcp)) {
        const QString spec = p.value(tcp);
        const qsizetype colon = spec.lastIndexOf(QLatin1Char(':'));
        QString host = spec.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
            host = QStringLiteral("127.0.0.1");
        bool ok = false;
        const uint portValue = colon > 0 ? spec.mid(colon + 1).toUInt(&ok) : 0;
        address = QHostAddress(host);
        if (!ok || portValue > 65535 || address.isNull())
            return usageError(cmd,
                              QStringLiteral("--tcp wants 127.0.0.1:PORT, not \"%1\"").arg(spec));
        if (!address.isLoopback())
            return usageError(cmd, QStringLiteral("the bridge serves this computer only: use a "
                                                  "loopback address such as 127.0.0.1, not %1")
                                       .arg(host));
        tcpPort = quint16(portValue);
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
        if (!makeSymlink(linkPath, pty.slavePath()))
            return Exit::Failed;
        std::printf("%s\n", qPrintable(pty.slavePath()));
    } else {
        if (!server.listen(address, tcpPort)) {
            complain(QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(address.toString())
                         .arg(tcpPort)
                         .arg(server.errorString()));
            return Exit::Failed;
        }
        std::printf("%s:%u\n", qPrintable(address.toString()), unsigned(server.port()));
    }
    std::fflush(stdout);
    quitOnSignals();

    const bool echoing = p.isSet(echo);
    FrameDecoder decoder(12);
    QList<NmeaSatellite> satellites;
    bool haveSatellites = false;
    QObject::connect(port.get(), &SerialPort::received, [&](const QByteArray &bytes) {
        for (const DecodedFrame &f : decoder.feed(bytes)) {
            if (!f.good)
                continue;
            const quint8 type = quint8(f.bytes.at(0));
            if (type == Msg::Satellites) {
                satellites = nmeaSatellitesFromFrame(f.bytes);
                haveSatellites = true;
            } else if (type == Msg::Navigation) {
                QByteArray out;
                for (const QByteArray &s :
                     nmeaSentences(nmeaFixFromFrame(f.bytes), satellites, haveSatellites))
                    out += s;
                if (pty.isOpen())
                    pty.write(out);
                else
                    server.send(out);
                if (echoing) {
                    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
                    std::fflush(stdout);
                }
            }
        }
    });
    QObject::connect(port.get(), &SerialPort::lost, [&] {
        complain(QStringLiteral("%1 went away").arg(port->device()));
        status = Exit::Failed;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    return status;
}
