#include "quality/clockoffset.h"

#include "decoders/messagevalues.h"
#include "link/bcd.h"
#include "link/messagetypes.h"
#include "quality/fixstatistics.h"

#include <QDateTime>
#include <algorithm>
#include <vector>

std::optional<qint64> receiverUtcMs(QByteArrayView frame)
{
    if (frame.size() < 44 || quint8(frame[0]) != Msg::Navigation)
        return std::nullopt;
    const BcdDateTime utc = parseNavigation(frame).utc;
    // A nibble above 9 would read as a shorter number: a wrong time, not a time.
    if (!std::all_of(utc.bcd.begin(), utc.bcd.end(), [](quint8 b) { return isBcd(b); }))
        return std::nullopt;
    const int year = utc.bcd[0] >= 0x98 ? 1900 + utc.year : 2000 + utc.year;
    const QDate date(year, utc.month, utc.day);
    if (!date.isValid() || !QTime::isValid(utc.hour, utc.minute, utc.second))
        return std::nullopt;
    return QDateTime(date, QTime(utc.hour, utc.minute, utc.second), Qt::UTC).toMSecsSinceEpoch();
}

std::optional<double> clockOffsetS(QByteArrayView frame, qint64 arrivedUtcMs)
{
    if (arrivedUtcMs < 0)
        return std::nullopt;
    const std::optional<qint64> receiver = receiverUtcMs(frame);
    if (!receiver)
        return std::nullopt;
    return double(*receiver - arrivedUtcMs) / 1000.0;
}

bool ClockOffsets::add(QByteArrayView frame, qint64 timeMs, qint64 arrivedUtcMs)
{
    const std::optional<double> offset = clockOffsetS(frame, arrivedUtcMs);
    if (!offset)
        return false;
    add(OffsetSample{timeMs, *offset});
    return true;
}

void ClockOffsets::add(const OffsetSample &s)
{
    // The data's time went back (a replay moved back): what came after it goes.
    if (!m_samples.empty() && s.timeMs < m_samples.back().timeMs) {
        while (!m_samples.empty() && m_samples.back().timeMs >= s.timeMs)
            m_samples.pop_back();
        ++m_resets;
    }
    m_samples.push_back(s);
    if (m_keep == Keep::All)
        return;
    while (m_samples.size() > kMaxSamples || m_samples.front().timeMs < s.timeMs - kSpanMs)
        m_samples.pop_front();
}

void ClockOffsets::clear()
{
    m_samples.clear();
    ++m_resets;
}

OffsetSummary ClockOffsets::summary() const
{
    OffsetSummary s;
    s.count = qsizetype(m_samples.size());
    if (m_samples.empty())
        return s;
    s.lastS = m_samples.back().offsetS;
    std::vector<double> values;
    values.reserve(m_samples.size());
    for (const OffsetSample &o : m_samples)
        values.push_back(o.offsetS);
    s.medianS = percentile(values, 0.5);
    s.spreadS = percentile(values, 0.95) - percentile(values, 0.05);
    return s;
}

QString offsetText(double seconds)
{
    // Whole milliseconds: the arrival is timed no finer.
    const qint64 ms = qRound64(seconds * 1000.0);
    return QStringLiteral("%1%2.%3 s")
        .arg(ms < 0 ? QStringLiteral("\u2212") : QStringLiteral("+"))
        .arg(qAbs(ms) / 1000)
        .arg(qAbs(ms) % 1000, 3, 10, QLatin1Char('0'));
}

QString offsetSummaryText(const OffsetSummary &s)
{
    if (s.count == 0)
        return QStringLiteral("Receiver clock \u2212 computer clock: no navigation message with "
                              "a date yet");
    return QStringLiteral("Receiver clock \u2212 computer clock: last %1, median %2, spread %3 "
                          "over %4 messages")
        .arg(offsetText(s.lastS), offsetText(s.medianS),
             QStringLiteral("%1 s").arg(s.spreadS, 0, 'f', 3))
        .arg(s.count);
}
