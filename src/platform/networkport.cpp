#include "platform/networkport.h"

#include "platform/quotedtext.h"
#include "platform/selectingserialport.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kTcp = QStringLiteral("tcp://");
// The longest COM-PORT-OPTION answer is five bytes; a peer that never ends its
// subnegotiation fills no memory beyond this.
constexpr qsizetype kLongestSubnegotiation = 64;
const QString kRfc2217 = QStringLiteral("rfc2217://");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The socket addresses of host:port, each as its bytes; `numericOnly` asks nothing of
// a name server, so it answers at once.
QList<QByteArray> resolve(const QString &host, quint16 port, bool numericOnly, QString &error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo *found = nullptr;
    const int rc = ::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(),
                                 &hints, &found);
    QList<QByteArray> addresses;
    if (rc != 0) {
        error = QString::fromLocal8Bit(::gai_strerror(rc));
        return addresses;
    }
    for (addrinfo *a = found; a; a = a->ai_next)
        addresses.append(
            QByteArray(reinterpret_cast<const char *>(a->ai_addr), int(a->ai_addrlen)));
    ::freeaddrinfo(found);
    return addresses;
}

quint8 parityCode(char parity)
{
    switch (parity) {
    case 'o':
        return 2;
    case 'e':
        return 3;
    case 'm':
        return 4;
    case 's':
        return 5;
    default:
        return 1;
    }
}

QByteArray comPortCommand(quint8 command, const QByteArray &value)
{
    QByteArray bytes;
    bytes.append(char(Telnet::Iac)).append(char(Telnet::Sb)).append(char(Telnet::ComPort));
    bytes.append(char(command)).append(Telnet::escape(value));
    bytes.append(char(Telnet::Iac)).append(char(Telnet::Se));
    return bytes;
}

QByteArray telnetCommand(quint8 verb, quint8 option)
{
    const char bytes[] = {char(Telnet::Iac), char(verb), char(option)};
    return QByteArray(bytes, 3);
}

} // namespace

bool NetworkAddress::claims(const QString &device)
{
    return device.startsWith(kTcp, Qt::CaseInsensitive) ||
           device.startsWith(kRfc2217, Qt::CaseInsensitive);
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &device, QString &error)
{
    NetworkAddress a;
    QString rest;
    if (device.startsWith(kTcp, Qt::CaseInsensitive)) {
        rest = device.mid(kTcp.size());
    } else if (device.startsWith(kRfc2217, Qt::CaseInsensitive)) {
        a.kind = Kind::Rfc2217;
        rest = device.mid(kRfc2217.size());
    } else {
        error = QStringLiteral("«%1» is no network address: write tcp://HOST:PORT or "
                               "rfc2217://HOST:PORT")
                    .arg(quotedText(device));
        return std::nullopt;
    }
    const QString form = device.left(device.size() - rest.size()) + QStringLiteral("HOST:PORT");
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        error = QStringLiteral("«%1» has no port: write %2").arg(quotedText(device), form);
        return std::nullopt;
    }
    a.host = rest.left(colon);
    // An IPv6 address in brackets, as in «tcp://[::1]:2000».
    if (a.host.startsWith(QLatin1Char('[')) && a.host.endsWith(QLatin1Char(']')))
        a.host = a.host.mid(1, a.host.size() - 2);
    if (a.host.isEmpty()) {
        error = QStringLiteral("«%1» has no host: write %2").arg(quotedText(device), form);
        return std::nullopt;
    }
    if (a.host.contains(QLatin1Char('/')) || a.host.contains(QLatin1Char(' '))) {
        error = QStringLiteral("«%1» is not a host name or address").arg(quotedText(a.host));
        return std::nullopt;
    }
    const QString portText = rest.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || !portText.at(0).isDigit()) {
        error = QStringLiteral("«%1» is no port number: the port is a number from 1 to 65535")
                    .arg(quotedText(portText));
        return std::nullopt;
    }
    a.port = quint16(port);
    return a;
}

