#pragma once

#include "platform/clock.h"
#include "platform/serialport.h"
#include "recording/replaypacer.h"

#include <QTimer>

// A recording played as if it were the receiver, behind the serial-port interface
// like the simulated receiver: opening it starts playing from the beginning, its
// bytes arrive as received bytes in their recorded timing, and what the program
// sends is told through outputIgnored and not answered. Time comes from the clock
// it is given, so tests step it without waiting.
class ReplayPort : public SerialPort {
    Q_OBJECT
public:
    // The device name that selects it.
    static QString deviceName();
    // The speeds the controls offer, slowest first; kAsFastAsPossible last.
    static const QList<double> &speeds();

    explicit ReplayPort(const Clock &clock, QObject *parent = nullptr);

    // The recording to play at the next open; `name` is how it is shown. The line
    // events it kept as comments («1500 ms: ERR: Break») are played at their times.
    void load(const RecordingContents &recording, const QString &name);
    bool loaded() const { return !m_name.isEmpty(); }
    QString recordingName() const { return m_name; }

    bool PortOpen() const override { return m_open; }
    bool open() override;
    void close() override;
    bool Output(const QByteArray &bytes, const void *owner = nullptr) override;
    QString errorString() const override { return m_error; }
    bool isSerialLine() const override { return false; }

    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    void setSpeed(double speed);
    double speed() const { return m_pacer.speed(); }
    void seek(qint64 positionMs);
    qint64 positionMs() const { return m_pacer.positionMs(); }
    qint64 durationMs() const { return m_pacer.durationMs(); }
    bool finished() const { return m_pacer.finished(); }
    // One step: what became due since the last step arrives.
    void pump();
    // The recording's own time (its milliseconds) at the place played: while a line is
    // handed on, that line's time; otherwise the position reached. It stands still
    // while paused and moves with a seek.
    qint64 recordingTimeMs() const;
    // Ages and the time to first fix of a replay run on the recording's time, so they
    // come out as they did when it was recorded, whatever the speed.
    const Clock *timeSource() const override { return loaded() ? &m_recordingClock : nullptr; }

    // «Replay trip.krec 0:42 of 5:00, 4×», «…, paused», «…, finished»; empty when closed.
    QString statusText() const;

signals:
    // A frame the program sent during replay; nobody answers it.
    void outputIgnored(const QByteArray &bytes);
    // The position moved (played, sought) or the play state changed.
    void progressed();

private:
    // A line of the recording or one of its line events, in playing order; the
    // pacer holds the same lines with their times.
    struct Item {
        QByteArray bytes;
        int event = 0;
    };

    // The recording's time as a clock; the date and time stay the computer's.
    class RecordingClock : public Clock {
    public:
        RecordingClock(const ReplayPort &port, const Clock &base) : m_port(port), m_base(base) {}
        QDateTime now() const override { return m_base.now(); }
        qint64 monotonicMs() const override { return m_port.recordingTimeMs(); }

    private:
        const ReplayPort &m_port;
        const Clock &m_base;
    };

    const Clock &m_clock;
    RecordingClock m_recordingClock{*this, m_clock};
    // The time of the line being handed on, -1 between lines.
    qint64 m_handingMs = -1;
    QList<RecordedChunk> m_chunks;
    QList<Item> m_items;
    QString m_name;
    ReplayPacer m_pacer;
    QTimer m_timer;
    qint64 m_lastMs = -1;
    bool m_open = false;
    bool m_paused = false;
    QString m_error;
};

// «4×», «0.25×», «as fast as possible».
QString replaySpeedText(double speed);
// «1:05», «1:02:03» for a time in a recording.
QString replayTimeText(qint64 ms);
