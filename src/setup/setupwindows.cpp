#include "setupwindows.h"

#include <QtGlobal>

void ShowSetTime(GPS_Main &g, QWidget *parent)
{
    Q_UNUSED(g);
    Q_UNUSED(parent);
}

void ShowSetPosition(GPS_Main &g, QWidget *parent)
{
    Q_UNUSED(g);
    Q_UNUSED(parent);
}

void ShowSetHeight(GPS_Main &g, QWidget *parent)
{
    Q_UNUSED(g);
    Q_UNUSED(parent);
}
