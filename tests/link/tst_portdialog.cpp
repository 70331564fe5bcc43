#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "platform/qtserialport.h"
#include "sim/simulatedport.h"
#include "testplatform.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QSettings>
#include <QtTest>

namespace {

// The dialog with everything behind it: shared state, a fake port and its keeper.
struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    FakeSerialPort port;
    PortKeeper keeper{g, port};
    int touched = 0;
    Port dialog{g, [this]() -> PortKeeper & {
                    ++touched;
                    return keeper;
                }};

    QString stored(const QString &key)
    {
        return tp.settings->GetSetting(QStringLiteral("Port"), key, QStringLiteral("<absent>"));
    }
    int checked(const QString &group)
    {
        auto *g = dialog.findChild<QButtonGroup *>(group);
        return g ? g->checkedId() : -999;
    }
};

} // namespace

class TestPortDialog : public QObject {
    Q_OBJECT
private slots:
    void emptyStoreSelectsDefaultsAndOpens();
    void choicesAreSavedAndConfigured();
    void defaultThenCancelEndsWithoutSaving();
    void okAtStartReopensWithChoicesShown();
    void storedValuesSelectTheirOptions_data();
    void storedValuesSelectTheirOptions();
    void portThatFailsToOpenKeepsDialogUp();
    void deviceOptionOpensNamedDevice();
    void deviceOverrideFromCommandLine();
    void commandLinePortSavedOnlyOnOk_data();
    void commandLinePortSavedOnlyOnOk();
    void deviceOptionWithoutDeviceIsRefused();
    void closingTheDialogIsCancel();
    void realPortFailureGivesTheSystemsReason();
    void changingThePortWhileRunning_data();
    void changingThePortWhileRunning();
};

void TestPortDialog::emptyStoreSelectsDefaultsAndOpens()
{
    Rig r;
    r.dialog.Form_Load();
    QCOMPARE(r.checked("ComPort"), 1);
    QCOMPARE(r.checked("Speed"), 9600);
    QCOMPARE(r.checked("Option1"), 101);
    QCOMPARE(r.checked("DataBits"), 8);
    QCOMPARE(r.checked("StopBits"), 1);
    QCOMPARE(r.port.openedSettings, QList<QString>{"9600,e,8,1"});
    QCOMPARE(r.port.CommPort(), 1);
    QVERIFY(r.port.PortOpen());
    QVERIFY(r.tp.boxes.shown.isEmpty());
    QVERIFY(r.touched >= 1);
    // The load pass's OK saves what it applied.
    QCOMPARE(r.stored("Speed"), QStringLiteral("9600"));
}

