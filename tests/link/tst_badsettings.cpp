// Hand-edited settings files: every stored key holding text the program never
// writes. The program still starts through the port dialog and the main window,
// each bad value gives way to its default, and the port is always configured
// with a line settings text it can take.
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/navigate.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSettings>
#include <QtTest>

namespace {

struct Key {
    const char *section;
    const char *key;
};

const Key kKeys[] = {
    {"Port", "Port"},     {"Port", "Speed"},     {"Port", "Parity"}, {"Port", "DataBits"},
    {"Port", "StopBits"}, {"Time Zone", "Zone"}, {"Show", "Sats"},   {"Show", "Status"},
};

// Values as they stand in the file after "Key=". None is a valid choice for any
// key; what the file parser makes of quotes, escapes and commas is part of the test.
const struct {
    const char *legend;
    QByteArray raw;
} kValues[] = {
    {"empty", ""},
    {"blank", "   "},
    {"not a number", "fast"},
    {"trailing letters", "9600baud"},
    {"fraction", "3.5"},
    {"out of every range", "25"},
    {"huge", "99999999999999999999"},
    {"huge exponent", "1e400"},
    {"huge hex", "&hFFFFFFFFF"},
    {"negative", "-1"},
    {"negative speed", "-9600"},
    {"control characters", "\x01\x07\x1b[2J"},
    {"escaped control characters", "\"\\a\\b\\t\\x7f\""},
    {"number then control character", "9600\x08"},
    {"comma list", "9600, 19200"},
    {"variant", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\aQPointF\\0)"},
    {"byte array", "@ByteArray(\\0\\xff)"},
    {"unterminated quote", "\"25"},
    {"very long", QByteArray(20000, '7')},
    {"not UTF-8", "\xff\xfe\xc3"},
};

// The program's start: the port dialog loads, creating the hidden main window
// whose load reads the display settings, and opens the port.
struct Start {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    std::unique_ptr<FakeSerialPort> unused = std::make_unique<FakeSerialPort>();
    FakeSerialPort *port = unused.get();
    std::unique_ptr<Navigate> w;
    std::unique_ptr<Port> dialog;
    bool written = false;

    explicit Start(const QByteArray &fileText)
    {
        const QString path =
            QSettings(QSettings::NativeFormat, QSettings::UserScope, "Kestrel", "Kestrel")
                .fileName();
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        written = f.open(QIODevice::WriteOnly) && f.write(fileText) == fileText.size();
        f.close();
        dialog = std::make_unique<Port>(g, [this]() -> PortKeeper & {
            if (!w) {
                w = std::make_unique<Navigate>(g, quality, std::move(unused));
                w->Form_Load();
            }
            return w->MSComm1();
        });
        dialog->Form_Load();
    }
    int checks(const QString &array, int count, int *which) const
    {
        int n = 0;
        for (int i = 0; i < count; ++i) {
            if (w->menuItem(QStringLiteral("%1(%2)").arg(array).arg(i))->isChecked()) {
                ++n;
                *which = i;
            }
        }
        return n;
    }
};

} // namespace

class TestBadSettings : public QObject {
    Q_OBJECT
private slots:
    void badValueOfEveryKeyStartsWithItsDefault_data();
    void badValueOfEveryKeyStartsWithItsDefault();
    void everyKeyBadAtOnceStartsWithAllDefaults();
    void handEditedGoodValuesAreTaken();
    void deviceOptionWithoutDeviceStartsOnComOne_data();
    void deviceOptionWithoutDeviceStartsOnComOne();
    void unreadableFileStartsWithAllDefaults();
};

void TestBadSettings::badValueOfEveryKeyStartsWithItsDefault_data()
{
    QTest::addColumn<QByteArray>("fileText");
    QTest::addColumn<QString>("key");
    for (const Key &k : kKeys) {
        for (const auto &v : kValues) {
            QTest::newRow(qPrintable(QStringLiteral("%1/%2: %3").arg(k.section, k.key, v.legend)))
                << QByteArray("[" + QByteArray(k.section) + "]\n" + k.key + "=" + v.raw + "\n")
                << QString::fromLatin1(k.key);
        }
    }
}