QByteArray Telnet::escape(const QByteArray &data)
{
    if (!data.contains(char(Iac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (char c : data) {
        out.append(c);
        if (quint8(c) == Iac)
            out.append(c);
    }
    return out;
}

QByteArray Telnet::Reader::feed(const QByteArray &bytes, QList<Command> &commands)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (char ch : bytes) {
        const quint8 c = quint8(ch);
        switch (m_state) {
        case State::Data:
            if (c == Iac)
                m_state = State::Iac;
            else
                data.append(ch);
            break;
        case State::Iac:
            if (c == Iac) {
                data.append(ch);
                m_state = State::Data;
            } else if (c == Sb || (c >= Will && c <= Dont)) {
                m_current = Command{c, 0, {}};
                m_state = State::Verb;
            } else {
                // Two-byte commands (NOP, go-ahead, break...) carry nothing for a receiver.
                m_state = State::Data;
            }
            break;
        case State::Verb:
            m_current.option = c;
            if (m_current.verb == Sb) {
                m_state = State::Sub;
            } else {
                commands.append(m_current);
                m_state = State::Data;
            }
            break;
        case State::Sub:
            if (c == Iac)
                m_state = State::SubIac;
            else if (m_current.payload.size() < kLongestSubnegotiation)
                m_current.payload.append(ch);
            break;
        case State::SubIac:
            if (c == Se) {
                commands.append(m_current);
                m_state = State::Data;
            } else {
                // IAC IAC inside a subnegotiation is one 255; anything else is taken as is.
                if (m_current.payload.size() < kLongestSubnegotiation)
                    m_current.payload.append(ch);
                m_state = State::Sub;
            }
            break;
        }
    }
    return data;
}

// The lookup of a host name runs on a thread of its own, since the system's resolver
// blocks; the port may be gone when it ends, so the answer goes only to a port still there.
struct NetworkPort::Lookup {
    std::mutex mutex;
    NetworkPort *owner = nullptr;
};

NetworkPort::NetworkPort(QObject *parent) : SerialPort(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        switch (m_state) {
        case State::Looking:
            fail(QStringLiteral("cannot find the host %1 within %2 s")
                     .arg(quotedText(m_address.host), QString::number(m_answerMs / 1000.0)));
            break;
        case State::Connecting:
            fail(QStringLiteral("no answer from %1 within %2 s")
                     .arg(where(), QString::number(m_answerMs / 1000.0)));
            break;
        case State::Negotiating:
            fail(QStringLiteral("%1 did not answer the line settings within %2 s; for a port "
                                "served raw write tcp://")
                     .arg(where(), QString::number(m_answerMs / 1000.0)));
            break;
        default:
            break;
        }
    });
}

NetworkPort::~NetworkPort()
{
    close();
}

bool NetworkPort::opening() const
{
    return m_state == State::Looking || m_state == State::Connecting ||
           m_state == State::Negotiating;
}

bool NetworkPort::isSerialLine() const
{
    return device().startsWith(kRfc2217, Qt::CaseInsensitive);
}

QString NetworkPort::where() const
{
    const QString name = quotedText(m_address.host);
    const QString host = m_address.host.contains(QLatin1Char(':')) ? u'[' + name + u']' : name;
    return host + u':' + QString::number(m_address.port);
}

bool NetworkPort::open()
{
    close();
    m_error.clear();
    QString error;
    const auto address = NetworkAddress::parse(systemName(), error);
    if (!address) {
        m_error = error;
        return false;
    }
    m_address = *address;
    if (m_address.kind == NetworkAddress::Kind::Rfc2217) {
        const auto line = LineSettings::parse(Settings());
        if (!line) {
            m_error = QStringLiteral("invalid line settings «%1»").arg(quotedText(Settings()));
            return false;
        }
        m_line = *line;
    }
    m_reader = {};
    m_answered.clear();
    m_unanswered.clear();
    m_deadline.start(m_answerMs);
    ++m_generation;

    // An address written as numbers needs no name server.
    QString numericError;
    const QList<QByteArray> numeric = resolve(m_address.host, m_address.port, true, numericError);
    if (!numeric.isEmpty()) {
        connectTo(numeric);
        return true;
    }
    m_state = State::Looking;
    m_lookup = std::make_shared<Lookup>();
    m_lookup->owner = this;
    std::thread([lookup = m_lookup, host = m_address.host, port = m_address.port,
                 generation = m_generation] {
        QString error;
        const QList<QByteArray> found = resolve(host, port, false, error);
        const std::lock_guard<std::mutex> lock(lookup->mutex);
        if (NetworkPort *owner = lookup->owner) {
            QMetaObject::invokeMethod(
                owner,
                [owner, generation, found, error] { owner->onLookedUp(generation, found, error); },
                Qt::QueuedConnection);
        }
    }).detach();
    return true;
}

