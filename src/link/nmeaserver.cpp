#include "nmeaserver.h"

#include <QTcpSocket>

std::optional<LoopbackAddress> parseLoopbackAddress(const QString &text, QString &error)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("127.0.0.1");
    bool ok = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    const QHostAddress address(host);
    if (!ok || port > 65535 || address.isNull()) {
        error = QStringLiteral("\"%1\" is not an address like 127.0.0.1:PORT").arg(text);
        return std::nullopt;
    }
    if (!address.isLoopback()) {
        error = QStringLiteral("NMEA is served to this computer only: use a loopback address "
                               "such as 127.0.0.1, not %1")
                    .arg(host);
        return std::nullopt;
    }
    return LoopbackAddress{address, quint16(port)};
}

NmeaServer::NmeaServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &NmeaServer::accept);
}

bool NmeaServer::listen(const LoopbackAddress &address)
{
    if (!address.host.isLoopback())
        return false;
    return m_server.listen(address.host, address.port);
}

void NmeaServer::close()
{
    m_server.close();
    for (const QPointer<QTcpSocket> &s : std::as_const(m_clients))
        if (s)
            s->abort();
    m_clients.clear();
}

void NmeaServer::accept()
{
    while (QTcpSocket *s = m_server.nextPendingConnection()) {
        s->setParent(this);
        // The system's own buffer is kept small, so that a stalled client shows in
        // bytesToWrite soon instead of after megabytes.
        s->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(m_backlog));
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        // What a client says is of no interest.
        connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        m_clients.append(s);
    }
}

void NmeaServer::send(const QByteArray &bytes)
{
    m_clients.removeAll(nullptr);
    for (const QPointer<QTcpSocket> &s : std::as_const(m_clients)) {
        if (s->state() != QAbstractSocket::ConnectedState)
            continue;
        if (s->bytesToWrite() + bytes.size() > m_backlog) {
            s->abort();
            s->deleteLater();
            emit clientDropped();
            continue;
        }
        s->write(bytes);
    }
    m_clients.removeAll(nullptr);
}

int NmeaServer::clientCount() const
{
    int n = 0;
    for (const QPointer<QTcpSocket> &s : m_clients)
        n += s && s->state() == QAbstractSocket::ConnectedState;
    return n;
}

qint64 NmeaServer::queuedBytes() const
{
    qint64 n = 0;
    for (const QPointer<QTcpSocket> &s : m_clients)
        if (s)
            n += s->bytesToWrite();
    return n;
}
