// What a hostile RFC 2217 server can send: first through the telnet reader alone, torn
// into reads of every size, then through a real network port on a loopback connection,
// whose answers the far side reads back.
#include "fuzzcheck.h"
#include "platform/networkport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdint>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Telnet::Reader;

// The most a subnegotiation may hold in memory; the longest answer a COM-PORT-OPTION
// server gives (its code and four bytes of speed) has to fit whole.
constexpr qsizetype kHeldPayload = 64;
constexpr qsizetype kLongestAnswer = 5;

// The stream cut up at once, with the whole of it in view: the meaning RFC 854 gives the
// bytes, written apart from the reader, which only ever sees one byte after another.
struct Parsed {
    QByteArray data;
    QList<Reader::Command> commands;
    bool open = false; // the stream ends inside a command
};

Parsed parse(const QByteArray &s)
{
    Parsed p;
    const auto at = [&s](qsizetype i) { return quint8(s[i]); };
    qsizetype i = 0;
    while (i < s.size()) {
        if (at(i) != Telnet::Iac) {
            p.data.append(s[i++]);
            continue;
        }
        if (i + 1 >= s.size()) {
            p.open = true;
            break;
        }
        const quint8 verb = at(i + 1);
        if (verb == Telnet::Iac) {
            p.data.append(s[i + 1]);
            i += 2;
        } else if (verb >= Telnet::Will && verb <= Telnet::Dont) {
            if (i + 2 >= s.size()) {
                p.open = true;
                break;
            }
            p.commands.append({verb, at(i + 2), {}});
            i += 3;
        } else if (verb == Telnet::Sb) {
            if (i + 2 >= s.size()) {
                p.open = true;
                break;
            }
            Reader::Command c{verb, at(i + 2), {}};
            qsizetype j = i + 3;
            bool ended = false;
            while (j < s.size() && !ended) {
                if (at(j) != Telnet::Iac) {
                    c.payload.append(s[j++]);
                } else if (j + 1 >= s.size()) {
                    break;
                } else if (at(j + 1) == Telnet::Se) {
                    ended = true;
                    j += 2;
                } else {
                    c.payload.append(s[j + 1]);
                    j += 2;
                }
            }
            if (!ended) {
                p.open = true;
                break;
            }
            p.commands.append(c);
            i = j;
        } else {
            i += 2; // NOP, go-ahead, break: nothing follows them
        }
    }
    return p;
}

void checkSameCommand(const Reader::Command &got, const Reader::Command &meant)
{
    FUZZ_CHECK(got.verb == meant.verb && got.option == meant.option);
    FUZZ_CHECK(got.payload.size() <= kHeldPayload);
    FUZZ_CHECK(meant.payload.startsWith(got.payload));
    if (meant.payload.size() <= kLongestAnswer)
        FUZZ_CHECK(got.payload == meant.payload);
}

// Every data byte the reader gives is one the peer sent: no value comes out more often
// than it went in.
void checkNothingInvented(const QByteArray &in, const QByteArray &out)
{
    int counts[256] = {};
    for (char c : in)
        ++counts[quint8(c)];
    for (char c : out)
        FUZZ_CHECK(--counts[quint8(c)] >= 0);
}

