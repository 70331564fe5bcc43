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
    void jsonEscapesEachCharacter_data();
    void jsonEscapesEachCharacter();
    void decoderWithoutTextsKeepsTheFrames();
    void textsKeptBetweenFramesFollowEachFrame_data();
    void textsKeptBetweenFramesFollowEachFrame();
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

void TestFrameDecode::jsonEscapesEachCharacter_data()
{
    // A field's text, and the JSON string it becomes: quote and backslash after a
    // backslash, the other control characters as \u00xx in lower case, everything else
    // (DEL, non-ASCII) as its UTF-8 bytes.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("plain") << QStringLiteral("47 N") << QByteArray(R"("47 N")");
    QTest::newRow("quote") << QStringLiteral("22.2\"") << QByteArray(R"("22.2\"")");
    QTest::newRow("backslash") << QStringLiteral("a\\b") << QByteArray(R"("a\\b")");
    QTest::newRow("nul, tab, newline, unit separator")
        << QString::fromLatin1("\0\t\n\x1f", 4) << QByteArray(R"("\u0000\u0009\u000a\u001f")");
    QTest::newRow("blank and DEL pass") << QStringLiteral(" \x7f") << QByteArray("\" \x7f\"");
    QTest::newRow("degree sign, two bytes")
        << QStringLiteral("47\u00b0") << QByteArray("\"47\xc2\xb0\"");
    QTest::newRow("en dash, three bytes")
        << QStringLiteral("\u2013") << QByteArray("\"\xe2\x80\x93\"");
    QTest::newRow("satellite emoji, a surrogate pair, four bytes")
        << QStringLiteral("\U0001F6F0") << QByteArray("\"\xf0\x9f\x9b\xb0\"");
    QTest::newRow("lone surrogate as toUtf8 writes it")
        << QString(QChar(0xD800)) + QLatin1Char('x') << QByteArray("\"?x\"");
}

void TestFrameDecode::jsonEscapesEachCharacter()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, json);
    DecodedFrame f;
    f.logLine = QStringLiteral("CMD: C4");
    f.windows = {{QStringLiteral("Diagnosis"), {{QStringLiteral("Text"), text}}}};
    QCOMPARE(frameJson(f),
             QByteArray(R"({"log":"CMD: C4","windows":{"Diagnosis":{"Text":)") + json + "}}}");
    // The text output is the text itself in UTF-8, as QString writes it.
    QByteArray out = "kept";
    appendFrameText(out, f);
    QCOMPARE(out, "kept" + frameText(f).toUtf8());
    QCOMPARE(out, "keptCMD: C4\nDiagnosis.Text: " + text.toUtf8() + '\n');
}

void TestFrameDecode::decoderWithoutTextsKeepsTheFrames()
{
    // A good navigation frame, a damaged one and an acknowledgement: the same frames,
    // log lines and bytes either way, and no window texts without them.
    const QByteArray nav = buildFrameOfType(0xCA, QByteArray(0x44, '\x01'));
    QByteArray bad = nav;
    bad[10] = char(bad[10] ^ 0x40);
    const QByteArray stream = nav + bad + buildFrameOfType(0xB7, {});
    FrameDecoder full(12), bare(12, FrameDecoder::Texts::Skipped);
    const QList<DecodedFrame> a = full.feed(stream, 7), b = bare.feed(stream, 7);
    QCOMPARE(b.size(), a.size());
    QVERIFY(a.size() >= 3);
    QVERIFY(!a[0].windows.isEmpty());
    for (qsizetype i = 0; i < a.size(); ++i) {
        QCOMPARE(b[i].logLine, a[i].logLine);
        QCOMPARE(b[i].bytes, a[i].bytes);
        QCOMPARE(b[i].good, a[i].good);
        QCOMPARE(b[i].timeMs, a[i].timeMs);
        QVERIFY(b[i].windows.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestFrameDecode)
void TestFrameDecode::textsKeptBetweenFramesFollowEachFrame_data()
{
    everyWindowOfTheTypeDecodesIt_data();
}

void TestFrameDecode::textsKeptBetweenFramesFollowEachFrame()
{
    // One decoder keeps each window's texts between frames; every frame must still show
    // exactly what a decoder that saw only that frame shows.
    QFETCH(int, type);
    QByteArray a, b;
    for (int i = 0; i < 200; ++i) {
        a.append(char(i * 7 + 1));
        b.append(char(i % 5 == 0 ? i * 7 + 1 : i * 13 + 2));
    }
    const QList<QByteArray> frames{buildFrameOfType(type, a), buildFrameOfType(type, b),
                                   buildFrameOfType(type, a), buildFrameOfType(type)};
    FrameDecoder kept(12);
    for (const QByteArray &frame : frames) {
        FrameDecoder fresh(12);
        const QList<DecodedFrame> got = kept.feed(frame), want = fresh.feed(frame);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].windows, want[0].windows);
        QCOMPARE(frameJson(got[0]), frameJson(want[0]));
    }
}

#include "tst_framedecode.moc"
