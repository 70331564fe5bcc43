#pragma once

class GPS_Main;

// Rewrites SatTable from the satellite frame in RxBuffer; runs for every
// satellite frame, whether or not the Receive Sat window is open.
void FillSatTable(GPS_Main &g);
