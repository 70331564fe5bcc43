#pragma once

#include <QColor>
#include <QString>

class GPS_Main;
class DrawSurface;

// The compass rose seen from above: centre mark, horizon, N/E/S/W, the heading line
// and one label per tracked satellite placed by azimuth and elevation. Clears the
// surface and draws everything again from HeadingFraction, SatLabelMode and SatTable.
void DrawSkyPlot(const GPS_Main &g, DrawSurface &surface);

// The label of SatTable slot 1..8 under SatLabelMode: number, level, or "number-level".
QString SatLabel(const GPS_Main &g, int slot);

// A colour packed as R + 256 * G + 65536 * B; a value that is no such colour draws black.
QColor packedColor(double packed);
