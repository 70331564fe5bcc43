#include "link/ui/portdialog.h"

#include "link/gpsmain.h"
#include "link/numberreading.h"
#include "link/portkeeper.h"
#include "link/portmessage.h"
#include "link/storedsettings.h"
#include "platform/messageboxes.h"
#include "platform/serialport.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSerialPortInfo>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("Port");
const QString kTitle = QStringLiteral("Kestrel");

const QList<QPair<int, QString>> kComOptions = {
    {1, QStringLiteral("Com 1")},
    {2, QStringLiteral("Com 2")},
    {3, QStringLiteral("Com 3")},
    {4, QStringLiteral("Com 4")},
    {Port::kDeviceOption, QStringLiteral("Device")},
};
const QList<QPair<int, QString>> kSpeedOptions = {
    {1200, QStringLiteral("1200")},
    {2400, QStringLiteral("2400")},
    {9600, QStringLiteral("9600")},
    {19200, QStringLiteral("19,200")},
};
// Each index is the character code of the lower-case initial letter.
const QList<QPair<int, QString>> kParityOptions = {
    {115, QStringLiteral("Space")}, {109, QStringLiteral("Mark")}, {111, QStringLiteral("Odd")},
    {101, QStringLiteral("Even")},  {110, QStringLiteral("None")},
};
const QList<QPair<int, QString>> kDataOptions = {
    {8, QStringLiteral("8 Bits")},
    {7, QStringLiteral("7 Bits")},
};
const QList<QPair<int, QString>> kStopOptions = {
    {2, QStringLiteral("2 Stop")},
    {1, QStringLiteral("1 Stop")},
};

QList<int> indices(const QList<QPair<int, QString>> &options)
{
    QList<int> out;
    for (const auto &o : options)
        out.append(o.first);
    return out;
}

} // namespace

Port::Port(GPS_Main &g, std::function<PortKeeper &()> mscomm, QWidget *parent)
    : QDialog(parent), m_g(g), m_mscomm(std::move(mscomm))
{
    setObjectName(QStringLiteral("Port"));
    setWindowTitle(QStringLiteral("Select GPS Port"));
    setModal(true);

    auto *comBox = new QGroupBox(QStringLiteral("Serial Port"), this);
    m_comGroup = addGroup(QStringLiteral("ComPort"), kComOptions, comBox,
                          [this](int i) { ComPort_Click(i); });
    m_deviceBox = new QComboBox(comBox);
    m_deviceBox->setObjectName(QStringLiteral("DeviceName"));
    m_deviceBox->setEditable(true);
    m_deviceBox->setMinimumContentsLength(18);
    m_deviceBox->setToolTip(QStringLiteral("A serial device such as /dev/ttyUSB0, or a receiver "
                                           "on the network: tcp://HOST:PORT, rfc2217://HOST:PORT"));
    comBox->layout()->addWidget(m_deviceBox);
    // Picking or typing a device chooses the Device option.
    connect(m_deviceBox, &QComboBox::textActivated, this, [this] { ComPort_Click(kDeviceOption); });
    connect(m_deviceBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { ComPort_Click(kDeviceOption); });

    auto *speedBox = new QGroupBox(QStringLiteral("Port Speed"), this);
    m_speedGroup = addGroup(QStringLiteral("Speed"), kSpeedOptions, speedBox,
                            [this](int i) { Speed_Click(i); });
    auto *parityBox = new QGroupBox(QStringLiteral("Parity"), this);
    m_parityGroup = addGroup(QStringLiteral("Option1"), kParityOptions, parityBox,
                             [this](int i) { Option1_Click(i); });
    auto *dataBox = new QGroupBox(QStringLiteral("Data Bits"), this);
    m_dataGroup = addGroup(QStringLiteral("DataBits"), kDataOptions, dataBox,
                           [this](int i) { DataBits_Click(i); });
    m_dataGroup->button(7)->setObjectName(QStringLiteral("Option2"));
    auto *stopBox = new QGroupBox(QStringLiteral("Stop Bits"), this);
    m_stopGroup = addGroup(QStringLiteral("StopBits"), kStopOptions, stopBox,
                           [this](int i) { StopBits_Click(i); });

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    auto *def = new QPushButton(QStringLiteral("Default"), this);
    def->setObjectName(QStringLiteral("Default"));
    def->setAutoDefault(false);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(cancel, &QPushButton::clicked, this, &Port::CancelButton_Click);
    connect(def, &QPushButton::clicked, this, &Port::Default_Click);

    auto *grid = new QGridLayout;
    grid->addWidget(comBox, 0, 0, 2, 1);
    grid->addWidget(speedBox, 0, 1);
    grid->addWidget(parityBox, 0, 2, 2, 1);
    grid->addWidget(dataBox, 1, 1);
    grid->addWidget(stopBox, 0, 3);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(def);
    buttons->addStretch();
    grid->addLayout(buttons, 1, 3);
    setLayout(grid);
}

