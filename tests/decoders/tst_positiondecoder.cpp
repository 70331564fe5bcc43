#include "decoders/formatters.h"
#include "decoders/navstatus.h"
#include "decoders/position.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

class TestPositionDecoder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void everyControlOfAFullFrame();
    void fieldsOfFrame_data();
    void fieldsOfFrame();
    void agreesWithMainWindow();
};

void TestPositionDecoder::everyControlOfAFullFrame()
{
    QByteArray p;
    place(p, 3, {0x04});                                           // 3D fix, shown raw
    place(p, 4, {0x00, 0xA0, 0x00, 0x00, 0xFF, 0x60, 0x00, 0x00}); // latitude, longitude
    place(p, 12, {0x01, 0x90, 0x0A, 0x03, 0x03, 0xFF, 0x40});      // height .. heading error
    place(p, 19, {0x01, 0x23, 0x06, 0x11, 0x22, 0x33});            // speed .. spares
    place(p, 25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59});            // fix time
    place(p, 31, {0x07, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04});      // dops, count, satellites in use
    place(p, 38, {0xE4, 0x00, 0xFF, 0x1B, 0x55});                  // channels, spare
    const QByteArray frame = buildFrameOfType(0xCA, p);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.TimeZoneIndex = 13;
    QByteArray loaded = frame;

    verifyAllFields(positionFields(loaded, g.TimeZoneIndex),
                    {
                        {"Validity", "04"},
                        {"HexLat", "00A00000"},
                        {"CurLat", " 11°37.7777"},
                        {"HexLon", "FF600000"},
                        {"CurLon", "-11°37.7777"},
                        {"HexHeight", "0190"},
                        {"CurHeight", "200"},
                        {"ErrEll1", "20"},
                        {"ErrEll2", "6"},
                        {"HexHead", "03FF"},
                        {"CurHead", "359.6484375"},
                        {"HexHeadErr", "40"},
                        {"CurHeadErr", "22.5"},
                        {"HexSpeed", "0123"},
                        {"CurSpeed", "30.75"},
                        {"HexSpeedErr", "06"},
                        {"CurSpeedErr", "1.5"},
                        {"Hexnu1", "11"},
                        {"Hexnu2", "22"},
                        {"Hexnu3", "33"},
                        // 31 December 1999 23:59:59 UTC, one hour east.
                        {"TimeDate", "1/1/2000 12:59:59 AM"},
                        {"HDOP", "1.4"},
                        {"VDOP", "0"},
                        {"Sats", "5"},
                        {"SatUse1", "01"},
                        {"SatUse2", "02"},
                        {"SatUse3", "03"},
                        {"SatUse4", "04"},
                        {"SatsHex1", "E4"},
                        {"Level(1)", "  0"},
                        {"Condition(1)", "Tracking"},
                        {"Level(2)", "<20"},
                        {"Condition(2)", "Decode Fix"},
                        {"SatsHex2", "00"},
                        {"Level(3)", "  0"},
                        {"Condition(3)", "Searching"},
                        {"Level(4)", "  0"},
                        {"Condition(4)", "Searching"},
                        {"SatsHex3", "FF"},
                        {"Level(5)", ">20"},
                        {"Condition(5)", "Decode Fix"},
                        {"Level(6)", ">20"},
                        {"Condition(6)", "Decode Fix"},
                        {"SatsHex4", "1B"},
                        {"Level(7)", ">20"},
                        {"Condition(7)", "Decode"},
                        {"Level(8)", "<10"},
                        {"Condition(8)", "Searching"},
                        {"UnUsed", "55"},
                        {"CheckSum", HexByte(quint8(frame[42]))},
                        {"Terminator", "0D"},
                        {"Text3", dumpOf(frame)},
                    });
    QCOMPARE(fieldText(positionFields(loaded, g.TimeZoneIndex), "Text3").size(), 132);
    QVERIFY(fieldText(positionFields(loaded, g.TimeZoneIndex), "Text3").endsWith("0D "));
}