void NetworkPort::onLookedUp(quint64 generation, const QList<QByteArray> &addresses,
                             const QString &error)
{
    if (generation != m_generation || m_state != State::Looking)
        return;
    if (addresses.isEmpty()) {
        fail(QStringLiteral("cannot find the host %1: %2").arg(quotedText(m_address.host), error));
        return;
    }
    connectTo(addresses);
}

void NetworkPort::connectTo(const QList<QByteArray> &addresses)
{
    m_state = State::Connecting;
    m_candidates = addresses;
    m_lastConnectError.clear();
    tryNextAddress();
}

void NetworkPort::tryNextAddress()
{
    dropSocket();
    while (!m_candidates.isEmpty()) {
        const QByteArray address = m_candidates.takeFirst();
        const auto *sa = reinterpret_cast<const sockaddr *>(address.constData());
        m_fd = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
        if (m_fd < 0) {
            m_lastConnectError = systemError(errno);
            continue;
        }
        // Frames are small and each should go at once, as on a serial line.
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(m_fd, sa, socklen_t(address.size())) == 0 || errno == EINPROGRESS) {
            m_writeNote = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Write, this);
            connect(m_writeNote, &QSocketNotifier::activated, this, &NetworkPort::onWritable);
            return;
        }
        m_lastConnectError = systemError(errno);
        dropSocket();
    }
    fail(QStringLiteral("cannot connect to %1: %2").arg(where(), m_lastConnectError));
}

void NetworkPort::onConnected()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        m_lastConnectError = systemError(error);
        tryNextAddress();
        return;
    }
    m_writeNote->setEnabled(false);
    m_readNote = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_readNote, &QSocketNotifier::activated, this, &NetworkPort::onReadable);
    if (m_address.kind == NetworkAddress::Kind::Raw) {
        becomeOpen();
        return;
    }
    m_state = State::Negotiating;
    // Eight-bit data both ways, and the far side's serial line under our control.
    QByteArray offer = telnetCommand(Telnet::Will, Telnet::ComPort);
    offer += telnetCommand(Telnet::Will, Telnet::Binary);
    offer += telnetCommand(Telnet::Do, Telnet::Binary);
    m_answered = {quint16(Telnet::Will << 8 | Telnet::ComPort),
                  quint16(Telnet::Will << 8 | Telnet::Binary),
                  quint16(Telnet::Do << 8 | Telnet::Binary)};
    sendRaw(offer);
}

void NetworkPort::becomeOpen()
{
    m_state = State::Open;
    m_deadline.stop();
    flush();
    if (m_state == State::Open)
        emit established();
}

void NetworkPort::onReadable()
{
    char buffer[16384];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            fail(QStringLiteral("connection to %1 lost: %2").arg(where(), systemError(errno)));
        return;
    }
    if (n == 0) {
        fail(m_reader.midCommand()
                 ? QStringLiteral("%1 closed the connection in the middle of a telnet command")
                       .arg(where())
                 : QStringLiteral("%1 closed the connection").arg(where()));
        return;
    }
    const QByteArray bytes(buffer, int(n));
    if (m_address.kind == NetworkAddress::Kind::Raw) {
        emit received(bytes);
        return;
    }
    QList<Telnet::Reader::Command> commands;
    const QByteArray data = m_reader.feed(bytes, commands);
    if (!data.isEmpty())
        emit received(data);
    if (m_fd >= 0)
        onCommands(commands);
}

