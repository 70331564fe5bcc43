#include "about/abouttexts.h"
#include "about/sysinfo.h"
#include "about/ui/gpsabout.h"
#include "link/gpsmain.h"
#include "testplatform.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QString labelText(QWidget &w, const char *name)
{
    return w.findChild<QLabel *>(QLatin1String(name))->text();
}

bool makeProgram(const QString &dir, const QString &name, bool executable)
{
    QFile f(dir + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("#!/bin/sh\n");
    f.close();
    return f.setPermissions(executable ? (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                                       : (QFile::ReadOwner | QFile::WriteOwner));
}

} // namespace

class TestGPSAbout : public QObject {
    Q_OBJECT
private slots:
    void formLoadWritesEveryText();
    void versionIsPlainIntegers_data();
    void versionIsPlainIntegers();
    void clickingPictureShowsProgramNotes();
    void okClosesTheWindow();
    void registryValueDecoding_data();
    void registryValueDecoding();
    void sysInfoStartsFirstProgramFound_data();
    void sysInfoStartsFirstProgramFound();
    void pictureAndWindowCarryTheProgramIcon();
    void showAboutIsModal();
};

void TestGPSAbout::formLoadWritesEveryText()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    GPSAbout w(g);
    QCOMPARE(labelText(w, "lblTitle"), QStringLiteral("Application Title"));
    w.Form_Load();
    QCOMPARE(w.windowTitle(), QStringLiteral("About Kestrel"));
    QCOMPARE(labelText(w, "lblVersion"), QStringLiteral("Version 2.6.2"));
    QCOMPARE(labelText(w, "lblTitle"), QStringLiteral("Kestrel Program"));
    QCOMPARE(labelText(w, "lblCopyRight"), authorLine());
    QVERIFY(!authorLine().isEmpty());
    QCOMPARE(labelText(w, "lblDescription"),
             QStringLiteral("This program displays information from and sends commands to 'The "
                            "Kestrel Receiver Kit'.The Kit is available from: ") +
                 kitAddress() + QStringLiteral("\r\nClick picture for more program info."));
    QVERIFY(kitAddress().contains(QStringLiteral("example.org")));
    QCOMPARE(labelText(w, "lblDisclaimer"),
             QStringLiteral(
                 "Warning: This program is only an example and there is no guarantee that any "
                 "information it provides is accurate. This program is provided AS IS without "
                 "any warranty of any kind. The entire risk arising out of the use or preformance "
                 "of this software and documentation remains with you."));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("cmdOK"))->text(), QStringLiteral("OK"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("cmdSysInfo"))->text(),
             QStringLiteral("&System Info..."));
    QVERIFY(w.findChild<QWidget *>(QStringLiteral("Line1(0)")));
    QVERIFY(w.findChild<QWidget *>(QStringLiteral("Line1(1)")));
}

void TestGPSAbout::versionIsPlainIntegers_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("resource form") << "2.06.0002"
                                   << "Version 2.6.2";
    QTest::newRow("plain") << "2.6.2"
                           << "Version 2.6.2";
    QTest::newRow("two-digit parts") << "10.20.300"
                                     << "Version 10.20.300";
    QTest::newRow("missing parts") << "3"
                                   << "Version 3.0.0";
    QTest::newRow("garbage part") << "2.x.1"
                                  << "Version 2.0.1";
}

void TestGPSAbout::versionIsPlainIntegers()
{
    QFETCH(QString, version);
    QFETCH(QString, text);
    QCOMPARE(versionText(version), text);
}

void TestGPSAbout::clickingPictureShowsProgramNotes()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    GPSAbout w(g);
    w.Form_Load();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.findChild<QLabel *>(QStringLiteral("picIcon")), Qt::LeftButton);
    QCOMPARE(tp.boxes.shown.size(), 1);
    const auto &box = tp.boxes.shown[0];
    QCOMPARE(box.title, QStringLiteral("Program Information"));
    QCOMPARE(box.buttons, MsgButtons::Ok);
    QCOMPARE(box.text, programNotesText());
    const QStringList lines = box.text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 5);
    QVERIFY(!lines[0].isEmpty()); // the credit line
    QCOMPARE(lines[1],
             QStringLiteral("The Kestrel Program in in testing stages and may not function as "
                            "expected. This program may also cause unexpected operation of any "
                            "device it is connected to. I have done extensive testing  and it "
                            "functions as expected on my equipment. "));
    QVERIFY(!lines[2].isEmpty()); // the web-page line
    QCOMPARE(lines[3], QStringLiteral("Current Source Code will be available for download."));
    // Four sentences of redistribution terms, each ending in a blank.
    QVERIFY(lines[4].endsWith(QStringLiteral(". ")));
    QCOMPARE(lines[4].count(QStringLiteral(". ")), 4);
    QVERIFY(w.isVisible()); // the notes box leaves the window open
}

void TestGPSAbout::okClosesTheWindow()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    GPSAbout w(g);
    w.Form_Load();
    w.show();
    w.findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QVERIFY(tp.boxes.shown.isEmpty());
}

