#pragma once

#include "link/dispatcher.h"
#include "quality/clockoffset.h"
#include "quality/fixstatistics.h"

class GPS_Main;

// The program's time to first fix, fix counts and last ten minutes of messages, fed by
// every good frame; a run starts when a port opens and again when a lost port comes
// back. The entry procedure makes one and hands it to the status line and History.
class QualityWatch {
public:
    explicit QualityWatch(GPS_Main &g);

    // Up to date with the link's opens and reopens.
    const ReceiverQuality &quality() const;
    // The receiver's clock against the computer's, per navigation message, since the
    // port opened (the last ten minutes of it).
    const ClockOffsets &clockOffsets() const;

private:
    const GPS_Main &m_g;
    mutable ReceiverQuality m_quality;
    mutable quint64 m_opens = 0;
    mutable quint64 m_reopens = 0;
    FrameDispatcher::Subscription m_frames;
    mutable ClockOffsets m_offsets;
    mutable quint64 m_offsetOpens = 0;
    FrameDispatcher::Subscription m_navigation;
};