void NetworkPort::onCommands(const QList<Telnet::Reader::Command> &commands)
{
    const auto answer = [this](quint8 verb, quint8 option) {
        const quint16 key = quint16(verb << 8 | option);
        if (m_answered.contains(key))
            return;
        m_answered.append(key);
        sendRaw(telnetCommand(verb, option));
    };
    for (const Telnet::Reader::Command &c : commands) {
        if (m_fd < 0)
            return;
        const bool wanted = c.option == Telnet::Binary || c.option == Telnet::SuppressGoAhead;
        switch (c.verb) {
        case Telnet::Do:
            if (c.option == Telnet::ComPort) {
                if (m_state == State::Negotiating && m_unanswered.isEmpty()) {
                    m_unanswered = {Telnet::SetBaud, Telnet::SetDataSize, Telnet::SetParity,
                                    Telnet::SetStopSize};
                    const quint32 speed = quint32(m_line.speed);
                    const char big[] = {char(speed >> 24), char(speed >> 16), char(speed >> 8),
                                        char(speed)};
                    sendRaw(comPortCommand(Telnet::SetBaud, QByteArray(big, 4)));
                    sendRaw(
                        comPortCommand(Telnet::SetDataSize, QByteArray(1, char(m_line.dataBits))));
                    sendRaw(comPortCommand(Telnet::SetParity,
                                           QByteArray(1, char(parityCode(m_line.parity)))));
                    sendRaw(
                        comPortCommand(Telnet::SetStopSize, QByteArray(1, char(m_line.stopBits))));
                }
            } else {
                answer(wanted ? Telnet::Will : Telnet::Wont, c.option);
            }
            break;
        case Telnet::Dont:
            if (c.option == Telnet::ComPort) {
                fail(QStringLiteral("%1 refuses to take line settings (no RFC 2217 there); for "
                                    "a port served raw write tcp://")
                         .arg(where()));
                return;
            }
            break;
        case Telnet::Will:
            answer(wanted ? Telnet::Do : Telnet::Dont, c.option);
            break;
        case Telnet::Sb:
            if (c.option == Telnet::ComPort)
                onComPortAnswer(c.payload);
            break;
        default:
            break;
        }
    }
}

void NetworkPort::onComPortAnswer(const QByteArray &payload)
{
    if (payload.isEmpty())
        return;
    const quint8 code = quint8(payload.at(0));
    if (code <= Telnet::kServerOffset)
        return;
    const quint8 command = quint8(code - Telnet::kServerOffset);
    // Notices of line and modem state, and answers to nothing we asked, change nothing.
    if (!m_unanswered.contains(command))
        return;
    const QByteArray value = payload.mid(1);
    const qsizetype size = command == Telnet::SetBaud ? 4 : 1;
    if (value.size() != size) {
        fail(QStringLiteral("%1 answered the line settings with a malformed reply").arg(where()));
        return;
    }
    QString asked, got;
    switch (command) {
    case Telnet::SetBaud: {
        const quint32 speed = quint32(quint8(value[0])) << 24 | quint32(quint8(value[1])) << 16 |
                              quint32(quint8(value[2])) << 8 | quint32(quint8(value[3]));
        if (speed != quint32(m_line.speed)) {
            asked = QStringLiteral("%1 bits per second").arg(m_line.speed);
            got = QStringLiteral("%1").arg(speed);
        }
        break;
    }
    case Telnet::SetDataSize:
        if (quint8(value[0]) != m_line.dataBits) {
            asked = QStringLiteral("%1 data bits").arg(m_line.dataBits);
            got = QString::number(quint8(value[0]));
        }
        break;
    case Telnet::SetParity:
        if (quint8(value[0]) != parityCode(m_line.parity)) {
            asked = QStringLiteral("parity %1").arg(QChar(m_line.parity));
            got = QStringLiteral("code %1").arg(quint8(value[0]));
        }
        break;
    case Telnet::SetStopSize:
        if (quint8(value[0]) != m_line.stopBits) {
            asked = QStringLiteral("%1 stop bits").arg(m_line.stopBits);
            got = QStringLiteral("code %1").arg(quint8(value[0]));
        }
        break;
    default:
        break;
    }
    if (!asked.isEmpty()) {
        fail(QStringLiteral("%1 did not take %2 (it answered %3)").arg(where(), asked, got));
        return;
    }
    m_unanswered.removeOne(command);
    if (m_unanswered.isEmpty() && m_state == State::Negotiating)
        becomeOpen();
}

