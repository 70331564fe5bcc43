#include "gpsabout.h"

#include <QtGlobal>

void ShowAbout(GPS_Main &g, QWidget *parent)
{
    Q_UNUSED(g);
    Q_UNUSED(parent);
}
