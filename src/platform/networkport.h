#pragma once

#include "platform/serialport.h"

#include <QByteArray>
#include <QList>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

class QSocketNotifier;
class SelectingSerialPort;

// A receiver served on the network: «tcp://HOST:PORT» carries the bytes as they are,
// «rfc2217://HOST:PORT» is telnet with the COM-PORT-OPTION, so the far side's serial
// line takes the speed, parity, data and stop bits chosen here.
struct NetworkAddress {
    enum class Kind { Raw, Rfc2217 };
    Kind kind = Kind::Raw;
    QString host;
    quint16 port = 0;

    // Whether the device name is meant as a network address (its scheme), right or wrong.
    static bool claims(const QString &device);
    // The address, or nothing with what is wrong with it in `error`.
    static std::optional<NetworkAddress> parse(const QString &device, QString &error);
};

// Telnet's bytes as RFC 854 and RFC 2217 number them.
namespace Telnet {
enum : quint8 {
    Se = 240,
    Sb = 250,
    Will = 251,
    Wont = 252,
    Do = 253,
    Dont = 254,
    Iac = 255,
};
enum Option : quint8 { Binary = 0, SuppressGoAhead = 3, ComPort = 44 };
// COM-PORT-OPTION commands from the client; the server answers each with its code + 100.
enum ComPortCommand : quint8 { SetBaud = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4 };
constexpr quint8 kServerOffset = 100;

// Data bytes as telnet carries them: every 255 doubled.
QByteArray escape(const QByteArray &data);

// Splits what a telnet peer sends into data bytes and commands; a command torn across
// two reads is kept until its end comes.
class Reader {
public:
    struct Command {
        quint8 verb = 0; // Will, Wont, Do, Dont, or Sb for a subnegotiation
        quint8 option = 0;
        QByteArray payload; // a subnegotiation's bytes after the option, unescaped
    };
    // The data bytes in `bytes`; the commands go to `commands`.
    QByteArray feed(const QByteArray &bytes, QList<Command> &commands);
    // Whether the bytes so far end inside a command.
    bool midCommand() const { return m_state != State::Data; }

private:
    enum class State { Data, Iac, Verb, Sub, SubIac } m_state = State::Data;
    Command m_current;
};
} // namespace Telnet

// The port for network addresses. Connecting never waits for the far side: open()
// starts it and returns, opening() holds until the connection (and for RFC 2217 the
// line settings) is made, then established() comes; a failure or a dropped connection
// comes as lost() with the reason in errorString(), as an unplugged adapter does.
class NetworkPort : public SerialPort {
    Q_OBJECT
public:
    // A far side that has not answered in this time is taken as not there.
    static constexpr int kAnswerMs = 5000;

    explicit NetworkPort(QObject *parent = nullptr);
    ~NetworkPort() override;

    bool PortOpen() const override { return m_state != State::Closed; }
    bool opening() const override;
    bool open() override;
    void close() override;
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override;
    bool outputPending(const void *owner) const override;
    void dropWaiting(const void *owner) override;
    qint64 bytesWaiting() const override;
    QString errorString() const override { return m_error; }
    // Line settings mean something only where the far side takes them.
    bool isSerialLine() const override;
    void setAnswerMs(int ms) { m_answerMs = ms; }

private:
    enum class State { Closed, Looking, Connecting, Negotiating, Open };
    struct Lookup;
    struct Outgoing {
        QByteArray bytes;
        const void *owner;
        qsizetype sent = 0;
    };

    void connectTo(const QList<QByteArray> &addresses);
    void onLookedUp(quint64 generation, const QList<QByteArray> &addresses, const QString &error);
    void tryNextAddress();
    void onConnected();
    void onReadable();
    void onWritable();
    void onCommands(const QList<Telnet::Reader::Command> &commands);
    void onComPortAnswer(const QByteArray &payload);
    void sendRaw(const QByteArray &bytes);
    void flush();
    void becomeOpen();
    // Ends the connection with `why` and tells of it through lost().
    void fail(const QString &why);
    void dropSocket();
    QString where() const;

    State m_state = State::Closed;
    NetworkAddress m_address;
    int m_fd = -1;
    QSocketNotifier *m_readNote = nullptr;
    QSocketNotifier *m_writeNote = nullptr;
    QTimer m_deadline;
    int m_answerMs = kAnswerMs;
    std::shared_ptr<Lookup> m_lookup;
    quint64 m_generation = 0;
    QList<QByteArray> m_candidates;
    QString m_lastConnectError;
    Telnet::Reader m_reader;
    LineSettings m_line;
    // COM-PORT-OPTION commands sent and not yet answered.
    QList<quint8> m_unanswered;
    // Telnet negotiation bytes go before any data.
    QByteArray m_control;
    // The telnet answers given, so that a peer repeating itself gets no second one.
    QList<quint16> m_answered;
    std::deque<Outgoing> m_waiting;
    QString m_error;
};

// Lets `port` open network addresses as well as its other devices.
void addNetworkPort(SelectingSerialPort &port);