void TestPositionDecoder::fieldsOfFrame_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<FieldPairs>("expected");

    QTest::newRow("fix status shown raw, high bits kept")
        << 3 << bytes({0x13}) << FieldPairs{{"Validity", "13"}};
    QTest::newRow("zero position")
        << 4 << bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        << FieldPairs{{"CurLat", " 0°00"}, {"CurLon", " 0°00"}, {"CurHeight", "0"}};
    QTest::newRow("position within a minute of zero must not fail")
        << 4 << bytes({0x00, 0x00, 0x10, 0x00, 0xFF, 0xFF, 0xF0, 0x00})
        << FieldPairs{{"HexLat", "00001000"}, {"HexLon", "FFFFF000"}};
    QTest::newRow("height minus a half")
        << 12 << bytes({0xFF, 0xFF}) << FieldPairs{{"HexHeight", "FFFF"}, {"CurHeight", "-0.5"}};
    QTest::newRow("largest height")
        << 12 << bytes({0x7F, 0xFF}) << FieldPairs{{"CurHeight", "16383.5"}};
    QTest::newRow("error ellipse byte doubled")
        << 14 << bytes({0xFF, 0x00}) << FieldPairs{{"ErrEll1", "510"}, {"ErrEll2", "0"}};
    QTest::newRow("heading zero") << 16 << bytes({0x00, 0x00})
                                  << FieldPairs{{"HexHead", "0000"}, {"CurHead", "0"}};
    QTest::newRow("heading quarter turn")
        << 16 << bytes({0x01, 0x00}) << FieldPairs{{"CurHead", "90"}};
    QTest::newRow("heading negative")
        << 16 << bytes({0xFF, 0x00}) << FieldPairs{{"HexHead", "FF00"}, {"CurHead", "-90"}};
    QTest::newRow("heading error largest")
        << 18 << bytes({0xFF}) << FieldPairs{{"HexHeadErr", "FF"}, {"CurHeadErr", "89.6484375"}};
    QTest::newRow("heading error smallest")
        << 18 << bytes({0x01}) << FieldPairs{{"CurHeadErr", "0.3515625"}};
    QTest::newRow("speed one") << 19 << bytes({0x00, 0x04})
                               << FieldPairs{{"HexSpeed", "0004"}, {"CurSpeed", "1"}};
    QTest::newRow("speed largest BCD")
        << 19 << bytes({0x99, 0x99}) << FieldPairs{{"CurSpeed", "2499.75"}};
    // Digits stop at the first nibble that is no decimal digit.
    QTest::newRow("speed not BCD")
        << 19 << bytes({0x1A, 0x23}) << FieldPairs{{"HexSpeed", "1A23"}, {"CurSpeed", "0.25"}};
    QTest::newRow("speed error") << 21 << bytes({0xFF}) << FieldPairs{{"CurSpeedErr", "63.75"}};
    QTest::newRow("dilutions") << 31 << bytes({0xFF, 0x03})
                               << FieldPairs{{"HDOP", "51"}, {"VDOP", "0.6"}};
    QTest::newRow("satellite count as decimal")
        << 33 << bytes({0xFF}) << FieldPairs{{"Sats", "255"}};
}

void TestPositionDecoder::fieldsOfFrame()
{
    QFETCH(int, position);
    QFETCH(QByteArray, values);
    QFETCH(FieldPairs, expected);
    QByteArray p;
    for (int i = 0; i < values.size(); ++i)
        place(p, position + i, {quint8(values[i])});
    const QByteArray frame = buildFrameOfType(0xCA, p);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;
    const Fields fields = positionFields(loaded, g.TimeZoneIndex);
    verifyFields(fields, expected);
    verifyFields(fields, {{"Terminator", "0D"}, {"Text3", dumpOf(frame)}});
    // A decoder only reads the frame.
    QCOMPARE(RawHexText(loaded), dumpOf(frame));
}

void TestPositionDecoder::agreesWithMainWindow()
{
    // Frames whose shared fields sit at the edges: negative values, non-BCD speed,
    // a time that crosses midnight in the chosen zone.
    for (int seed = 0; seed < 64; ++seed) {
        QByteArray p;
        for (int i = 0; i < 40; ++i)
            p.append(char(quint8((seed * 97 + i * 53) ^ (seed << 3))));
        TestPlatform tp;
        GPS_Main g(tp.platform);
        g.TimeZoneIndex = seed % 25;
        QByteArray loaded = buildFrameOfType(0xCA, p);
        const Fields position = positionFields(loaded, g.TimeZoneIndex);
        for (const Field &f : decodeNavStatus(loaded, g.TimeZoneIndex).fields) {
            if (f.name != "Vality")
                QCOMPARE(fieldText(position, f.name), f.text);
        }
    }
}

QTEST_GUILESS_MAIN(TestPositionDecoder)
#include "tst_positiondecoder.moc"