void TestPortDialog::choicesAreSavedAndConfigured()
{
    Rig r;
    r.dialog.Form_Load();
    r.dialog.findChild<QAbstractButton *>("Speed_19200")->click();
    r.dialog.findChild<QAbstractButton *>("Option1_110")->click();
    r.dialog.findChild<QAbstractButton *>("ComPort_3")->click();
    QVERIFY(r.dialog.OKButton_Click());
    QCOMPARE(r.stored("Speed"), QStringLiteral("19200"));
    QCOMPARE(r.stored("Parity"), QStringLiteral("110"));
    QCOMPARE(r.stored("Port"), QStringLiteral("3"));
    QCOMPARE(r.stored("DataBits"), QStringLiteral("8"));
    QCOMPARE(r.stored("StopBits"), QStringLiteral("1"));
    QCOMPARE(r.port.openedSettings.last(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(r.port.CommPort(), 3);
}

void TestPortDialog::defaultThenCancelEndsWithoutSaving()
{
    Rig r;
    r.tp.settings->SaveSetting("Port", "Speed", "2400");
    r.dialog.Speed_Click(2400);
    r.dialog.Default_Click();
    QCOMPARE(r.checked("Speed"), 9600);
    r.dialog.CancelButton_Click();
    QCOMPARE(r.tp.endCalls, QList<int>{0});
    QCOMPARE(r.stored("Speed"), QStringLiteral("2400"));
    QCOMPARE(r.stored("Port"), QStringLiteral("<absent>"));
}

void TestPortDialog::okAtStartReopensWithChoicesShown()
{
    Rig r;
    r.dialog.Form_Load();
    QCOMPARE(r.port.opens, 1);
    r.dialog.findChild<QAbstractButton *>("StopBits_2")->click();
    QVERIFY(r.dialog.OKButton_Click());
    QCOMPARE(r.port.opens, 2);
    QCOMPARE(r.port.openedSettings.last(), QStringLiteral("9600,e,8,2"));
    QVERIFY(r.port.PortOpen());
}

void TestPortDialog::storedValuesSelectTheirOptions_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("selected");
    QTest::newRow("port 4") << "Port"
                            << "4"
                            << "ComPort" << 4;
    QTest::newRow("port 0") << "Port"
                            << "0"
                            << "ComPort" << 1;
    QTest::newRow("port 9") << "Port"
                            << "9"
                            << "ComPort" << 1;
    QTest::newRow("port -2") << "Port"
                             << "-2"
                             << "ComPort" << 1;
    QTest::newRow("port text") << "Port"
                               << "two"
                               << "ComPort" << 1;
    QTest::newRow("port device without name") << "Port"
                                              << "5"
                                              << "ComPort" << 1;
    QTest::newRow("speed 2400") << "Speed"
                                << "2400"
                                << "Speed" << 2400;
    QTest::newRow("speed with blanks") << "Speed"
                                       << "  1200"
                                       << "Speed" << 1200;
    QTest::newRow("speed 9601") << "Speed"
                                << "9601"
                                << "Speed" << 9600;
    QTest::newRow("speed fraction") << "Speed"
                                    << "2400.5"
                                    << "Speed" << 9600;
    QTest::newRow("speed huge") << "Speed"
                                << "1e300"
                                << "Speed" << 9600;
    QTest::newRow("speed hex") << "Speed"
                               << "&h4B0"
                               << "Speed" << 1200;
    QTest::newRow("speed empty") << "Speed"
                                 << ""
                                 << "Speed" << 9600;
    QTest::newRow("speed control chars") << "Speed"
                                         << "\x01\x02"
                                         << "Speed" << 9600;
    QTest::newRow("parity odd") << "Parity"
                                << "111"
                                << "Option1" << 111;
    QTest::newRow("parity letter") << "Parity"
                                   << "e"
                                   << "Option1" << 101;
    QTest::newRow("parity unknown code") << "Parity"
                                         << "120"
                                         << "Option1" << 101;
    QTest::newRow("data bits 7") << "DataBits"
                                 << "7"
                                 << "DataBits" << 7;
    QTest::newRow("data bits 9") << "DataBits"
                                 << "9"
                                 << "DataBits" << 8;
    QTest::newRow("stop bits 2") << "StopBits"
                                 << "2"
                                 << "StopBits" << 2;
    QTest::newRow("stop bits 0") << "StopBits"
                                 << "0"
                                 << "StopBits" << 1;
}

void TestPortDialog::storedValuesSelectTheirOptions()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, group);
    QFETCH(int, selected);
    Rig r;
    r.tp.settings->SaveSetting("Port", key, value);
    r.dialog.Form_Load();
    QCOMPARE(r.checked(group), selected);
    // Whatever was stored, the port is handed a valid settings text.
    QVERIFY(LineSettings::parse(r.port.openedSettings.last()).has_value());
}

