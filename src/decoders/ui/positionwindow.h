#pragma once

#include "decoders/ui/datawindow.h"

// "Request Position Data": the whole navigation message, raw beside decoded.
// It sends nothing; it fills at the next navigation message.
class PositionWindow : public DataWindowBase {
    Q_OBJECT
public:
    PositionWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowPosition(QByteArrayView frame);
};
