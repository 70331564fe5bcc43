#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <optional>

class QTcpSocket;

// An address to serve NMEA on, from «127.0.0.1:PORT», «[::1]:PORT» or
// «localhost:PORT». Only this computer's own (loopback) addresses are taken: the
// sentences tell where the user is. On refusal `error` says why.
struct LoopbackAddress {
    QHostAddress host;
    quint16 port = 0;
};
std::optional<LoopbackAddress> parseLoopbackAddress(const QString &text, QString &error);

// NMEA sentences to every TCP client connected to a loopback address. Writing never
// waits: a client that stops reading is dropped once more than backlogLimit() bytes
// wait for it, so its backlog cannot grow without end nor slow whoever sends.
class NmeaServer : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultBacklog = 64 * 1024;

    explicit NmeaServer(QObject *parent = nullptr);

    bool listen(const LoopbackAddress &address);
    void close();
    bool isListening() const { return m_server.isListening(); }
    QString errorString() const { return m_server.errorString(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }

    void send(const QByteArray &bytes);

    int clientCount() const;
    // Bytes written to clients that have not gone out to the system yet, all clients.
    qint64 queuedBytes() const;
    qint64 backlogLimit() const { return m_backlog; }
    void setBacklogLimit(qint64 bytes) { m_backlog = bytes; }

signals:
    void clientDropped();

private:
    void accept();

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_clients;
    qint64 m_backlog = kDefaultBacklog;
};
