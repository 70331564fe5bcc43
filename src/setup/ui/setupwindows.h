#pragma once

#include <QDialog>
#include <array>

class GPS_Main;
class QLabel;
class QLineEdit;
class QPushButton;

// The modal setup windows, each shown until the user sets or cancels.
void showSetTime(GPS_Main &g, QWidget *parent);
void showSetPosition(GPS_Main &g, QWidget *parent);
void showSetHeight(GPS_Main &g, QWidget *parent);

// Sends a date and time, the computer's local time to begin with.
class SetTime : public QDialog {
    Q_OBJECT
public:
    explicit SetTime(GPS_Main &g, QWidget *parent = nullptr);

    void Form_Load();
    // A field that cannot be sent is named in a message and nothing goes out;
    // the window stays open for correction.
    void SetTime_Click(int Index);
    void Exit_Click();

    // UTC(1)..UTC(6): year, month, day, hour, minute, second.
    QLineEdit *UTC(int index) const { return m_utc[std::size_t(index - 1)]; }

private:
    GPS_Main &m_g;
    std::array<QLineEdit *, 6> m_utc{};
};

// Sends a latitude and longitude, those of the last navigation message to begin with.
class SetPosition : public QDialog {
    Q_OBJECT
public:
    explicit SetPosition(GPS_Main &g, QWidget *parent = nullptr);

    void Form_Load();
    void SetPosition_Click();
    void Exit_Click();

    QLineEdit *LatitudeD = nullptr;
    QLineEdit *LatitudeM = nullptr;
    QLineEdit *LongitudeD = nullptr;
    QLineEdit *LongitudeM = nullptr;

private:
    void fitToTexts(QPushButton *set, QPushButton *exit);

    GPS_Main &m_g;
};

// Sends a height and an accuracy, the height of the last navigation message to begin with.
class SetHeight : public QDialog {
    Q_OBJECT
public:
    explicit SetHeight(GPS_Main &g, QWidget *parent = nullptr);

    void Form_Load();
    void SetH_Click();
    void Exit_Click();

    QLineEdit *CurHeight = nullptr;
    QLineEdit *Accuracy = nullptr;

private:
    GPS_Main &m_g;
    QPushButton *m_exit = nullptr;
};
