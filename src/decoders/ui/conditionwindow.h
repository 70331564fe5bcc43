#pragma once

#include "decoders/ui/datawindow.h"

class AutoRefresh;

// "Satellite Condition": the condition message, requested on demand or at an interval.
class ConditionWindow : public DataWindowBase {
    Q_OBJECT
public:
    ConditionWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowCondition(QByteArrayView frame);
    AutoRefresh &autoRefresh() { return *m_refresh; }

protected:
    void Form_Unload() override;

private:
    AutoRefresh *m_refresh = nullptr;
};