void checkReader(const QByteArray &stream, quint8 cut)
{
    const Parsed meant = parse(stream);
    Reader reader;
    QByteArray data;
    QList<Reader::Command> commands;
    // Reads of 1 to 8 bytes in turn, as a slow link delivers them, or the whole at once.
    qsizetype size = cut % 8;
    for (qsizetype at = 0; at < stream.size(); at += size) {
        size = cut >= 128 ? stream.size() : size % 8 + 1;
        data += reader.feed(stream.mid(at, size), commands);
    }
    FUZZ_CHECK(data == meant.data);
    checkNothingInvented(stream, data);
    FUZZ_CHECK(commands.size() == meant.commands.size());
    for (qsizetype i = 0; i < commands.size(); ++i)
        checkSameCommand(commands[i], meant.commands[i]);
    FUZZ_CHECK(reader.midCommand() == meant.open);

    // A subnegotiation that never ends holds no more than its bound: 16 KiB of the
    // peer's bytes, escaped, after which the next data byte still comes through.
    constexpr qsizetype kEndless = 16384;
    Reader endless;
    const QByteArray unit = stream.isEmpty() ? QByteArray("x") : stream;
    QByteArray body = unit.repeated(kEndless / unit.size() + 1);
    body.truncate(kEndless);
    QList<Reader::Command> sub;
    const QByteArray head{"\xff\xfa\x2c", 3};
    FUZZ_CHECK(endless.feed(head + Telnet::escape(body), sub).isEmpty() && sub.isEmpty());
    FUZZ_CHECK(endless.midCommand());
    FUZZ_CHECK(endless.feed(QByteArray("\xff\xf0ok", 4), sub) == "ok");
    FUZZ_CHECK(sub.size() == 1 && sub[0].verb == Telnet::Sb && sub[0].option == Telnet::ComPort);
    FUZZ_CHECK(sub[0].payload.size() <= kHeldPayload && body.startsWith(sub[0].payload));
}

// A loopback listener standing in for the hostile server, the same for every input.
struct Listener {
    int fd = -1;
    quint16 port = 0;
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        FUZZ_CHECK(::bind(fd, reinterpret_cast<sockaddr *>(&a), length) == 0);
        FUZZ_CHECK(::listen(fd, 4) == 0);
        FUZZ_CHECK(::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0);
        port = ntohs(a.sin_port);
    }
};

bool readable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

// Everything the client sends until it closes.
QByteArray readToEnd(int fd)
{
    QByteArray got;
    char buffer[4096];
    while (readable(fd, 2000)) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, qsizetype(n));
    }
    return got;
}

struct Line {
    const char *text;
    quint32 speed;
    quint8 dataBits, parity, stopBits; // parity as RFC 2217 numbers it
};
constexpr Line kLines[] = {{"9600,e,8,1", 9600, 8, 3, 1},
                           {"115200,n,8,1", 115200, 8, 1, 1},
                           {"4800,o,7,2", 4800, 7, 2, 2},
                           {"16777471,s,5,1", 16777471, 5, 5, 1}};

// The client's answers after its opening offer: only whole telnet commands, each an
// answer to something the peer said, none given twice, and the line settings as chosen.
void checkAnswers(const QByteArray &sent, const Parsed &peer, const Line &line)
{
    const Parsed answers = parse(sent);
    FUZZ_CHECK(!answers.open && answers.data.isEmpty());
    const auto peerSaid = [&peer](quint8 verb, quint8 option) {
        for (const Reader::Command &c : peer.commands)
            if (c.verb == verb && c.option == option)
                return true;
        return false;
    };
    QList<quint16> seen;
    int settings = 0;
    for (const Reader::Command &c : answers.commands) {
        const quint16 key = quint16(c.verb << 8 | c.option);
        FUZZ_CHECK(!seen.contains(key) || c.verb == Telnet::Sb);
        seen.append(key);
        switch (c.verb) {
        case Telnet::Will:
        case Telnet::Wont:
            FUZZ_CHECK(peerSaid(Telnet::Do, c.option));
            // The offer already said WILL for these two.
            FUZZ_CHECK(c.option != Telnet::ComPort && c.option != Telnet::Binary);
            // Only what the receiver's byte stream can honour is agreed to.
            FUZZ_CHECK(c.verb == Telnet::Wont || c.option == Telnet::SuppressGoAhead);
            break;
        case Telnet::Do:
        case Telnet::Dont:
            FUZZ_CHECK(peerSaid(Telnet::Will, c.option));
            FUZZ_CHECK(c.option != Telnet::Binary || c.verb == Telnet::Dont);
            FUZZ_CHECK(c.verb == Telnet::Dont || c.option == Telnet::SuppressGoAhead);
            break;
        case Telnet::Sb: {
            FUZZ_CHECK(c.option == Telnet::ComPort && peerSaid(Telnet::Do, Telnet::ComPort));
            FUZZ_CHECK(c.payload.size() >= 2);
            const quint8 command = quint8(c.payload[0]);
            const QByteArray value = c.payload.mid(1);
            FUZZ_CHECK(command == Telnet::SetBaud + settings); // in order, each once
            ++settings;
            if (command == Telnet::SetBaud) {
                const char big[] = {char(line.speed >> 24), char(line.speed >> 16),
                                    char(line.speed >> 8), char(line.speed)};
                FUZZ_CHECK(value == QByteArray(big, 4));
            } else {
                const quint8 want = command == Telnet::SetDataSize ? line.dataBits
                                    : command == Telnet::SetParity ? line.parity
                                                                   : line.stopBits;
                FUZZ_CHECK(value == QByteArray(1, char(want)));
            }
            break;
        }
        default:
            FUZZ_CHECK(false);
        }
    }
    FUZZ_CHECK(settings == 0 || settings == 4);
}

