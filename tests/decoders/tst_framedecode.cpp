#include "decoders/framedecode.h"
#include "decoders/position.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "platform/serialport.h"
#include "testplatform.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestFrameDecode : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void everyWindowOfTheTypeDecodesIt_data();
    void everyWindowOfTheTypeDecodesIt();
    void positionTextsAreTheWindowsTexts();
    void badFrameDecodesNothingAndKeepsItsBytes();
    void frameTornAcrossFeedsStillDecodes();
    void overflowEventAbandonsThePartialFrame();
    void timeZoneShiftsTheTimes();
    void textAndJsonKeepTheTextsExactly();
};

void TestFrameDecode::everyWindowOfTheTypeDecodesIt_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("windows");
    QTest::newRow("navigation: main window first") << 0xCA << QStringList{"Navigate", "Position"};
    QTest::newRow("condition") << 0xC6 << QStringList{"Condition"};
    QTest::newRow("mode") << 0xC3 << QStringList{"Mode"};
    QTest::newRow("diagnosis") << 0xC4 << QStringList{"Diagnosis"};
    QTest::newRow("time stamps") << 0xC5 << QStringList{"TimeStamp"};
    QTest::newRow("satellites") << 0xCB << QStringList{"RecSat"};
    QTest::newRow("acknowledgement") << 0xB7 << QStringList{};
}

void TestFrameDecode::everyWindowOfTheTypeDecodesIt()
{
    QFETCH(int, type);
    QFETCH(QStringList, windows);
    FrameDecoder d(12);
    const QList<DecodedFrame> frames = d.feed(QByteArray("\x01\x02") + buildFrameOfType(type));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].logLine, QStringLiteral("CMD: ") + QString::number(type, 16).toUpper());
    QStringList got;
    for (const WindowFields &w : frames[0].windows) {
        got << w.window;
        QVERIFY(!w.fields.isEmpty());
    }
    QCOMPARE(got, windows);
    QCOMPARE(frames[0].bytes, buildFrameOfType(type));
}

void TestFrameDecode::positionTextsAreTheWindowsTexts()
{
    QByteArray p;
    place(p, 4, {0x00, 0xA0, 0x00, 0x00});
    place(p, 12, {0xFF, 0xFF});
    const QByteArray frame = buildFrameOfType(0xCA, p);
    FrameDecoder d(12);
    const DecodedFrame f = d.feed(frame).value(0);

    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.TimeZoneIndex = 12;
    QByteArray loaded = frame;
    QCOMPARE(f.windows.value(1).fields, positionFields(loaded, g.TimeZoneIndex));
    QCOMPARE(fieldText(f.windows[0].fields, QStringLiteral("CurLat")),
             QString::fromUtf8(" 11°37.7777"));
    QCOMPARE(fieldText(f.windows[0].fields, QStringLiteral("CurHeight")), QStringLiteral("-0.5"));
}

void TestFrameDecode::badFrameDecodesNothingAndKeepsItsBytes()
{
    FrameDecoder d(12);
    const QList<DecodedFrame> frames = d.feed(QByteArray::fromHex("B7B7930DB7B7920D"));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].logLine, QStringLiteral("ERR: CkSum"));
    QCOMPARE(frames[0].bytes, QByteArray::fromHex("B7B7930D"));
    QVERIFY(frames[0].windows.isEmpty());
    QCOMPARE(frames[1].logLine, QStringLiteral("CMD: B7"));
    // A navigation frame with a wrong checksum reaches no window either.
    QByteArray nav = buildFrameOfType(0xCA);
    nav[42] = char(nav[42] + 1);
    QVERIFY(d.feed(nav).value(0).windows.isEmpty());
}

void TestFrameDecode::frameTornAcrossFeedsStillDecodes()
{
    FrameDecoder d(12);
    const QByteArray frame = buildFrameOfType(0xCB);
    QVERIFY(d.feed(frame.left(20), 5).isEmpty());
    QVERIFY(d.midFrame());
    const QList<DecodedFrame> frames = d.feed(frame.mid(20), 9);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].timeMs, 9); // the time of its last byte
    QVERIFY(!d.midFrame());
}

void TestFrameDecode::overflowEventAbandonsThePartialFrame()
{
    FrameDecoder d(12);
    QVERIFY(d.feed(buildFrameOfType(0xCA).left(10)).isEmpty());
    QCOMPARE(d.lineEvent(CommEvent::RxOver).logLine, QStringLiteral("ERR: RxOver"));
    QCOMPARE(d.lineEvent(CommEvent::Break).logLine, QStringLiteral("ERR: Break"));
    QCOMPARE(d.feed(QByteArray::fromHex("B7B7920D")).value(0).logLine, QStringLiteral("CMD: B7"));
}

void TestFrameDecode::timeZoneShiftsTheTimes()
{
    QByteArray p;
    place(p, 25, {0x99, 0x01, 0x01, 0x12, 0x00, 0x00});
    const QByteArray frame = buildFrameOfType(0xCA, p);
    FrameDecoder utc(12), west(5);
    const QString atUtc =
        fieldText(utc.feed(frame)[0].windows[0].fields, QStringLiteral("TimeDate"));
    const QString atWest =
        fieldText(west.feed(frame)[0].windows[0].fields, QStringLiteral("TimeDate"));
    QVERIFY2(atUtc.contains(QStringLiteral("12:00:00")), qPrintable(atUtc));
    QVERIFY2(atWest.contains(QStringLiteral("05:00:00")), qPrintable(atWest));
}

void TestFrameDecode::textAndJsonKeepTheTextsExactly()
{
    DecodedFrame f;
    f.logLine = QStringLiteral("CMD: CA");
    f.bytes = QByteArray::fromHex("CACA");
    f.timeMs = 42;
    const QString odd = QString::fromUtf8(" 47°22.2\" \\ \t");
    f.windows = {
        {QStringLiteral("Navigate"), {{QStringLiteral("CurLat"), odd}}},
        {QStringLiteral("Position"), {{QStringLiteral("Level(1)"), QStringLiteral("  0")}}}};
    QCOMPARE(frameText(f), QStringLiteral("CMD: CA\nNavigate.CurLat: ") + odd +
                               QStringLiteral("\nPosition.Level(1):   0\n"));

    const QByteArray json = frameJson(f);
    QVERIFY(!json.contains('\n'));
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.value("log").toString(), QStringLiteral("CMD: CA"));
    QCOMPARE(o.value("type").toString(), QStringLiteral("CA"));
    QCOMPARE(o.value("bytes").toString(), QStringLiteral("CA CA"));
    QCOMPARE(o.value("time_ms").toInt(), 42);
    QCOMPARE(o.value("windows")["Navigate"]["CurLat"].toString(), odd);
    QCOMPARE(o.value("windows")["Position"]["Level(1)"].toString(), QStringLiteral("  0"));
    // Fields keep the window's order in the text of the object.
    QVERIFY(json.indexOf("Navigate") < json.indexOf("Position"));
}

QTEST_GUILESS_MAIN(TestFrameDecode)
#include "tst_framedecode.moc"
