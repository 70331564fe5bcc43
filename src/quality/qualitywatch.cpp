#include "quality/qualitywatch.h"

#include "link/gpsmain.h"
#include "link/messagetypes.h"

QualityWatch::QualityWatch(GPS_Main &g) : m_g(g)
{
    m_frames = g.frames().subscribeGood([this](const Frame &f) {
        quality();
        m_quality.frame(f.bytes(), f.completedMs);
    });
    m_navigation = g.frames().subscribe(Msg::Navigation, [this](const Frame &f) {
        clockOffsets();
        m_offsets.add(f.bytes(), f.completedMs, f.arrivedUtcMs);
    });
}

const ClockOffsets &QualityWatch::clockOffsets() const
{
    // Another port, perhaps another receiver: its clock starts afresh.
    if (m_g.link().opens() != m_offsetOpens) {
        m_offsetOpens = m_g.link().opens();
        m_offsets.clear();
    }
    return m_offsets;
}

const ReceiverQuality &QualityWatch::quality() const
{
    const LinkState &link = m_g.link();
    // A port opened since last asked: a new run, from when it opened.
    if (link.opens() != m_opens) {
        m_opens = link.opens();
        m_reopens = 0;
        m_quality.start(link.openedAtMs(), TtffStart::PortOpened);
    }
    // Back after a loss: the same receiver, perhaps without power meanwhile.
    if (link.reopens() != m_reopens) {
        m_reopens = link.reopens();
        m_quality.start(link.reopenedAtMs(), TtffStart::PortReopened);
    }
    return m_quality;
}