bool NetworkPort::Output(const QByteArray &bytes, const void *owner)
{
    if (m_state == State::Closed)
        return false;
    m_waiting.push_back(
        {m_address.kind == NetworkAddress::Kind::Rfc2217 ? Telnet::escape(bytes) : bytes, owner});
    if (m_state == State::Open)
        flush();
    return true;
}

void NetworkPort::sendRaw(const QByteArray &bytes)
{
    m_control += bytes;
    flush();
}

void NetworkPort::flush()
{
    if (m_fd < 0 || m_state == State::Connecting || m_state == State::Looking)
        return;
    const auto put = [this](const char *data, qsizetype size) -> qsizetype {
        const ssize_t n = ::send(m_fd, data, size_t(size), MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return 0;
        fail(QStringLiteral("connection to %1 lost: %2").arg(where(), systemError(errno)));
        return -1;
    };
    while (!m_control.isEmpty()) {
        const qsizetype n = put(m_control.constData(), m_control.size());
        if (n < 0)
            return;
        m_control.remove(0, n);
        if (!m_control.isEmpty()) {
            m_writeNote->setEnabled(true);
            return;
        }
    }
    // Data waits until the far side has taken the line settings.
    while (m_state == State::Open && !m_waiting.empty()) {
        Outgoing &front = m_waiting.front();
        const qsizetype n =
            put(front.bytes.constData() + front.sent, front.bytes.size() - front.sent);
        if (n < 0)
            return;
        front.sent += n;
        if (front.sent < front.bytes.size()) {
            m_writeNote->setEnabled(true);
            return;
        }
        m_waiting.pop_front();
    }
    m_writeNote->setEnabled(false);
}

void NetworkPort::onWritable()
{
    if (m_state == State::Connecting)
        onConnected();
    else
        flush();
}

bool NetworkPort::outputPending(const void *owner) const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(),
                       [owner](const Outgoing &o) { return o.owner == owner; });
}

void NetworkPort::dropWaiting(const void *owner)
{
    // A frame begun stays: half a frame on the line would spoil the next one.
    std::erase_if(m_waiting,
                  [owner](const Outgoing &o) { return o.owner == owner && o.sent == 0; });
}

qint64 NetworkPort::bytesWaiting() const
{
    qint64 n = 0;
    for (const Outgoing &o : m_waiting)
        n += o.bytes.size() - o.sent;
    return n;
}

void NetworkPort::fail(const QString &why)
{
    m_error = why;
    close();
    emit lost();
}

void NetworkPort::dropSocket()
{
    // The notifiers may be the ones whose signal brought us here.
    for (QSocketNotifier **note : {&m_readNote, &m_writeNote}) {
        if (*note) {
            (*note)->setEnabled(false);
            (*note)->deleteLater();
            *note = nullptr;
        }
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void NetworkPort::close()
{
    if (m_lookup) {
        const std::lock_guard<std::mutex> lock(m_lookup->mutex);
        m_lookup->owner = nullptr;
    }
    m_lookup.reset();
    m_deadline.stop();
    dropSocket();
    m_candidates.clear();
    m_control.clear();
    m_waiting.clear();
    m_unanswered.clear();
    m_state = State::Closed;
}

void addNetworkPort(SelectingSerialPort &port)
{
    port.addClaimingDevice(&NetworkAddress::claims, std::make_unique<NetworkPort>());
}
