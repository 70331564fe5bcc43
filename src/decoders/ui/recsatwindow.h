#pragma once

#include "decoders/ui/datawindow.h"

// "Receive Sat": the eight tracking channels in frame order and the almanac health.
class RecSatWindow : public DataWindowBase {
    Q_OBJECT
public:
    RecSatWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowRecSat(QByteArrayView frame);
};
