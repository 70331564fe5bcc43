#pragma once

#include "platform/serialport.h"
#include "sim/simulator.h"

#include <QTimer>

class Clock;

// Line time of one byte: start bit, data bits, parity bit if any, stop bits.
int bitsPerByte(const LineSettings &settings);

// Puts the simulator's bytes on a line at the line's speed: each step sends what the
// time since the last step allows (a 44-byte frame takes about 50 ms at 9600,e,8,1).
// Bytes from the program go to the simulator at once.
class SimulatorLine : public QObject {
    Q_OBJECT
public:
    SimulatorLine(Simulator &simulator, const Clock &clock, QObject *parent = nullptr);

    void setLineSettings(const LineSettings &settings);
    const LineSettings &lineSettings() const { return m_settings; }
    // Steps every few milliseconds until stop(); stop() drops what waits to be sent.
    void start();
    void stop();
    bool running() const { return m_timer.isActive(); }
    // One step: due messages are queued, then sent as far as the line speed allows.
    void pump();
    void input(const QByteArray &bytes);

signals:
    void output(const QByteArray &bytes);

private:
    Simulator &m_sim;
    const Clock &m_clock;
    LineSettings m_settings;
    QTimer m_timer;
    qint64 m_lastMs = -1;
    double m_bitCredit = 0;
};

// The simulated receiver behind the serial-port interface: opening it starts the line
// at the configured speed, Output feeds the simulator, its answers arrive as received
// bytes. The receiver keeps its state while the port is closed.
class SimulatedPort : public SerialPort {
    Q_OBJECT
public:
    // The device name that selects it in the port dialog and on the command line.
    static QString deviceName();

    explicit SimulatedPort(const Clock &clock, SimulatorOptions options = {},
                           QObject *parent = nullptr);

    bool PortOpen() const override { return m_open; }
    bool open() override;
    void close() override;
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override;
    QString errorString() const override { return m_error; }
    bool isSerialLine() const override { return false; }

    Simulator &simulator() { return m_sim; }
    SimulatorLine &line() { return m_line; }

private:
    Simulator m_sim;
    SimulatorLine m_line;
    bool m_open = false;
    QString m_error;
};