void Port::showEvent(QShowEvent *e)
{
    // Looking for ports takes a while on some systems; do it when the list can be seen.
    refreshDevices();
    QDialog::showEvent(e);
}

QButtonGroup *Port::addGroup(const QString &name, const QList<QPair<int, QString>> &options,
                             QWidget *box, std::function<void(int)> onClick)
{
    auto *group = new QButtonGroup(box);
    group->setObjectName(name);
    auto *layout = new QVBoxLayout(box);
    for (const auto &[index, caption] : options) {
        auto *button = new QRadioButton(caption, box);
        button->setObjectName(QStringLiteral("%1_%2").arg(name).arg(index));
        group->addButton(button, index);
        layout->addWidget(button);
    }
    connect(group, &QButtonGroup::idClicked, this, std::move(onClick));
    return group;
}

void Port::check(QButtonGroup *group, int index)
{
    if (QAbstractButton *b = group->button(index))
        b->setChecked(true);
}

void Port::refreshDevices()
{
    const QString typed = m_deviceBox->currentText();
    m_deviceBox->clear();
    for (const QString &name : m_mscomm().port().offeredDevices())
        m_deviceBox->addItem(name, name);
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString desc = info.description();
        const QString shown = desc.isEmpty()
                                  ? info.systemLocation()
                                  : QStringLiteral("%1 (%2)").arg(info.systemLocation(), desc);
        m_deviceBox->addItem(shown, info.systemLocation());
    }
    m_deviceBox->setEditText(typed);
}

QString Port::device() const
{
    const QString text = m_deviceBox->currentText().trimmed();
    const int i = m_deviceBox->findText(text);
    if (i >= 0 && m_deviceBox->itemData(i).isValid())
        return m_deviceBox->itemData(i).toString();
    return text;
}

void Port::selectDevice(const QString &device)
{
    m_deviceBox->setEditText(device);
    ComPort_Click(kDeviceOption);
}

void Port::ComPort_Click(int index)
{
    m_comPort = index;
    check(m_comGroup, index);
}

void Port::Speed_Click(int index)
{
    m_speed = index;
    check(m_speedGroup, index);
}

void Port::Option1_Click(int index)
{
    m_parity = index;
    check(m_parityGroup, index);
}

void Port::DataBits_Click(int index)
{
    m_dataBits = index;
    check(m_dataGroup, index);
}

void Port::StopBits_Click(int index)
{
    m_stopBits = index;
    check(m_stopGroup, index);
}

void Port::Default_Click()
{
    ComPort_Click(1);
    Speed_Click(9600);
    Option1_Click(101);
    DataBits_Click(8);
    StopBits_Click(1);
}

QString Port::settingsText() const
{
    return LineSettings{m_speed, char(m_parity), m_dataBits, m_stopBits}.text();
}

void Port::Form_Load(const QString &deviceOverride)
{
    SettingsStore &store = *m_g.platform().settings;
    const auto read = [&](const QString &key, const QList<QPair<int, QString>> &options, int def) {
        return storedChoice(store.GetSetting(kSection, key, QString::number(def)), indices(options),
                            def);
    };
    int com = read(QStringLiteral("Port"), kComOptions, 1);
    const QString dev = store.GetSetting(kSection, QStringLiteral("Device"), QString()).trimmed();
    if (com == kDeviceOption && dev.isEmpty())
        com = 1;
    m_deviceBox->setEditText(dev);
    ComPort_Click(com);
    Speed_Click(read(QStringLiteral("Speed"), kSpeedOptions, 9600));
    Option1_Click(read(QStringLiteral("Parity"), kParityOptions, 101));
    DataBits_Click(read(QStringLiteral("DataBits"), kDataOptions, 8));
    StopBits_Click(read(QStringLiteral("StopBits"), kStopOptions, 1));
    if (!deviceOverride.isEmpty())
        selectDevice(deviceOverride);
    // A port from the command line serves this run; only the user's OK keeps it.
    applyAndOpen(deviceOverride.isEmpty());
}