void TestPortDialog::portThatFailsToOpenKeepsDialogUp()
{
    Rig r;
    r.port.refuseOpen = true;
    r.tp.settings->SaveSetting("Port", "Port", "3");
    r.dialog.Form_Load();
    QCOMPARE(r.tp.boxes.shown.size(), 1);
    QCOMPARE(r.tp.boxes.shown[0].text,
             QStringLiteral("COM3: not available. Change the CommPort property to another port."));
    QCOMPARE(r.tp.boxes.shown[0].title, QStringLiteral("Kestrel"));
    QCOMPARE(r.tp.boxes.shown[0].buttons, MsgButtons::Ok);
    r.dialog.show();
    QVERIFY(!r.dialog.OKButton_Click());
    QVERIFY(r.dialog.isVisible());
    QCOMPARE(r.checked("ComPort"), 3);
    // The failing choice is kept for the next start.
    QCOMPARE(r.stored("Port"), QStringLiteral("3"));
    r.port.refuseOpen = false;
    QVERIFY(r.dialog.OKButton_Click());
    QVERIFY(!r.dialog.isVisible());
}

void TestPortDialog::deviceOptionOpensNamedDevice()
{
    Rig r;
    r.tp.settings->SaveSetting("Port", "Port", "5");
    r.tp.settings->SaveSetting("Port", "Device", "/dev/ttyUSB7");
    r.port.refuseOpen = true;
    r.dialog.Form_Load();
    QCOMPARE(r.checked("ComPort"), 5);
    QCOMPARE(r.port.systemName(), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(r.tp.boxes.shown.value(0).text,
             QStringLiteral(
                 "/dev/ttyUSB7: not available. Change the CommPort property to another port."));
    // Back to a numbered port: the device is no longer used.
    r.port.refuseOpen = false;
    r.dialog.ComPort_Click(2);
    QVERIFY(r.dialog.OKButton_Click());
    QCOMPARE(r.port.systemName(), comPortDevice(2));
    QCOMPARE(r.stored("Device"), QStringLiteral("/dev/ttyUSB7"));
}

void TestPortDialog::deviceOverrideFromCommandLine()
{
    Rig r;
    r.tp.settings->SaveSetting("Port", "Port", "2");
    r.dialog.Form_Load(QStringLiteral("/dev/pts/42"));
    QCOMPARE(r.checked("ComPort"), 5);
    QCOMPARE(r.port.opens, 1);
    QCOMPARE(r.port.systemName(), QStringLiteral("/dev/pts/42"));
    QCOMPARE(r.dialog.findChild<QComboBox *>("DeviceName")->currentText(),
             QStringLiteral("/dev/pts/42"));
}

void TestPortDialog::commandLinePortSavedOnlyOnOk_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("ok");
    QTest::newRow("--port, Cancel") << "/dev/pts/42" << false;
    QTest::newRow("--port, OK") << "/dev/pts/42" << true;
    QTest::newRow("--simulate, Cancel") << SimulatedPort::deviceName() << false;
    QTest::newRow("--simulate, OK") << SimulatedPort::deviceName() << true;
}

void TestPortDialog::commandLinePortSavedOnlyOnOk()
{
    QFETCH(QString, device);
    QFETCH(bool, ok);
    Rig r;
    r.tp.settings->SaveSetting("Port", "Port", "2");
    r.tp.settings->SaveSetting("Port", "Speed", "2400");
    r.dialog.Form_Load(device);
    QCOMPARE(r.port.systemName(), device);
    r.dialog.show();
    if (ok) {
        QVERIFY(r.dialog.OKButton_Click());
    } else {
        r.dialog.reject();
        QCOMPARE(r.tp.endCalls, QList<int>{0});
    }
    QCOMPARE(r.stored("Port"), ok ? QStringLiteral("5") : QStringLiteral("2"));
    QCOMPARE(r.stored("Device"), ok ? device : QStringLiteral("<absent>"));
    QCOMPARE(r.stored("Speed"), QStringLiteral("2400"));

    // The next start, without a port on the command line, reads the same store.
    Port next{r.g, [&r]() -> PortKeeper & { return r.keeper; }};
    next.Form_Load();
    QCOMPARE(next.findChild<QButtonGroup *>("ComPort")->checkedId(), ok ? 5 : 2);
    QCOMPARE(r.port.systemName(), ok ? device : comPortDevice(2));
}

