#pragma once

#include <QDialog>
#include <QMap>
#include <functional>
#include <optional>

#include "link/storedsettings.h"

class QButtonGroup;
class QComboBox;
class QRadioButton;
class GPS_Main;
class PortKeeper;

// "Select GPS Port": the serial port and its line parameters. Loading it applies
// the saved choices and opens the port once; OK saves, reconfigures and reopens.
class Port : public QDialog {
    Q_OBJECT
public:
    // The "Serial Port" option that stands for a named device instead of Com 1..4.
    static constexpr int kDeviceOption = 5;

    // mscomm gives the port keeper, creating the hidden main window on first use.
    Port(GPS_Main &g, std::function<PortKeeper &()> mscomm, QWidget *parent = nullptr);

    // Reads the saved settings into the groups and runs the OK procedure once.
    // A device given here (--port) replaces the saved port choice for this run and
    // is saved only when the user presses OK.
    void Form_Load(const QString &deviceOverride = QString());
    // Chooses the Device option with this device.
    void selectDevice(const QString &device);

    void ComPort_Click(int index);
    void Speed_Click(int index);
    void Option1_Click(int index);
    void DataBits_Click(int index);
    void StopBits_Click(int index);
    void Default_Click();
    // Returns true when the port opened and the dialog was hidden.
    bool OKButton_Click();
    // At start Cancel ends the program; while it runs (change()) it keeps the port
    // that was open, reopening it if an attempt at another one closed it.
    void CancelButton_Click();
    // Shows the dialog again for a running program, modal, to change the port.
    void change();

    int comPort() const { return m_comPort; }
    int speed() const { return m_speed; }
    int parity() const { return m_parity; }
    int dataBits() const { return m_dataBits; }
    int stopBits() const { return m_stopBits; }
    QString device() const;
    // «9600,e,8,1» from the chosen values.
    QString settingsText() const;

    // Refills the Device list from the ports the system knows.
    void refreshDevices();

    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    QButtonGroup *addGroup(const QString &caption, const QList<QPair<int, QString>> &options,
                           QWidget *box, std::function<void(int)> onClick);
    static void check(QButtonGroup *group, int index);
    void saveChoices();
    // The OK procedure; `save` false leaves the settings store as it was.
    bool applyAndOpen(bool save);

    GPS_Main &m_g;
    std::function<PortKeeper &()> m_mscomm;
    int m_comPort = 1;
    int m_speed = 9600;
    int m_parity = 101;
    int m_dataBits = 8;
    int m_stopBits = 1;
    QButtonGroup *m_comGroup = nullptr;
    QButtonGroup *m_speedGroup = nullptr;
    QButtonGroup *m_parityGroup = nullptr;
    QButtonGroup *m_dataGroup = nullptr;
    QButtonGroup *m_stopGroup = nullptr;
    QComboBox *m_deviceBox = nullptr;

    // The choices and the port as they were when change() began, for its Cancel.
    struct Running {
        int comPort, speed, parity, dataBits, stopBits;
        QString deviceText;
        QString portDevice;
        int portCom;
        QString portSettings;
        bool saved; // an OK in between saved other choices
    };
    std::optional<Running> m_running;
    // A receiver on the network is being reached: the dialog's buttons wait for it.
    bool m_opening = false;
    bool m_cancelWhileOpening = false; // Cancel came while m_opening
};