bool Port::OKButton_Click()
{
    return applyAndOpen(true);
}

bool Port::applyAndOpen(bool save)
{
    // OK pressed again while a network receiver is still being reached does not start
    // a second opening inside the first.
    if (m_opening)
        return false;
    const QScopedValueRollback<bool> opening(m_opening, true);
    PortKeeper &keeper = m_mscomm();
    if (keeper.PortOpen())
        keeper.close();

    QString dev = device();
    if (m_comPort == kDeviceOption && dev.isEmpty()) {
        m_g.platform().boxes->show(this, QStringLiteral("Type or choose a device for the port."),
                                   windowTitle(), MsgButtons::Ok, MsgIcon::Exclamation,
                                   MsgAnswer::Ok);
        return false;
    }
    if (save) {
        saveChoices();
        if (m_running)
            m_running->saved = true;
    }

    SerialPort &port = keeper.port();
    if (m_comPort == kDeviceOption) {
        port.setDevice(dev);
    } else {
        port.setDevice(QString());
        port.setCommPort(m_comPort);
    }
    port.setSettings(settingsText());
    const bool opened = keeper.open();
    QCoreApplication::processEvents();

    // Cancel pressed while a network receiver was being reached abandoned the attempt:
    // no box about it; Cancel does its work once this opening has ended.
    if (!opened && m_cancelWhileOpening) {
        m_cancelWhileOpening = false;
        QMetaObject::invokeMethod(this, &Port::CancelButton_Click, Qt::QueuedConnection);
        return false;
    }
    if (!opened) {
        const QString text =
            portNotAvailableText(port.displayName(), port.systemName(), port.errorString(),
                                 probeDeviceAccess(port.systemName()));
        m_g.platform().boxes->show(isVisible() ? this : nullptr, text, kTitle, MsgButtons::Ok,
                                   MsgIcon::None, MsgAnswer::Ok);
        return false;
    }
    if (isVisible())
        accept();
    else
        hide();
    return true;
}

void Port::saveChoices()
{
    SettingsStore &store = *m_g.platform().settings;
    store.SaveSetting(kSection, QStringLiteral("Port"), QString::number(m_comPort));
    store.SaveSetting(kSection, QStringLiteral("Speed"), QString::number(m_speed));
    store.SaveSetting(kSection, QStringLiteral("Parity"), QString::number(m_parity));
    store.SaveSetting(kSection, QStringLiteral("DataBits"), QString::number(m_dataBits));
    store.SaveSetting(kSection, QStringLiteral("StopBits"), QString::number(m_stopBits));
    if (m_comPort == kDeviceOption)
        store.SaveSetting(kSection, QStringLiteral("Device"), device());
}

void Port::CancelButton_Click()
{
    if (m_opening) {
        // A network receiver still being reached: stop reaching it; the opening ends
        // as failed and hands back to Cancel.
        m_cancelWhileOpening = true;
        m_mscomm().port().close();
        return;
    }
    if (!m_running) {
        m_g.platform().endProgram(0);
        return;
    }
    const Running was = *m_running;
    m_deviceBox->setEditText(was.deviceText);
    ComPort_Click(was.comPort);
    Speed_Click(was.speed);
    Option1_Click(was.parity);
    DataBits_Click(was.dataBits);
    StopBits_Click(was.stopBits);
    // An attempt that failed saved its choices; the port kept is the one to start with.
    if (was.saved)
        saveChoices();
    PortKeeper &keeper = m_mscomm();
    if (!keeper.PortOpen()) {
        SerialPort &port = keeper.port();
        port.setDevice(was.portDevice);
        if (was.portDevice.isEmpty())
            port.setCommPort(was.portCom);
        port.setSettings(was.portSettings);
        keeper.open();
    }
    QDialog::reject();
}

void Port::reject()
{
    // Escape or the window's close button: the same as Cancel.
    CancelButton_Click();
}

void Port::change()
{
    const SerialPort &port = m_mscomm().port();
    m_running = Running{m_comPort, m_speed,       m_parity,        m_dataBits,      m_stopBits,
                        device(),  port.device(), port.CommPort(), port.Settings(), false};
    exec();
}
