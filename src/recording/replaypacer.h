#pragma once

#include "recording/recording.h"

#include <QByteArray>
#include <QList>

// Hands out a recording's bytes in its recorded timing, faster or slower: fed the
// wall-clock time that passed, it returns what became due in that time. Pausing is
// not advancing; a seek moves to a time in the recording without sending what lies
// before it. Times are counted from the recording's first line.
class ReplayPacer {
public:
    // The speed that plays as fast as the reader takes it.
    static constexpr double kAsFastAsPossible = 0;
    // As fast as possible, this many lines a step: quick, and still in pieces that a
    // program's event loop gets between.
    static constexpr int kFastLinesPerStep = 32;

    explicit ReplayPacer(QList<RecordedChunk> chunks = {}, double speed = 1);

    // A factor above 0, or kAsFastAsPossible.
    void setSpeed(double speed) { m_speed = speed; }
    double speed() const { return m_speed; }

    QByteArray advance(qint64 wallMs);
    void seek(qint64 positionMs);
    qint64 positionMs() const { return qint64(m_positionMs); }
    qint64 durationMs() const;
    bool finished() const { return m_next >= m_chunks.size(); }
    // The index of the first line not yet handed out.
    qsizetype nextLine() const { return m_next; }
    bool isEmpty() const { return m_chunks.isEmpty(); }

private:
    qint64 offset(qsizetype i) const { return m_chunks[i].timeMs - m_chunks.first().timeMs; }

    QList<RecordedChunk> m_chunks;
    double m_speed;
    double m_positionMs = 0;
    qsizetype m_next = 0;
};
