#include "link/framer.h"

#include "decoders/formatters.h"
#include "decoders/sattable.h"
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

FrameStep framerStep(GPS_Main &g, quint8 b)
{
    if (g.HuntingHeader) {
        for (int row = 1; row <= kSearchRows; ++row) {
            if (g.MsgTable[row][1] == b && g.MsgTable[row][2] >= kFrameOverhead) {
                g.RxBuffer[1] = b;
                g.MsgType = b;
                g.MsgLength = g.MsgTable[row][2];
                g.HuntingHeader = false;
                return FrameStep::NeedMore;
            }
        }
        return FrameStep::NeedMore;
    }
    if (!g.InBody) {
        // A mismatching second byte is dropped, not tried as a new first byte.
        if (b == g.MsgType) {
            g.RxBuffer[2] = b;
            g.RxPos = 3;
            g.InBody = true;
        } else {
            g.HuntingHeader = true;
        }
        return FrameStep::NeedMore;
    }

    // MsgLength comes from the table and is at most 50, so RxPos stays inside RxBuffer.
    g.RxBuffer[std::size_t(g.RxPos)] = b;
    ++g.RxPos;
    if (g.RxPos <= g.MsgLength)
        return FrameStep::NeedMore;

    g.RxPos = 1;
    g.InBody = false;
    g.HuntingHeader = true;
    quint8 sum = 0;
    for (int i = 1; i <= g.MsgLength - 1; ++i)
        sum = quint8(sum + g.RxBuffer[std::size_t(i)]);
    return (b == kFrameEnd && sum == 0) ? FrameStep::FrameGood : FrameStep::FrameBad;
}

qsizetype framerScan(GPS_Main &g, const quint8 *bytes, qsizetype count, FrameStep &step)
{
    qsizetype taken = 0;
    while (taken < count) {
        // Headers go byte by byte; the rest of a body is copied at once, all but its
        // last byte, which framerStep takes to finish the frame.
        if (g.InBody && !g.HuntingHeader) {
            const qsizetype before = qsizetype(g.MsgLength) - g.RxPos;
            const qsizetype run = std::min(before, count - taken);
            if (run > 0 && g.RxPos >= 1) {
                std::memcpy(g.RxBuffer.data() + g.RxPos, bytes + taken, std::size_t(run));
                g.RxPos = qint16(g.RxPos + run);
                taken += run;
                continue;
            }
        }
        step = framerStep(g, bytes[taken++]);
        if (step != FrameStep::NeedMore)
            return taken;
    }
    step = FrameStep::NeedMore;
    return taken;
}

void dispatchFrame(GPS_Main &g)
{
    MessageSink &sink = g.sink();
    switch (g.MsgType) {
    case Msg::Navigation:
        std::copy_n(g.RxBuffer.begin(), g.LastNavigation.size(), g.LastNavigation.begin());
        sink.ShowNavStatus();
        if (g.PositionOpen)
            sink.ShowPosition();
        break;
    case Msg::Condition:
        if (g.ConditionOpen)
            sink.ShowCondition();
        break;
    case Msg::Diagnosis:
        if (g.DiagnosisOpen)
            sink.ShowDiagnosis();
        break;
    case Msg::Mode:
        if (g.ModeOpen)
            sink.ShowMode();
        break;
    case Msg::TimeStamps:
        if (g.TimeStampOpen)
            sink.ShowTimeStamp();
        break;
    case Msg::Satellites:
        FillSatTable(g);
        if (g.RecSatOpen)
            sink.ShowRecSat();
        break;
    default:
        break;
    }
}

QString frameLogLine(const GPS_Main &g, FrameStep step)
{
    return step == FrameStep::FrameGood ? QStringLiteral("CMD: ") + HexByte(g.MsgType)
                                        : QStringLiteral("ERR: CkSum");
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
