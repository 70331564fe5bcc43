#include "link/portmessage.h"
#include "platform/deviceaccess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(DeviceAccess)

namespace {
const QString kFirst = QStringLiteral(": not available. Change the CommPort property to another "
                                      "port.");

DeviceAccess refusedBy(const QString &group, bool groupMayUse, bool memberSinceLogin = false)
{
    DeviceAccess a;
    a.exists = true;
    a.refused = true;
    a.owner = QStringLiteral("root");
    a.group = group;
    a.groupMayUse = groupMayUse;
    a.memberSinceLogin = memberSinceLogin;
    return a;
}
} // namespace

class TestPortMessage : public QObject {
    Q_OBJECT
private slots:
    void messageKeepsFirstLineAndAddsReason_data();
    void messageKeepsFirstLineAndAddsReason();
    void probeNamesTheDevicesGroup();
    void probeSeesARefusalByPermissions();
    void probeOfMissingDeviceSaysNothing();
};

void TestPortMessage::messageKeepsFirstLineAndAddsReason_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<DeviceAccess>("access");
    QTest::addColumn<QStringList>("lines");

    const QString usb = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("no reason known: the first line alone")
        << "COM3"
        << "/dev/ttyS2"
        << "" << DeviceAccess{} << QStringList{"COM3" + kFirst};
    QTest::newRow("missing device: the reason names the node behind COM n")
        << "COM3"
        << "/dev/ttyS2"
        << "No such file or directory" << DeviceAccess{}
        << QStringList{"COM3" + kFirst, "/dev/ttyS2: No such file or directory."};
    QTest::newRow("named device: not repeated on the reason line")
        << usb << usb << "Device or resource busy" << DeviceAccess{}
        << QStringList{usb + kFirst, "Device or resource busy."};
    QTest::newRow("reason that ends in a full stop keeps one")
        << usb << usb << "The device is already opened." << DeviceAccess{}
        << QStringList{usb + kFirst, "The device is already opened."};
    QTest::newRow("refused: join the device's own group, then log in again")
        << usb << usb << "Permission denied" << refusedBy("dialout", true)
        << QStringList{usb + kFirst, "Permission denied.",
                       "Members of the group \"dialout\" may use it. Join the group with",
                       "    sudo usermod -aG dialout $USER",
                       "then log out and log in again: the membership counts from the next "
                       "login."};
    QTest::newRow("refused by another group: that group is named")
        << "COM1"
        << "/dev/ttyS0"
        << "Permission denied" << refusedBy("uucp", true)
        << QStringList{"COM1" + kFirst, "/dev/ttyS0: Permission denied.",
                       "Members of the group \"uucp\" may use it. Join the group with",
                       "    sudo usermod -aG uucp $USER",
                       "then log out and log in again: the membership counts from the next "
                       "login."};
    QTest::newRow("already in the group since this login: only logging in again helps")
        << usb << usb << "Permission denied" << refusedBy("dialout", true, true)
        << QStringList{usb + kFirst, "Permission denied.",
                       "You are in the group \"dialout\" that may use it, but this login started "
                       "before you joined: log out and log in again."};
    QTest::newRow("group may not use it: joining would not help")
        << usb << usb << "Permission denied" << refusedBy("root", false)
        << QStringList{usb + kFirst, "Permission denied.",
                       "Only its owner \"root\" may open it. Ask the administrator to give a "
                       "group access to it (a udev rule), or run the program as \"root\"."};
    DeviceAccess allowed = refusedBy("dialout", true);
    allowed.refused = false;
    QTest::newRow("permissions allow it: no advice about groups")
        << usb << usb << "Device or resource busy" << allowed
        << QStringList{usb + kFirst, "Device or resource busy."};
}

void TestPortMessage::messageKeepsFirstLineAndAddsReason()
{
    QFETCH(QString, portName);
    QFETCH(QString, device);
    QFETCH(QString, reason);
    QFETCH(DeviceAccess, access);
    QFETCH(QStringList, lines);
    QCOMPARE(portNotAvailableText(portName, device, reason, access).split(QLatin1Char('\n')),
             lines);
}

void TestPortMessage::probeNamesTheDevicesGroup()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyFake"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const group *gr = ::getgrgid(::getegid());
    QVERIFY(gr);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0660) == 0);
    DeviceAccess a = probeDeviceAccess(path);
    QVERIFY(a.exists);
    QVERIFY(!a.refused);
    QCOMPARE(a.group, QString::fromLocal8Bit(gr->gr_name));
    QCOMPARE(a.groupMayUse, ::getegid() != 0);
    // Read-only for the group: joining it would not let the program write.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    QVERIFY(!probeDeviceAccess(path).groupMayUse);
}

void TestPortMessage::probeSeesARefusalByPermissions()
{
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString path = dir.filePath(QStringLiteral("ttyLocked"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
    if (::geteuid() != 0) {
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0000) == 0);
        QVERIFY(probeDeviceAccess(path).refused);
        return;
    }
    // Root may open anything: the refusal is seen from an unprivileged child.
    const passwd *nobody = ::getpwnam("nobody");
    QVERIFY2(nobody, "the user nobody is needed to see a refusal as root");
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::setgid(nobody->pw_gid) != 0 || ::setgroups(0, nullptr) != 0 ||
            ::setuid(nobody->pw_uid) != 0)
            ::_exit(3);
        const DeviceAccess a = probeDeviceAccess(path);
        ::_exit(a.exists && a.refused && a.owner == QLatin1String("root") && !a.groupMayUse ? 0
                                                                                            : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestPortMessage::probeOfMissingDeviceSaysNothing()
{
    const DeviceAccess a = probeDeviceAccess(QStringLiteral("/dev/kestrel-no-such-device"));
    QVERIFY(!a.exists);
    QVERIFY(!a.refused);
    QVERIFY(!probeDeviceAccess(QString()).exists);
}

QTEST_GUILESS_MAIN(TestPortMessage)
#include "tst_portmessage.moc"
