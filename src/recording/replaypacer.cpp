#include "recording/replaypacer.h"

#include <algorithm>
#include <cmath>

void ReplayLines::append(qint64 timeMs, QByteArrayView bytes)
{
    m_timeMs.append(timeMs);
    m_start.append(quint32(m_bytes.size()));
    m_bytes.append(bytes);
}

QByteArray ReplayLines::bytes(qsizetype from, qsizetype to) const
{
    if (from >= to)
        return {};
    const qsizetype end = to < size() ? qsizetype(m_start[to]) : m_bytes.size();
    return m_bytes.mid(m_start[from], end - m_start[from]);
}

ReplayPacer::ReplayPacer(ReplayLines lines, double speed)
    : m_lines(std::move(lines)), m_speed(speed)
{
}

qint64 ReplayPacer::durationMs() const
{
    return m_lines.isEmpty() ? 0 : offset(m_lines.size() - 1);
}

QByteArray ReplayPacer::advance(qint64 wallMs)
{
    const qsizetype from = m_next;
    if (m_speed == kAsFastAsPossible) {
        m_next = std::min<qsizetype>(m_next + kFastLinesPerStep, m_lines.size());
        if (m_next > from)
            m_positionMs = offset(m_next - 1);
        return m_lines.bytes(from, m_next);
    }
    // Only the step's own milliseconds go through floating point; the position stays
    // a whole number that cannot pass the end.
    const qint64 left = durationMs() - m_positionMs;
    const double due = double(std::max<qint64>(wallMs, 0)) * m_speed + m_carryMs;
    if (!(due < double(left))) {
        m_positionMs = durationMs();
        m_carryMs = 0;
    } else {
        const double whole = std::floor(due);
        m_positionMs += qint64(whole);
        m_carryMs = due - whole;
    }
    while (!finished() && offset(m_next) <= m_positionMs)
        ++m_next;
    return m_lines.bytes(from, m_next);
}

void ReplayPacer::seek(qint64 positionMs)
{
    m_positionMs = std::clamp<qint64>(positionMs, 0, durationMs());
    m_carryMs = 0;
    // Lines at the very time sought are still to come: the first line not before it.
    qsizetype low = 0;
    qsizetype high = m_lines.size();
    while (low < high) {
        const qsizetype mid = low + (high - low) / 2;
        if (offset(mid) < m_positionMs)
            low = mid + 1;
        else
            high = mid;
    }
    m_next = low;
}
