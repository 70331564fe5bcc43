#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// An address to serve NMEA on, from «127.0.0.1:PORT», «[::1]:PORT» or
// «localhost:PORT». Only this computer's own (loopback) addresses are taken: the
// sentences tell where the user is. On refusal `error` says why.
struct LoopbackAddress {
    // The address as numbers: "127.0.0.1", "::1".
    QString host;
    quint16 port = 0;

    static LoopbackAddress localHost(quint16 port) { return {QStringLiteral("127.0.0.1"), port}; }
};
std::optional<LoopbackAddress> parseLoopbackAddress(const QString &text, QString &error);

// NMEA sentences to every TCP client connected to a loopback address. Writing never
// waits: a client that stops reading is dropped once more than backlogLimit() bytes
// wait for it, so its backlog cannot grow without end nor slow whoever sends.
//
// Plain sockets watched by the event loop: the program serves a few local clients
// and nothing else, and Qt's network module would add about 1.5 MB of libraries to
// every run, sharing or not.
class NmeaServer : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultBacklog = 64 * 1024;
    // A few lines of a client's greeting or a keep-alive pass; a stream does not.
    static constexpr qint64 kInputPerSecond = 4 * 1024;

    explicit NmeaServer(QObject *parent = nullptr);
    ~NmeaServer() override;

    bool listen(const LoopbackAddress &address);
    void close();
    bool isListening() const { return m_listener >= 0; }
    // Why the last listen() failed.
    QString errorString() const { return m_error; }
    QString address() const { return m_address.host; }
    quint16 port() const { return m_address.port; }

    void send(const QByteArray &bytes);

    int clientCount() const { return int(m_clients.size()); }
    // Bytes given to send() that the system has not taken yet, all clients.
    qint64 queuedBytes() const;
    qint64 backlogLimit() const { return m_backlog; }
    void setBacklogLimit(qint64 bytes) { m_backlog = bytes; }

signals:
    // Why, in a few words: «stopped reading», «sent 70 kB in a second».
    void clientDropped(const QString &why);

private:
    struct Client;

    void accept();
    // Hands the client's waiting bytes to the system; false when the client is gone.
    bool flush(Client &c);
    void remove(Client *c);
    void readFrom(Client *c);

    int m_listener = -1;
    QSocketNotifier *m_accepting = nullptr;
    LoopbackAddress m_address;
    QString m_error;
    std::vector<std::unique_ptr<Client>> m_clients;
    qint64 m_backlog = kDefaultBacklog;
    // Where clients' input is read to and thrown away.
    QByteArray m_discard;
};
