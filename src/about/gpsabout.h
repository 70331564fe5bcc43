#pragma once

class GPS_Main;
class QWidget;

// The modal About window.
void ShowAbout(GPS_Main &g, QWidget *parent);
