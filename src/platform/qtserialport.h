#pragma once

#include "platform/serialport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>
#include <deque>

// The real serial port: QSerialPort for the bytes, and on Linux the driver's
// interrupt counters (or the modem lines where the driver has none) for line events.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool PortOpen() const override { return m_port.isOpen(); }
    bool open() override;
    void close() override;
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override;
    bool outputPending(const void *owner) const override;
    void dropWaiting(const void *owner) override;
    qint64 bytesWaiting() const override;
    QString errorString() const override { return m_error; }

private:
    struct Outgoing {
        QByteArray bytes;
        const void *owner;
    };
    bool startWriting(const Outgoing &frame);
    void onBytesWritten(qint64 count);

    void onReadyRead();
    void handOver();
    void onError(QSerialPort::SerialPortError error);
    void pollLines();

    QSerialPort m_port;
    // One frame at a time goes to QSerialPort; the rest wait here, where a frame
    // nobody wants any more can still be taken back. A stalled line then holds one
    // frame in the driver's hands, not every request made meanwhile.
    std::deque<Outgoing> m_waiting;
    const void *m_writingOwner = nullptr;
    qint64 m_writingLeft = 0;
    QTimer m_lineTimer;
    // Bytes on a busy line are handed on in batches at most every few milliseconds.
    QTimer m_batchTimer;
    QElapsedTimer m_lastHandOver;
    QElapsedTimer m_lastBytes;
    QString m_error;
    enum class LineWatch { None, Counters, ModemBits } m_watch = LineWatch::None;
    LineCounters m_counters;
    int m_modemBits = 0;
};
