#pragma once

#include <QDialog>

class GPS_Main;
class NmeaShare;
class QCheckBox;
class QLabel;
class QSpinBox;

// Setup, "Share as NMEA...": whether the program serves NMEA sentences to other
// programs on this computer (gpsd, a chart plotter), and on which TCP port. What is
// set is applied at once and saved for the next start.
class ShareNmea : public QDialog {
    Q_OBJECT
public:
    ShareNmea(GPS_Main &g, NmeaShare &share, QWidget *parent = nullptr);

    void Form_Load();
    // Applies and saves; a port that cannot be had is told in the window, which stays.
    void OK_Click();

    QCheckBox *ShareOn = nullptr;
    QSpinBox *SharePort = nullptr;
    QLabel *ShareState = nullptr;

private:
    GPS_Main &m_g;
    NmeaShare &m_share;
};
