#pragma once

#include "serialport.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

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
    bool Output(const QByteArray &bytes) override;
    QString errorString() const override { return m_error; }

private:
    void onReadyRead();
    void handOver();
    void onError(QSerialPort::SerialPortError error);
    void pollLines();

    QSerialPort m_port;
    QTimer m_lineTimer;
    // Bytes on a busy line are handed on in batches at most every few milliseconds.
    QTimer m_batchTimer;
    QElapsedTimer m_lastHandOver;
    QString m_error;
    enum class LineWatch { None, Counters, ModemBits } m_watch = LineWatch::None;
    LineCounters m_counters;
    int m_modemBits = 0;
};
