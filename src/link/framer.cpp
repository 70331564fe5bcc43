#include "link/framer.h"

#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "platform/serialport.h"

#include <algorithm>
#include <cstring>

namespace {

// Rows 1..14 in search order. Row 11 repeats the set-time type of row 10 and never
// matches; row 15 stays 0x00 with length 0 and is kept out of the search, so a stray
// 0x00 on the line is noise rather than the start of an empty frame.
constexpr int kSearchRows = 14;
constexpr int kRepeatedRow = 11;
static_assert(kMessageTypes.size() + 1 == kSearchRows);

} // namespace

void fillMsgTable(GPS_Main &g)
{
    auto type = kMessageTypes.begin();
    for (int row = 1; row <= kSearchRows; ++row) {
        if (row == kRepeatedRow) {
            g.MsgTable[row] = g.MsgTable[row - 1];
            continue;
        }
        g.MsgTable[row][1] = type->type;
        g.MsgTable[row][2] = type->length;
        ++type;
    }
}

FrameStep Framer::step(quint8 b)
{
    if (m_huntingHeader) {
        for (int row = 1; row <= kSearchRows; ++row) {
            // A length the buffer cannot hold is no frame of ours.
            if (m_table[row][1] == b && m_table[row][2] >= kFrameOverhead &&
                m_table[row][2] <= Frame::kMaxLength) {
                RxBuffer[1] = b;
                m_msgType = b;
                m_msgLength = m_table[row][2];
                m_huntingHeader = false;
                m_startMs = -1;
                m_startUtcMs = -1;
                m_timePending = true;
                return FrameStep::NeedMore;
            }
        }
        return FrameStep::NeedMore;
    }
    if (!m_inBody) {
        // A mismatching second byte is dropped, not tried as a new first byte.
        if (b == m_msgType) {
            RxBuffer[2] = b;
            m_rxPos = 3;
            m_inBody = true;
        } else {
            m_huntingHeader = true;
            m_timePending = false;
        }
        return FrameStep::NeedMore;
    }

    // MsgLength is at most 50, so RxPos stays inside RxBuffer.
    RxBuffer[std::size_t(m_rxPos)] = b;
    ++m_rxPos;
    if (m_rxPos <= m_msgLength)
        return FrameStep::NeedMore;

    m_rxPos = 1;
    m_inBody = false;
    m_huntingHeader = true;
    quint8 sum = 0;
    for (int i = 1; i <= m_msgLength - 1; ++i)
        sum = quint8(sum + RxBuffer[std::size_t(i)]);
    const bool good = b == kFrameEnd && sum == 0;
    m_frame.length = quint8(m_msgLength);
    std::copy_n(RxBuffer.begin() + 1, m_msgLength, m_frame.data.begin());
    m_frame.good = good;
    m_frame.arrivedMs = m_startMs;
    m_frame.arrivedUtcMs = m_startUtcMs;
    return good ? FrameStep::FrameGood : FrameStep::FrameBad;
}

qsizetype Framer::scan(const quint8 *bytes, qsizetype count, FrameStep &verdict)
{
    qsizetype taken = 0;
    while (taken < count) {
        // Headers go byte by byte; the rest of a body is copied at once, all but its
        // last byte, which step takes to finish the frame.
        if (m_inBody && !m_huntingHeader) {
            const qsizetype before = qsizetype(m_msgLength) - m_rxPos;
            const qsizetype run = std::min(before, count - taken);
            if (run > 0 && m_rxPos >= 1) {
                std::memcpy(RxBuffer.data() + m_rxPos, bytes + taken, std::size_t(run));
                m_rxPos = int(m_rxPos + run);
                taken += run;
                continue;
            }
        }
        verdict = step(bytes[taken++]);
        if (verdict != FrameStep::NeedMore)
            return taken;
    }
    verdict = FrameStep::NeedMore;
    return taken;
}

void Framer::setArrival(qint64 ms, qint64 utcMs)
{
    m_timePending = false;
    // Hunting again: the frame begun in this read is the one just completed.
    if (m_huntingHeader) {
        m_frame.arrivedMs = ms;
        m_frame.arrivedUtcMs = utcMs;
    } else {
        m_startMs = ms;
        m_startUtcMs = utcMs;
    }
}

void Framer::abandon()
{
    m_huntingHeader = true;
    m_inBody = false;
    m_rxPos = 1;
    m_timePending = false;
}

QString lineEventText(int code)
{
    switch (code) {
    case CommEvent::Break:
        return QStringLiteral("ERR: Break");
    case CommEvent::Frame:
        return QStringLiteral("ERR: Frame");
    case CommEvent::Overrun:
        return QStringLiteral("ERR: OverRun");
    case CommEvent::RxOver:
        return QStringLiteral("ERR: RxOver");
    case CommEvent::RxParity:
        return QStringLiteral("ERR: RxParity");
    case CommEvent::TxFull:
        return QStringLiteral("ERR: TxFull");
    case CommEvent::Dcb:
        return QStringLiteral("ERR: DCB");
    case CommEvent::Cd:
        return QStringLiteral("ERR: CD");
    case CommEvent::Cts:
        return QStringLiteral("ERR: CTS");
    case CommEvent::Dsr:
        return QStringLiteral("ERR: DSR");
    case CommEvent::Ring:
        return QStringLiteral("ERR: Ring");
    case CommEvent::Send:
        return QStringLiteral("ERR: Send");
    case CommEvent::Eof:
        return QStringLiteral("ERR: EOF");
    default:
        return QStringLiteral("ERR: Unknown");
    }
}
