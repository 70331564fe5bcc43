#include "share/nmeaserver.h"

#include "platform/quotedtext.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Either kind of socket address, as bind() and getsockname() take it.
union SocketAddress {
    sockaddr any;
    sockaddr_in v4;
    sockaddr_in6 v6;
};

// The address in numbers, or nothing when the text is no IPv4 or IPv6 address.
std::optional<SocketAddress> numericAddress(const QString &host, quint16 port)
{
    const QByteArray text = host.toLatin1();
    SocketAddress a{};
    if (::inet_pton(AF_INET, text.constData(), &a.v4.sin_addr) == 1) {
        a.v4.sin_family = AF_INET;
        a.v4.sin_port = htons(port);
        return a;
    }
    if (::inet_pton(AF_INET6, text.constData(), &a.v6.sin6_addr) == 1) {
        a.v6.sin6_family = AF_INET6;
        a.v6.sin6_port = htons(port);
        return a;
    }
    return std::nullopt;
}

bool isLoopback(const SocketAddress &a)
{
    if (a.any.sa_family == AF_INET)
        return (ntohl(a.v4.sin_addr.s_addr) >> 24) == 127;
    const in6_addr &v6 = a.v6.sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return v6.s6_addr[12] == 127;
    return IN6_IS_ADDR_LOOPBACK(&v6);
}

QString numbersText(const SocketAddress &a)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (a.any.sa_family == AF_INET)
        ::inet_ntop(AF_INET, &a.v4.sin_addr, text, sizeof text);
    else
        ::inet_ntop(AF_INET6, &a.v6.sin6_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

socklen_t lengthOf(const SocketAddress &a)
{
    return a.any.sa_family == AF_INET ? sizeof a.v4 : sizeof a.v6;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

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
    const std::optional<SocketAddress> address = numericAddress(host, 0);
    if (!ok || port > 65535 || !address) {
        error =
            QStringLiteral("\"%1\" is not an address like 127.0.0.1:PORT").arg(quotedText(text));
        return std::nullopt;
    }
    if (!isLoopback(*address)) {
        error = QStringLiteral("NMEA is served to this computer only: use a loopback address "
                               "such as 127.0.0.1, not %1")
                    .arg(quotedText(host));
        return std::nullopt;
    }
    return LoopbackAddress{numbersText(*address), quint16(port)};
}

struct NmeaServer::Client {
    int fd = -1;
    // What the system has not taken yet, oldest first.
    QByteArray waiting;
    // Bytes the client sent since inputSince (a monotonic clock, ms).
    qint64 input = 0;
    qint64 inputSince = 0;
    // Children of the server, deleted later: a client may go from inside the
    // handler of one of its own notifiers.
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;

    ~Client()
    {
        for (QSocketNotifier *n : {readable, writable}) {
            if (n) {
                n->setEnabled(false);
                n->deleteLater();
            }
        }
        if (fd >= 0)
            ::close(fd);
    }
};

NmeaServer::NmeaServer(QObject *parent) : QObject(parent) {}

NmeaServer::~NmeaServer()
{
    close();
}

bool NmeaServer::listen(const LoopbackAddress &address)
{
    close();
    std::optional<SocketAddress> a = numericAddress(address.host, address.port);
    if (!a || !isLoopback(*a)) {
        m_error = QStringLiteral("%1 is no loopback address").arg(quotedText(address.host));
        return false;
    }
    const int fd = ::socket(a->any.sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    // A port served a moment ago can be served again at once.
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    socklen_t length = lengthOf(*a);
    if (::bind(fd, &a->any, length) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, &a->any, &length) != 0) {
        m_error = systemError(errno);
        ::close(fd);
        return false;
    }
    m_listener = fd;
    m_address = {numbersText(*a),
                 ntohs(a->any.sa_family == AF_INET ? a->v4.sin_port : a->v6.sin6_port)};
    m_error.clear();
    m_accepting = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_accepting, &QSocketNotifier::activated, this, &NmeaServer::accept);
    return true;
}

void NmeaServer::close()
{
    m_clients.clear();
    delete m_accepting;
    m_accepting = nullptr;
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
    m_address = {};
}

void NmeaServer::accept()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors the waiting client stays waiting, and the listener would
            // wake the program again at once: it waits a second before trying again.
            if (errno == EMFILE || errno == ENFILE) {
                m_accepting->setEnabled(false);
                QTimer::singleShot(1000, m_accepting, [n = m_accepting] { n->setEnabled(true); });
            }
            return;
        }
        // The system's own buffer is kept small, so that a stalled client shows in
        // queuedBytes soon instead of after megabytes.
        const int size = int(std::min<qint64>(m_backlog, 1 << 30));
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        auto c = std::make_unique<Client>();
        c->fd = fd;
        Client *client = c.get();
        // What a client says is of no interest; reading tells when it has gone.
        c->readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        c->inputSince = QDeadlineTimer::current().deadline();
        connect(c->readable, &QSocketNotifier::activated, this,
                [this, client] { readFrom(client); });
        c->writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        c->writable->setEnabled(false);
        connect(c->writable, &QSocketNotifier::activated, this, [this, client] {
            if (!flush(*client))
                remove(client);
        });
        m_clients.push_back(std::move(c));
    }
}

void NmeaServer::readFrom(Client *c)
{
    // One large read a wake-up: a client that writes fast costs few wake-ups before it
    // is found out.
    constexpr qsizetype kPiece = 64 * 1024;
    if (m_discard.size() < kPiece)
        m_discard.resize(kPiece);
    const ssize_t n = ::recv(c->fd, m_discard.data(), size_t(kPiece), MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        remove(c);
        return;
    }
    if (n < 0)
        return;
    const qint64 now = QDeadlineTimer::current().deadline();
    if (now - c->inputSince >= 1000) {
        c->inputSince = now;
        c->input = 0;
    }
    c->input += n;
    if (c->input > kInputPerSecond) {
        const qint64 said = c->input;
        remove(c);
        emit clientDropped(QStringLiteral("it sent %1 bytes within a second, and a client of "
                                          "the NMEA share has nothing to send")
                               .arg(said));
    }
}

bool NmeaServer::flush(Client &c)
{
    while (!c.waiting.isEmpty()) {
        const ssize_t n =
            ::send(c.fd, c.waiting.constData(), size_t(c.waiting.size()), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            return false;
        }
        c.waiting.remove(0, qsizetype(n));
    }
    c.writable->setEnabled(!c.waiting.isEmpty());
    return true;
}

void NmeaServer::remove(Client *c)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [c](const std::unique_ptr<Client> &p) { return p.get() == c; });
    if (it == m_clients.end())
        return;
    m_clients.erase(it);
}

void NmeaServer::send(const QByteArray &bytes)
{
    std::vector<Client *> dropped, gone;
    for (const std::unique_ptr<Client> &c : m_clients) {
        if (c->waiting.size() + bytes.size() > m_backlog) {
            dropped.push_back(c.get());
            continue;
        }
        c->waiting += bytes;
        if (!flush(*c))
            gone.push_back(c.get());
    }
    for (Client *c : gone)
        remove(c);
    for (Client *c : dropped) {
        remove(c);
        emit clientDropped(
            QStringLiteral("it stopped reading (%1 bytes waited for it)").arg(m_backlog));
    }
}

qint64 NmeaServer::queuedBytes() const
{
    qint64 n = 0;
    for (const std::unique_ptr<Client> &c : m_clients)
        n += c->waiting.size();
    return n;
}
