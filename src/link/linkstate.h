#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class Clock;

// An age for the user: tenths of a second below ten seconds («0.4»), whole seconds after.
QString ageText(qint64 ms);

// What the program knows of its link to the receiver, for the status line and for
// kestrelctl: the port and its state, how old the last navigation message is, the
// frames counted since the port opened, and what became of the last command the
// receiver acknowledges. Every age is read from the clock when it is asked for, so
// silence needs no event of its own.
class LinkState {
public:
    enum class Port { NotOpen, Open, Lost, Reopened };
    enum class Outcome { None, Sent, Acknowledged, NoAnswer, NotSent };

    // The receiver sends a navigation message once a second; three missed ones mean
    // what is on screen is no longer live.
    static constexpr qint64 kStaleMs = 3000;
    // An acknowledgement comes back within a frame time or two; none after this is none.
    static constexpr qint64 kAnswerMs = 2000;

    explicit LinkState(const Clock &clock);
    // How long an answer to a command is waited for (kAnswerMs unless set).
    void setAnswerMs(qint64 ms) { m_answerMs = ms; }

    // A port was opened: a new receiver, so the counts and the last message start over.
    void opened(const QString &port);
    void openFailed(const QString &port);
    void closed();
    void lost();
    void reopened();
    // A frame the framer finished: its type byte and whether its checksum held.
    void frame(quint8 type, bool good);
    // The same, for a frame that arrived at `atMs` on the monotonic clock.
    void frame(quint8 type, bool good, qint64 atMs);
    // A command went out and the receiver answers it with a frame of type `answer`.
    void commandSent(const QString &name, quint8 answer);
    // A command could not go out (the port is not open).
    void commandNotSent(const QString &name);
    // What the program does with the link besides showing it (a recording being
    // written, a replay's position), right after the state; empty for nothing.
    void setActivity(const QString &text) { m_activity = text; }
    const QString &activity() const { return m_activity; }

    Port port() const { return m_port; }
    const QString &portName() const { return m_portName; }
    qint64 goodFrames() const { return m_good; }
    qint64 damagedFrames() const { return m_damaged; }
    // Milliseconds since the last navigation message of this port, if one came.
    std::optional<qint64> navAgeMs() const;
    // Whether the navigation data on show has gone without a successor for too long.
    bool stale() const;
    // The fix state (low four bits of the status byte) of a navigation message just taken in.
    void navigationFix(int fixState);
    // Whether the last navigation message of this port reported neither a 2D nor a 3D fix:
    // its position is the receiver's last guess, not a measurement.
    bool noFix() const;
    // Milliseconds since the last good frame of any type from this port, if one came.
    std::optional<qint64> frameAgeMs() const;
    // Whether the receiver has sent nothing for too long: whatever any window shows is old,
    // even a message that only comes when asked for.
    bool silent() const;
    Outcome outcome() const;
    const QString &commandName() const { return m_command; }
    // How many times a port was opened, and when the last one was (clock milliseconds).
    quint64 opens() const { return m_opens; }
    qint64 openedAtMs() const { return m_openedAt; }
    // How many times the port came back after a loss since it opened, and when it last
    // did: the receiver may have been without power meanwhile.
    quint64 reopens() const { return m_reopens; }
    qint64 reopenedAtMs() const { return m_reopenedAt; }

    QString stateText() const;
    // «/dev/ttyUSB0 9600,e,8,1: Open»
    QString portText() const;
    QString navText() const;
    QString framesText() const;
    // Empty when no command has been sent since the port opened.
    QString commandText() const;
    // The whole status line: state, data age, `fix` (the time to first fix), last
    // command, counts and port, empty parts left out.
    QString text(const QString &fix = {}) const;

private:
    qint64 now() const;

    const Clock &m_clock;
    Port m_port = Port::NotOpen;
    QString m_portName;
    qint64 m_good = 0;
    qint64 m_damaged = 0;
    std::optional<qint64> m_lastNav;
    std::optional<qint64> m_lastFrame;
    std::optional<int> m_fixState;
    QString m_command;
    Outcome m_outcome = Outcome::None;
    quint8 m_answer = 0;
    qint64 m_sentAt = 0;
    qint64 m_answerMs = kAnswerMs;
    QString m_activity;
    quint64 m_opens = 0;
    qint64 m_openedAt = 0;
    quint64 m_reopens = 0;
    qint64 m_reopenedAt = 0;
};