void TestPortDialog::deviceOptionWithoutDeviceIsRefused()
{
    Rig r;
    r.dialog.Form_Load();
    r.dialog.findChild<QComboBox *>("DeviceName")->setEditText(QString());
    r.dialog.ComPort_Click(5);
    QVERIFY(!r.dialog.OKButton_Click());
    QCOMPARE(r.tp.boxes.shown.size(), 1);
    QCOMPARE(r.stored("Port"), QStringLiteral("1"));
}

void TestPortDialog::closingTheDialogIsCancel()
{
    Rig r;
    r.dialog.Form_Load();
    r.dialog.show();
    r.dialog.reject();
    QCOMPARE(r.tp.endCalls, QList<int>{0});
}

void TestPortDialog::realPortFailureGivesTheSystemsReason()
{
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QtSerialPort port;
    PortKeeper keeper{g, port};
    Port dialog{g, [&]() -> PortKeeper & { return keeper; }};
    dialog.Form_Load(QStringLiteral("/dev/kestrel-no-such-port"));
    QCOMPARE(tp.boxes.shown.size(), 1);
    const QStringList lines = tp.boxes.shown[0].text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("/dev/kestrel-no-such-port: not available. Change the "
                                      "CommPort property to another port."));
    // The system's own words, whatever its language: not empty, one sentence.
    QVERIFY(lines[1].size() > 1);
    QVERIFY(lines[1].endsWith(QLatin1Char('.')));
    QVERIFY(!port.PortOpen());
}

void TestPortDialog::changingThePortWhileRunning_data()
{
    QTest::addColumn<bool>("refused"); // the new port cannot be opened
    QTest::addColumn<bool>("ok");      // OK is pressed before Cancel
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("openOn"); // the Com port open at the end
    QTest::addColumn<bool>("slow");  // the new port is still being reached when Cancel comes
    QTest::newRow("cancel keeps the port") << false << false << true << 1 << false;
    QTest::newRow("cancel while the new port is being reached: the old port, no box")
        << false << true << true << 1 << true;
    QTest::newRow("a failed attempt, then cancel: the old port again")
        << true << true << true << 1 << false;
    QTest::newRow("OK replaces the port") << false << true << false << 3 << false;
}

void TestPortDialog::changingThePortWhileRunning()
{
    QFETCH(bool, refused);
    QFETCH(bool, ok);
    QFETCH(bool, cancel);
    QFETCH(int, openOn);
    QFETCH(bool, slow);
    Rig r;
    r.dialog.Form_Load();
    QVERIFY(r.port.PortOpen());
    QTimer::singleShot(0, &r.dialog, [&] {
        r.dialog.ComPort_Click(3);
        r.port.refuseOpen = refused;
        r.port.slowToReach = slow;
        if (slow) // Cancel comes while OK waits for the port
            QTimer::singleShot(100, &r.dialog, [&] {
                r.port.slowToReach = false;
                r.dialog.CancelButton_Click();
            });
        if (ok)
            r.dialog.OKButton_Click();
        if (slow)
            return;
        r.port.refuseOpen = false;
        if (cancel)
            r.dialog.CancelButton_Click();
    });
    QTimer::singleShot(5000, &r.dialog, [&] { r.dialog.done(0); }); // never left hanging
    r.dialog.change();
    QVERIFY(r.tp.endCalls.isEmpty());
    if (slow) // an attempt the user abandoned is no failure to tell
        QVERIFY(r.tp.boxes.shown.isEmpty());
    QVERIFY(r.port.PortOpen());
    QCOMPARE(r.port.systemName(), comPortDevice(openOn));
    QCOMPARE(r.checked("ComPort"), openOn);
    // What is saved is the port that runs: the next start opens it.
    QCOMPARE(r.stored("Port"), QString::number(openOn));
}

QTEST_MAIN(TestPortDialog)
#include "tst_portdialog.moc"
