#include "sattable.h"

#include "link/gpsmain.h"

void FillSatTable(GPS_Main &g)
{
    Q_UNUSED(g);
}
