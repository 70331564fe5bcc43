#pragma once

#include "recording/recording.h"

#include <QByteArray>
#include <QList>

// A recording as a replay holds it: its bytes once, the hexadecimal turned into bytes,
// and for each line its time and where its bytes start (12 bytes a line).
class ReplayLines {
public:
    void append(qint64 timeMs, QByteArrayView bytes);
    qsizetype size() const { return m_timeMs.size(); }
    bool isEmpty() const { return m_timeMs.isEmpty(); }
    qint64 timeMs(qsizetype i) const { return m_timeMs[i]; }
    // The bytes of lines from, from + 1, ... up to before `to`.
    QByteArray bytes(qsizetype from, qsizetype to) const;
    qsizetype byteCount() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
    QList<qint64> m_timeMs;
    QList<quint32> m_start;
};

// Hands out a recording's bytes in its recorded timing, faster or slower: fed the
// wall-clock time that passed, it returns what became due in that time. Pausing is
// not advancing; a seek moves to a time in the recording without sending what lies
// before it. Times are counted from the recording's first line, in whole milliseconds.
class ReplayPacer {
public:
    // The speed that plays as fast as the reader takes it.
    static constexpr double kAsFastAsPossible = 0;
    // As fast as possible, this many lines a step: the player takes steps for as long
    // as its time allows, and a program's event loop gets between them.
    static constexpr int kFastLinesPerStep = 32;

    explicit ReplayPacer(ReplayLines lines = {}, double speed = 1);

    // A factor above 0, or kAsFastAsPossible.
    void setSpeed(double speed) { m_speed = speed; }
    double speed() const { return m_speed; }

    QByteArray advance(qint64 wallMs);
    void seek(qint64 positionMs);
    qint64 positionMs() const { return m_positionMs; }
    qint64 durationMs() const;
    bool finished() const { return m_next >= m_lines.size(); }
    // The index of the first line not yet handed out.
    qsizetype nextLine() const { return m_next; }
    bool isEmpty() const { return m_lines.isEmpty(); }
    const ReplayLines &lines() const { return m_lines; }

private:
    qint64 offset(qsizetype i) const { return m_lines.timeMs(i) - m_lines.timeMs(0); }

    ReplayLines m_lines;
    double m_speed;
    qint64 m_positionMs = 0;
    // The part of a millisecond that a slow speed has played but not yet reached.
    double m_carryMs = 0;
    qsizetype m_next = 0;
};