void TestBadSettings::badValueOfEveryKeyStartsWithItsDefault()
{
    QFETCH(QByteArray, fileText);
    QFETCH(QString, key);
    Start s(fileText);
    QVERIFY(s.written);
    QVERIFY(s.w);
    QCOMPARE(s.dialog->comPort(), 1);
    QCOMPARE(s.port->openedSettings, QList<QString>{"9600,e,8,1"});
    QVERIFY(s.port->PortOpen());
    QVERIFY(s.tp.boxes.shown.isEmpty());

    int zone = -1, sats = -1;
    QCOMPARE(s.checks("TZ", 25, &zone), 1);
    QCOMPARE(zone, 5);
    QCOMPARE(s.g.TimeZoneIndex, 5);
    QCOMPARE(s.checks("ShowSatPos", 4, &sats), 1);
    QCOMPARE(sats, 0);
    QCOMPARE(s.g.SatLabelMode, 0);
    // A flag is set only by "True" or a number other than 0, so of these values only
    // the ones that read as such a number show the log box.
    const bool shown = !s.w->findChild<QPlainTextEdit *>("ErrorDis")->isHidden();
    QCOMPARE(shown, s.w->menuItem("ShoStatWin")->isChecked());
    if (key != QLatin1String("Status"))
        QVERIFY(!shown);
}

void TestBadSettings::everyKeyBadAtOnceStartsWithAllDefaults()
{
    Start s("[Port]\nPort=0\nSpeed=115200\nParity=97\nDataBits=9\nStopBits=3\n"
            "Device=\x01\x02\n[Time Zone]\nZone=-12\n[Show]\nSats=4\nStatus=maybe\n");
    QCOMPARE(s.port->openedSettings, QList<QString>{"9600,e,8,1"});
    QCOMPARE(s.port->CommPort(), 1);
    QCOMPARE(s.g.TimeZoneIndex, 5);
    QCOMPARE(s.g.SatLabelMode, 0);
    QVERIFY(!s.w->menuItem("ShoStatWin")->isChecked());
    // The load pass's OK writes back what it applied, so the next start is clean.
    QCOMPARE(s.tp.settings->GetSetting("Port", "Speed", "absent"), "9600");
    QCOMPARE(s.tp.settings->GetSetting("Port", "Parity", "absent"), "101");
}

void TestBadSettings::handEditedGoodValuesAreTaken()
{
    Start s("[Port]\nPort=3\nSpeed= 19200\nParity=110\nStopBits=2\n[Time Zone]\nZone=12\n"
            "[Show]\nSats=2\nStatus=true\n");
    QCOMPARE(s.port->openedSettings, QList<QString>{"19200,n,8,2"});
    QCOMPARE(s.port->CommPort(), 3);
    QCOMPARE(s.g.TimeZoneIndex, 12);
    QCOMPARE(s.g.SatLabelMode, 2);
    QVERIFY(s.w->menuItem("ShoStatWin")->isChecked());
}

void TestBadSettings::deviceOptionWithoutDeviceStartsOnComOne_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::newRow("absent") << QByteArray();
    QTest::newRow("empty") << QByteArray("Device=\n");
    QTest::newRow("blanks and tabs") << QByteArray("Device=\"  \\t \"\n");
    QTest::newRow("list") << QByteArray("Device=, \n");
}

void TestBadSettings::deviceOptionWithoutDeviceStartsOnComOne()
{
    QFETCH(QByteArray, device);
    Start s("[Port]\nPort=5\n" + device);
    QVERIFY(s.written);
    QCOMPARE(s.dialog->comPort(), 1);
    QCOMPARE(s.port->CommPort(), 1);
    QCOMPARE(s.port->openedSettings, QList<QString>{"9600,e,8,1"});
    QVERIFY(s.tp.boxes.shown.isEmpty());
}

void TestBadSettings::unreadableFileStartsWithAllDefaults()
{
    Start s(QByteArray("\0\0\0[[[Port\n=\n==\n\xff\xfe[", 18) + QByteArray(5000, '\n'));
    QCOMPARE(s.port->openedSettings, QList<QString>{"9600,e,8,1"});
    QCOMPARE(s.g.TimeZoneIndex, 5);
    QCOMPARE(s.g.SatLabelMode, 0);
}

QTEST_MAIN(TestBadSettings)
#include "tst_badsettings.moc"
