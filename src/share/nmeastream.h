#pragma once

#include "share/nmea.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Received frames in, NMEA sentences out, as the bridge and the program serve them:
// the last satellite message is kept for GSA and GSV, and every navigation message
// gives one batch of GGA, GSA, GSV, RMC and VTG.
class NmeaStream {
public:
    // The sentences a good frame gives; empty for every type but navigation.
    QByteArray frame(QByteArrayView frame);

private:
    QList<NmeaSatellite> m_satellites;
    bool m_haveSatellites = false;
};
