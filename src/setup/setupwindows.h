#pragma once

class GPS_Main;
class QWidget;

// The modal setup windows, each shown until the user sets or cancels.
void ShowSetTime(GPS_Main &g, QWidget *parent);
void ShowSetPosition(GPS_Main &g, QWidget *parent);
void ShowSetHeight(GPS_Main &g, QWidget *parent);
