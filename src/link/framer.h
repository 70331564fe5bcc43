#pragma once

#include <QString>
#include <QtGlobal>

class GPS_Main;

// What one received byte did to the frame being assembled.
enum class FrameStep { NeedMore, FrameGood, FrameBad };

// Fills MsgTable rows 1..14 with the received types and their frame lengths.
void fillMsgTable(GPS_Main &g);

// Steps the framer by one byte. FrameGood and FrameBad leave the complete frame
// at RxBuffer 1..MsgLength and the framer hunting for the next one.
FrameStep framerStep(GPS_Main &g, quint8 b);

// Steps the framer over bytes in order, exactly as framerStep would one by one, and
// stops after the byte that completed a frame (its verdict in `step`) or at the end
// (`step` NeedMore). Returns how many bytes it took. A frame's body is copied in one
// piece, so a fast line costs little more than the copy.
qsizetype framerScan(GPS_Main &g, const quint8 *bytes, qsizetype count, FrameStep &step);

// Hands the good frame in RxBuffer to the decoders of its type, gated by the
// window-open flags.
void dispatchFrame(GPS_Main &g);

// The log line of a completed frame: "CMD: " and the type for a good one, "ERR: CkSum"
// for a bad one.
QString frameLogLine(const GPS_Main &g, FrameStep step);

// The log line of a serial line event.
QString lineEventText(int code);
