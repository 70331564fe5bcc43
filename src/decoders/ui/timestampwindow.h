#pragma once

#include "decoders/ui/datawindow.h"

class AutoRefresh;

// "Request Time Stamp": the receiver's 21 event time stamps, requested on demand or
// at an interval, each request carrying the chosen search mode.
class TimeStampWindow : public DataWindowBase {
    Q_OBJECT
public:
    TimeStampWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowTimeStamp(QByteArrayView frame);
    // 0 "Search Mode Set", 1 "Search Mode Reset"; sends nothing by itself.
    void Search_Click(int index);
    int searchMode() const { return m_searchMode; }
    AutoRefresh &autoRefresh() { return *m_refresh; }

protected:
    void Form_Unload() override;

private:
    void sendRequest(const void *owner);

    AutoRefresh *m_refresh = nullptr;
    quint8 m_searchMode = 0;
};