void checkPort(const QByteArray &stream, const Line &line)
{
    static const Listener listener;
    NetworkPort port;
    port.setDevice(QStringLiteral("rfc2217://127.0.0.1:%1").arg(listener.port));
    port.setSettings(QString::fromLatin1(line.text));
    port.setAnswerMs(60000);
    QByteArray data;
    bool lost = false, established = false;
    QObject::connect(&port, &SerialPort::received, [&data](const QByteArray &b) { data += b; });
    QObject::connect(&port, &SerialPort::lost, [&lost] { lost = true; });
    QObject::connect(&port, &SerialPort::established, [&established] { established = true; });
    FUZZ_CHECK(port.open());
    FUZZ_CHECK(readable(listener.fd, 2000));
    const int peer = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    FUZZ_CHECK(peer >= 0);

    // The client speaks first: COM-PORT-OPTION and binary both ways.
    QByteArray offer;
    QElapsedTimer waited;
    waited.start();
    while (offer.size() < 9 && waited.elapsed() < 2000) {
        QCoreApplication::processEvents();
        char buffer[16];
        if (readable(peer, 1)) {
            const ssize_t n = ::read(peer, buffer, size_t(9 - offer.size()));
            FUZZ_CHECK(n > 0);
            offer.append(buffer, qsizetype(n));
        }
    }
    FUZZ_CHECK(offer == QByteArray("\xff\xfb\x2c\xff\xfb\x00\xff\xfd\x00", 9));

    FUZZ_CHECK(::send(peer, stream.constData(), size_t(stream.size()), MSG_NOSIGNAL) ==
               ssize_t(stream.size()));
    ::shutdown(peer, SHUT_WR);
    waited.restart();
    while (!lost && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    FUZZ_CHECK(lost); // at the latest when the peer's end of the stream comes
    const QByteArray answers = readToEnd(peer);
    ::close(peer);

    const Parsed meant = parse(stream);
    FUZZ_CHECK(meant.data.startsWith(data));
    checkAnswers(answers, meant, line);
    if (established)
        for (quint8 code = 101; code <= 104; ++code)
            FUZZ_CHECK(std::any_of(meant.commands.begin(), meant.commands.end(),
                                   [code](const Reader::Command &c) {
                                       return c.verb == Telnet::Sb && c.option == Telnet::ComPort &&
                                              !c.payload.isEmpty() && quint8(c.payload[0]) == code;
                                   }));
    // What the peer said reaches the user as a reason of one line, never as its bytes.
    const QString why = port.errorString();
    FUZZ_CHECK(!why.isEmpty() && why.size() < 200);
    for (QChar c : why)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The sockets' notifiers need an event loop.
    static int argc = 1;
    static char name[] = "fuzz_telnet";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    Q_UNUSED(app);

    // The first byte picks how the reader's input is torn, the second the line settings.
    const quint8 cut = data[0];
    const Line &line = kLines[data[1] % 4];
    const QByteArray stream(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    checkReader(stream, cut);
    checkPort(stream, line);
    return 0;
}
