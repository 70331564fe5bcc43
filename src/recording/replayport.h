#pragma once

#include "platform/clock.h"
#include "platform/serialport.h"
#include "recording/replaypacer.h"

#include <QHash>
#include <QTimer>

#include <functional>

class RecordingReader;

// What a replay holds of a recording, built line by line while it is read: its lines,
// and the line events its comments keep («1500 ms: ERR: Break») at their times.
class ReplayRecording {
public:
    // A replay holds the whole recording (about half the file); a longer one is refused.
    static constexpr qint64 kMaxFileBytes = 1'000'000'000;

    void addLine(qint64 timeMs, QByteArrayView bytes);
    void addComment(const QString &comment);
    // The line events after the last line.
    void finish();
    // Reads the rest of a recording whose header is read; false with `error` when
    // reading fails, is cancelled or passes kMaxFileBytes. `progress` hears the bytes read.
    bool read(RecordingReader &reader, const std::function<void(qint64)> &progress = {});

    ReplayLines lines;
    // Line index to the line event (CommEvent) it stands for; those lines have no bytes.
    QHash<qsizetype, int> events;
    DamagedLines damaged;
    bool cutShort = false;
    QString error;
    // The computer's UTC at the recording's time 0 (its first readable «started:»
    // comment), -1 when it does not say.
    qint64 startedUtcMs = -1;

private:
    void eventsBefore(qint64 timeMs);

    QList<std::pair<qint64, int>> m_pending;
    qint64 m_lastMs = 0;
};

// «trip.krec is 1.2 GB: a replay holds at most 1 GB; ...»
QString replayTooLargeText(const QString &name, qint64 bytes);

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
    void load(ReplayRecording recording, const QString &name);
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
    // Steps taken per turn of the event loop while playing as fast as possible.
    qint64 fastTurns() const { return m_fastTurns; }
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
    // The recording's time as a clock; the date and time stay the computer's.
    class RecordingClock : public Clock {
    public:
        RecordingClock(const ReplayPort &port, const Clock &base) : m_port(port), m_base(base) {}
        QDateTime now() const override { return m_base.now(); }
        qint64 monotonicMs() const override { return m_port.recordingTimeMs(); }
        // The computer's UTC when the frame being handed on arrived, as it was recorded:
        // the computer's clock now is not the one the frames arrived by.
        qint64 utcMs() const override
        {
            return m_port.m_startedUtcMs < 0 ? -1
                                             : m_port.m_startedUtcMs + m_port.recordingTimeMs();
        }

    private:
        const ReplayPort &m_port;
        const Clock &m_base;
    };

    const Clock &m_clock;
    RecordingClock m_recordingClock{*this, m_clock};
    // The time of the line being handed on, -1 between lines.
    qint64 m_handingMs = -1;
    QHash<qsizetype, int> m_events;
    qint64 m_startedUtcMs = -1;
    QString m_name;
    ReplayPacer m_pacer;
    QTimer m_timer;
    qint64 m_lastMs = -1;
    bool m_open = false;
    bool m_paused = false;
    qint64 m_fastTurns = 0;
    QString m_error;

    void handOn(qint64 wallMs);
};

// «4×», «0.25×», «as fast as possible».
QString replaySpeedText(double speed);
// The Replay window's slider counts tenths of a second, fine enough to find a message;
// a recording longer than an int holds of them gets steps as long as it takes.
qint64 replaySliderStepMs(qint64 durationMs);
// «1:05», «1:02:03» for a time in a recording.
QString replayTimeText(qint64 ms);
