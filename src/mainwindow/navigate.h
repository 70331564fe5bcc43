#pragma once

#include "link/gpsmain.h"

#include <QMainWindow>
#include <QVector>
#include <memory>

class QAction;
class QMenu;
class QPlainTextEdit;
class DataWindows;
class PortKeeper;
class SerialPort;

// The main window: status panel, sky plot, log box and the program's menu bar.
// It owns the serial port; closing it closes the port and every other window.
class Navigate : public QMainWindow, public MessageSink {
    Q_OBJECT
public:
    Navigate(GPS_Main &g, std::unique_ptr<SerialPort> port, QWidget *parent = nullptr);
    ~Navigate() override;

    void Form_Load();
    // Sends the navigation request, lets pending events run once, then the 0xB7 request.
    void Form_Activate();
    void Form_Unload();

    PortKeeper &MSComm1() { return *m_keeper; }
    DataWindows &dataWindows() { return *m_dataWindows; }
    // The port dialog, closed with this window.
    void setPortDialog(QWidget *dialog) { m_portDialog = dialog; }

    // Menu handlers.
    void NavExit_Click();
    void NavCond_Click();
    void NavDiag_Click();
    void NavPos_Click();
    void NavMode_Click();
    void NavRevSat_Click();
    void NavStamp_Click();
    void mnuPosition_Click();
    void mnuHeight_Click();
    void mnuTime_Click();
    void mnuTimeStamp_Click();
    void mnuReset_Click();
    void mnuCold_Click();
    void NavAbout_Click();

    // MessageSink
    void ShowNavStatus() override;
    void ShowPosition() override;
    void ShowCondition() override;
    void ShowDiagnosis() override;
    void ShowMode() override;
    void ShowTimeStamp() override;
    void ShowRecSat() override;

    QAction *menuItem(const QString &name) const;

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildMenus();
    bool confirm(const QString &text, const QString &title);

    GPS_Main &m_g;
    std::unique_ptr<SerialPort> m_port;
    PortKeeper *m_keeper = nullptr;
    DataWindows *m_dataWindows = nullptr;
    QWidget *m_portDialog = nullptr;
    QWidget *m_client = nullptr;
    QPlainTextEdit *m_errorDis = nullptr;
    bool m_unloaded = false;
    // Whether the window lost activation to another window of this program, so that
    // coming back to it counts as an activation; returning from another program does not.
    bool m_leftForOwnWindow = true;
};
