#include "recording/replaypacer.h"

#include <algorithm>

ReplayPacer::ReplayPacer(QList<RecordedChunk> chunks, double speed)
    : m_chunks(std::move(chunks)), m_speed(speed)
{
}

qint64 ReplayPacer::durationMs() const
{
    return m_chunks.isEmpty() ? 0 : offset(m_chunks.size() - 1);
}

QByteArray ReplayPacer::advance(qint64 wallMs)
{
    QByteArray due;
    if (m_speed == kAsFastAsPossible) {
        for (int n = 0; n < kFastLinesPerStep && !finished(); ++n, ++m_next) {
            due += m_chunks[m_next].bytes;
            m_positionMs = double(offset(m_next));
        }
        return due;
    }
    m_positionMs = std::min(m_positionMs + double(std::max<qint64>(wallMs, 0)) * m_speed,
                            double(durationMs()));
    for (; !finished() && double(offset(m_next)) <= m_positionMs; ++m_next)
        due += m_chunks[m_next].bytes;
    return due;
}

void ReplayPacer::seek(qint64 positionMs)
{
    m_positionMs = double(std::clamp<qint64>(positionMs, 0, durationMs()));
    m_next = 0;
    // Lines at the very time sought are still to come.
    while (!finished() && double(offset(m_next)) < m_positionMs)
        ++m_next;
}
