#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <deque>
#include <optional>

// The receiver's UTC in a navigation frame (frame[0] is the first type byte), in ms
// since 1970; nullopt for a frame that is no navigation message, names no real date or
// has a nibble in its time that is no decimal digit.
// Two-digit years from 98 on are 1998 and 1999, the rest 2000 and on.
std::optional<qint64> receiverUtcMs(QByteArrayView navigationFrame);

// The receiver's UTC minus the computer's UTC at the arrival of the frame's first byte,
// in seconds; nullopt when either is not known. The receiver names whole seconds and
// sends right after the second it names, so a computer in step sees a small negative
// offset: the time the frame's first byte took to reach it.
std::optional<double> clockOffsetS(QByteArrayView navigationFrame, qint64 arrivedUtcMs);

// One offset and when it came (on the data clock, as the History axis).
struct OffsetSample {
    qint64 timeMs = 0;
    double offsetS = 0;
};

struct OffsetSummary {
    qsizetype count = 0;
    double lastS = 0;
    double medianS = 0;
    // The 95th minus the 5th percentile: how far the offsets wander, one odd frame
    // held up in a buffer left out.
    double spreadS = 0;
};

// The offsets of the last ten minutes (the History span), at most kMaxSamples of them,
// or every one for a reader that keeps all (kestrelctl stats over a recording).
class ClockOffsets {
public:
    static constexpr qint64 kSpanMs = 10 * 60 * 1000;
    static constexpr std::size_t kMaxSamples = 20 * kSpanMs / 1000;
    enum class Keep { LastTenMinutes, All };

    explicit ClockOffsets(Keep keep = Keep::LastTenMinutes) : m_keep(keep) {}

    // A navigation frame that arrived at `timeMs` (data clock) and `arrivedUtcMs`
    // (the computer's UTC at its first byte). False when it gave no offset.
    bool add(QByteArrayView navigationFrame, qint64 timeMs, qint64 arrivedUtcMs);
    void add(const OffsetSample &s);
    void clear();
    const std::deque<OffsetSample> &samples() const { return m_samples; }
    // Goes up whenever samples are taken away other than by age.
    quint64 resets() const { return m_resets; }
    OffsetSummary summary() const;

private:
    Keep m_keep;
    std::deque<OffsetSample> m_samples;
    quint64 m_resets = 0;
};

// «+0.153 s»: milliseconds, the sign always shown.
QString offsetText(double seconds);
// For the status line's tooltip: «Receiver clock − computer clock: last −0.052 s,
// median −0.051 s, spread 0.004 s over 600 messages», or that none came yet.
QString offsetSummaryText(const OffsetSummary &s);
