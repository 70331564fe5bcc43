#pragma once

#include "decoders/ui/datawindow.h"

// "Diagnosis": firmware version and the receiver's self-test results.
class DiagnosisWindow : public DataWindowBase {
    Q_OBJECT
public:
    DiagnosisWindow(GPS_Main &g, QWidget *parent = nullptr);

    void ShowDiagnosis(QByteArrayView frame);
};
