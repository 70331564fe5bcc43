#pragma once

#include "decoders/ui/datawindow.h"

// "Request Receiver Mode": the receiver's operating settings.
class ModeWindow : public DataWindowBase {
    Q_OBJECT
public:
    ModeWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowMode(QByteArrayView frame);
};
