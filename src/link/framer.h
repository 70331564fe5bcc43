#pragma once

#include "link/frame.h"

#include <QString>
#include <QtGlobal>
#include <array>

class GPS_Main;

// What one received byte did to the frame being assembled.
enum class FrameStep { NeedMore, FrameGood, FrameBad };

// Rows 1..15 of the message table: [1] type byte, [2] total frame length.
using MessageTable = std::array<std::array<quint8, 3>, 16>;

// Fills MsgTable rows 1..14 with the received types and their frame lengths.
void fillMsgTable(GPS_Main &g);

// Cuts the received bytes into frames by the message table: a type byte of the table,
// the same byte again, then the rest of the table's length. Its buffer (RxBuffer) and
// state are its own; a completed frame is handed out as a value.
class Framer {
public:
    explicit Framer(const MessageTable &msgTable) : m_table(msgTable) {}

    // Steps the framer by one byte. FrameGood and FrameBad leave the complete frame in
    // frame() and the framer hunting for the next one.
    FrameStep step(quint8 b);
    // Steps over bytes in order, exactly as step would one by one, and stops after the
    // byte that completed a frame (its verdict in `verdict`) or at the end (`verdict`
    // NeedMore). Returns how many bytes it took. A frame's body is copied in one piece,
    // so a fast line costs little more than the copy.
    qsizetype scan(const quint8 *bytes, qsizetype count, FrameStep &verdict);

    // The frame completed last; its arrival is what setArrival gave.
    const Frame &frame() const { return m_frame; }
    // A frame began since the last setArrival and has no arrival time yet: the caller
    // gives it the time of the read that brought its first byte.
    bool needsArrival() const { return m_timePending; }
    // `utcMs`: the computer's UTC at that read, for the receiver's clock against it.
    void setArrival(qint64 ms, qint64 utcMs = -1);
    // The time of the read that completed frame().
    void setCompletion(qint64 ms) { m_frame.completedMs = ms; }

    // Looking for a type byte: no frame begun.
    bool huntingHeader() const { return m_huntingHeader; }
    // Both type bytes seen; the body is coming in.
    bool inBody() const { return m_inBody; }
    // The position in RxBuffer the next body byte goes to (3..L), 1 outside a body.
    int position() const { return m_rxPos; }
    // An overflowed input buffer lost bytes: the frame begun is given up.
    void abandon();

private:
    const MessageTable &m_table;
    // The frame being received lies at 1..MsgLength (at most 50); index 0 is never used.
    std::array<quint8, Frame::kMaxLength + 1> RxBuffer{};
    quint8 m_msgType = 0;
    int m_msgLength = 0;
    bool m_huntingHeader = true;
    bool m_inBody = false;
    int m_rxPos = 1;
    qint64 m_startMs = -1;
    qint64 m_startUtcMs = -1;
    bool m_timePending = false;
    Frame m_frame;
};

// The log line of a serial line event.
QString lineEventText(int code);