void TestGPSAbout::registryValueDecoding_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<uint>("reported");
    QTest::addColumn<QString>("expected"); // KeyVal starts as "before"

    const QByteArray path("C:\\Tools\\MSINFO32.EXE");
    QTest::newRow("dword 0x102") << uint(RegType::Dword) << QByteArray::fromHex("02010000") << 4u
                                 << "258";
    QTest::newRow("dword all ones")
        << uint(RegType::Dword) << QByteArray::fromHex("ffffffff") << 4u << "4294967295";
    QTest::newRow("dword high byte only")
        << uint(RegType::Dword) << QByteArray::fromHex("00000001") << 4u << "16777216";
    QTest::newRow("dword zero") << uint(RegType::Dword) << QByteArray::fromHex("00000000") << 4u
                                << "0";
    QTest::newRow("dword cut at reported length")
        << uint(RegType::Dword) << QByteArray::fromHex("0201ffff") << 2u << "258";
    QTest::newRow("string with NUL in a larger buffer")
        << uint(RegType::Sz) << (path + QByteArray("\0garbage", 8)) << uint(path.size() + 1)
        << QString::fromLatin1(path);
    QTest::newRow("string without NUL")
        << uint(RegType::Sz) << path << uint(path.size()) << QString::fromLatin1(path);
    QTest::newRow("string cut short") << uint(RegType::Sz) << path << 2u << "C:";
    QTest::newRow("reported beyond the data")
        << uint(RegType::Sz) << path << 5000u << QString::fromLatin1(path);
    QTest::newRow("empty string") << uint(RegType::Sz) << QByteArray(1, '\0') << 1u << "";
    QTest::newRow("only the last NUL dropped")
        << uint(RegType::Sz) << QByteArray("ab\0\0", 4) << 4u << QString::fromLatin1("ab\0", 3);
    QTest::newRow("expandable string left as it was")
        << 2u << path << uint(path.size()) << "before";
    QTest::newRow("binary left as it was") << 3u << QByteArray::fromHex("0102") << 2u << "before";
}

void TestGPSAbout::registryValueDecoding()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(uint, reported);
    QFETCH(QString, expected);
    QString keyVal = QStringLiteral("before");
    decodeRegistryValue(type, data, reported, keyVal);
    QCOMPARE(keyVal, expected);
}

void TestGPSAbout::sysInfoStartsFirstProgramFound_data()
{
    QTest::addColumn<QStringList>("executables");
    QTest::addColumn<QStringList>("plainFiles");
    QTest::addColumn<bool>("launchWorks");
    QTest::addColumn<QString>("started"); // empty: the unavailable message
    QTest::newRow("none on the path") << QStringList{} << QStringList{} << true << "";
    QTest::newRow("only one") << QStringList{"kinfocenter"} << QStringList{} << true
                              << "kinfocenter";
    QTest::newRow("first in list order wins") << QStringList{"lshw-gtk", "kinfocenter", "hardinfo"}
                                              << QStringList{} << true << "hardinfo";
    QTest::newRow("file that is not executable is skipped")
        << QStringList{"lshw-gtk"} << QStringList{"hardinfo2"} << true << "lshw-gtk";
    QTest::newRow("program that fails to start")
        << QStringList{"hardinfo2"} << QStringList{} << false << "";
}

void TestGPSAbout::sysInfoStartsFirstProgramFound()
{
#ifdef Q_OS_WIN
    QSKIP("Windows finds its information tool through the registry");
#endif
    QFETCH(QStringList, executables);
    QFETCH(QStringList, plainFiles);
    QFETCH(bool, launchWorks);
    QFETCH(QString, started);
    QTemporaryDir bin;
    for (const QString &name : executables)
        QVERIFY(makeProgram(bin.path(), name, true));
    for (const QString &name : plainFiles)
        QVERIFY(makeProgram(bin.path(), name, false));

    TestPlatform tp;
    GPS_Main g(tp.platform);
    GPSAbout w(g);
    w.setSysInfoSearchPaths({bin.path()});
    QStringList launched;
    w.setLauncher([&](const QString &path) {
        launched << path;
        return launchWorks;
    });
    w.findChild<QPushButton *>(QStringLiteral("cmdSysInfo"))->click();

    if (!started.isEmpty()) {
        QCOMPARE(launched, QStringList{bin.filePath(started)});
        QVERIFY(tp.boxes.shown.isEmpty());
    } else {
        QCOMPARE(launched.size(), executables.isEmpty() ? 0 : 1);
        QCOMPARE(tp.boxes.shown.size(), 1);
        QCOMPARE(tp.boxes.shown[0].text,
                 QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(tp.boxes.shown[0].buttons, MsgButtons::Ok);
    }
}

void TestGPSAbout::pictureAndWindowCarryTheProgramIcon()
{
    const QIcon icon = kestrelIcon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes().size(), 6);
    QVERIFY(!QIcon(QStringLiteral(":/about/kestrel-256.png")).isNull());
    TestPlatform tp;
    GPS_Main g(tp.platform);
    GPSAbout w(g);
    QVERIFY(!w.findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap().isNull());
    QVERIFY(!w.windowIcon().isNull());
}

void TestGPSAbout::showAboutIsModal()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QString seen;
    bool modal = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *m = QApplication::activeModalWidget();
        if (!m)
            return;
        poll.stop();
        seen = m->windowTitle();
        modal = m->isModal();
        m->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
    });
    poll.start();
    QWidget parent;
    showAbout(g, &parent);
    QCOMPARE(seen, QStringLiteral("About Kestrel"));
    QVERIFY(modal);
}

QTEST_MAIN(TestGPSAbout)
#include "tst_gpsabout.moc"
