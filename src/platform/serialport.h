#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class Clock;

// Line parameters in the form the port dialog hands to the port: «9600,e,8,1».
struct LineSettings {
    int speed = 9600;
    char parity = 'e'; // n, e, o, m or s
    int dataBits = 8;
    int stopBits = 1;

    QString text() const;
    static std::optional<LineSettings> parse(const QString &text);
};

// Serial line event codes, as the receiver link reports them.
namespace CommEvent {
enum : int {
    Receive = 2,
    Send = 1,
    Cts = 3,
    Dsr = 4,
    Cd = 5,
    Ring = 6,
    Eof = 7,
    Break = 1001,
    Frame = 1004,
    Overrun = 1006,
    RxOver = 1008,
    RxParity = 1009,
    TxFull = 1010,
    Dcb = 1011,
};
}

// The operations the program needs of a serial port. The real one sits on
// QSerialPort; tests and the simulated receiver plug in behind the same face.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual bool PortOpen() const = 0;
    // "Com n" of the port dialog.
    void setCommPort(int n);
    int CommPort() const { return m_commPort; }
    // A device path (or another name the adapter knows) chosen instead of Com n.
    void setDevice(const QString &device) { m_device = device; }
    QString device() const { return m_device; }
    // What opening uses: the device when one is set, otherwise Com n's device.
    QString systemName() const;
    // How messages name the port: «COM3» or the device.
    QString displayName() const;

    void setSettings(const QString &settings) { m_settings = settings; }
    QString Settings() const { return m_settings; }

    virtual bool open() = 0;
    // True between an open() that returned true and the connection being made, for a
    // device that takes time to reach (a receiver on the network): established() or
    // lost() ends it.
    virtual bool opening() const { return false; }
    virtual void close() = 0;
    // Writes one whole frame, or queues it behind frames the line has not taken yet;
    // returns false when nothing could be written. The owner, if any, marks the frame
    // for outputPending and dropWaiting.
    virtual bool Output(const QByteArray &bytes, const void *owner = nullptr) = 0;
    // Whether a frame of this owner has not yet been handed to the line in full.
    virtual bool outputPending(const void *owner) const
    {
        Q_UNUSED(owner);
        return false;
    }
    // Takes back this owner's frames that have not begun to go out.
    virtual void dropWaiting(const void *owner) { Q_UNUSED(owner); }
    // Bytes accepted by Output and not yet handed to the line.
    virtual qint64 bytesWaiting() const { return 0; }
    virtual QString errorString() const { return {}; }
    // The clock the delivered bytes are timed by when it is not the computer's (a
    // recording played back, whose times are its own); nullptr for a live line.
    virtual const Clock *timeSource() const { return nullptr; }
    // False for a device that only stands in for a serial line (a simulated receiver,
    // a recording): it has no line settings to show beside its name.
    virtual bool isSerialLine() const { return true; }
    // Devices other than serial lines that this port offers by name in the port
    // dialog (the simulated receiver).
    virtual QStringList offeredDevices() const { return {}; }

signals:
    // Bytes in arrival order, each exactly once.
    void received(const QByteArray &bytes);
    // A line event with its code (CommEvent).
    void commEvent(int code);
    // The device went away under an open port (adapter unplugged), or could not be
    // reached after all.
    void lost();
    // A port that was opening is open now.
    void established();

private:
    int m_commPort = 1;
    QString m_device;
    QString m_settings = QStringLiteral("9600,e,8,1");
};

// Lets the events go on (windows paint, timers run) while `port` is opening, until it
// is open or has failed; whether it is open then.
bool waitWhileOpening(SerialPort &port);

// The device behind "Com n" on this platform.
QString comPortDevice(int n);

// Kernel interrupt counters of a serial line, in the order the driver keeps them.
struct LineCounters {
    quint32 brk = 0, frame = 0, overrun = 0, bufOverrun = 0, parity = 0;
    quint32 cts = 0, dsr = 0, dcd = 0, ring = 0;
};
// One event code per counter that went up between two readings.
QList<int> lineEventsFromCounters(const LineCounters &before, const LineCounters &after);

// Modem status bits (TIOCM_*) as read with TIOCMGET; the events for the lines that changed.
QList<int> lineEventsFromModemBits(int before, int after);
