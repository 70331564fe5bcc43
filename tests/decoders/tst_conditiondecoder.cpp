#include "decoders/condition.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

class TestConditionDecoder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void everyControlOfAFullFrame();
    void fieldsOfFrame_data();
    void fieldsOfFrame();
    void stateTexts_data();
    void stateTexts();
};

void TestConditionDecoder::everyControlOfAFullFrame()
{
    QByteArray p;
    place(p, 3, {0x34, 0x07, 0x09, 0xAA, 0x01, 0x23});  // state, counts, height
    place(p, 9, {0xA1, 0x39, 0x45, 0x12, 0xEE, 0xEE});  // longitude, two unread bytes
    place(p, 15, {0xA0, 0x35, 0x41, 0x07, 0xEE, 0xEE}); // latitude, two unread bytes
    place(p, 21, {0x99, 0x09, 0x15, 0x12, 0x34, 0x56}); // date and time
    place(p, 27,
          {0x01, 0x40, 0x02, 0x41, 0x03, 0x42, 0x04, 0x43, 0x05, 0x44, 0x06, 0x45, 0x07, 0x46, 0x32,
           0x47, 0xEE, 0xEE});
    QByteArray frame = buildFrameOfType(0xC6, p);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;

    QByteArray shown = frame;
    shown[2] = 0x04;
    verifyAllFields(conditionFields(loaded), {
                                                 {"Condition", "3D position fix"},
                                                 {"SHealth", "07 Health satellites"},
                                                 {"SVisible", "09 Visible satellites"},
                                                 {"SHeight", "Height +0123m"},
                                                 {"Longitude", "East 139° 45\" 12'"},
                                                 {"Latitude", "North 35° 41\" 07'"},
                                                 {"CDate", "Satellite Date: 99-09-15 12:34:56 UTC"},
                                                 {"Satellite(1)", "01"},
                                                 {"Level(1)", "40"},
                                                 {"Satellite(2)", "02"},
                                                 {"Level(2)", "41"},
                                                 {"Satellite(3)", "03"},
                                                 {"Level(3)", "42"},
                                                 {"Satellite(4)", "04"},
                                                 {"Level(4)", "43"},
                                                 {"Satellite(5)", "05"},
                                                 {"Level(5)", "44"},
                                                 {"Satellite(6)", "06"},
                                                 {"Level(6)", "45"},
                                                 {"Satellite(7)", "07"},
                                                 {"Level(7)", "46"},
                                                 {"Satellite(8)", "32"},
                                                 {"Level(8)", "47"},
                                                 {"RawHex", dumpOf(shown)},
                                             });
    // Only the dump clears the high nibble; the receive buffer is left as received.
    QCOMPARE(quint8(loaded[2]), quint8(0x34));
    QCOMPARE(quint8(loaded[3]), quint8(0x07));
}

void TestConditionDecoder::fieldsOfFrame_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<FieldPairs>("expected");

    QTest::newRow("negative height")
        << 6 << bytes({0x00, 0x01, 0x50}) << FieldPairs{{"SHeight", "Height -0150m"}};
    QTest::newRow("height sign other than AA is minus")
        << 6 << bytes({0xAB, 0x00, 0x00}) << FieldPairs{{"SHeight", "Height -0000m"}};
    QTest::newRow("west longitude")
        << 9 << bytes({0x01, 0x22, 0x33, 0x44}) << FieldPairs{{"Longitude", "West 122° 33\" 44'"}};
    QTest::newRow("longitude flag in high nibble only")
        << 9 << bytes({0xB1, 0x00, 0x00, 0x00}) << FieldPairs{{"Longitude", "West 100° 00\" 00'"}};
    QTest::newRow("south latitude")
        << 15 << bytes({0x00, 0x33, 0x51, 0x09}) << FieldPairs{{"Latitude", "South 33° 51\" 09'"}};
    QTest::newRow("north with digits in low nibble")
        << 15 << bytes({0xA5, 0x12, 0x00, 0x00}) << FieldPairs{{"Latitude", "North 12° 00\" 00'"}};
    QTest::newRow("not BCD shows letters")
        << 4 << bytes({0xAB, 0xFF})
        << FieldPairs{{"SHealth", "AB Health satellites"}, {"SVisible", "FF Visible satellites"}};
    QTest::newRow("empty pairs") << 27 << bytes({0x00, 0x00})
                                 << FieldPairs{{"Satellite(1)", "00"}, {"Level(1)", "00"}};
}

void TestConditionDecoder::fieldsOfFrame()
{
    QFETCH(int, position);
    QFETCH(QByteArray, values);
    QFETCH(FieldPairs, expected);
    QByteArray p;
    for (int i = 0; i < values.size(); ++i)
        place(p, position + i, {quint8(values[i])});
    const QByteArray frame = buildFrameOfType(0xC6, p);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;
    const Fields fields = conditionFields(loaded);
    verifyFields(fields, expected);
    verifyFields(fields, {{"RawHex", dumpOf(frame)}});
}

void TestConditionDecoder::stateTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rawByte");
    QTest::newRow("0") << 0x00 << "No Satellite usable"
                       << "00";
    QTest::newRow("1") << 0x01 << "1 Satellite usable"
                       << "01";
    QTest::newRow("2") << 0x02 << "2 Satellite usable"
                       << "02";
    QTest::newRow("3") << 0x03 << "2D position fix"
                       << "03";
    QTest::newRow("4 with high bits") << 0x34 << "3D position fix"
                                      << "04";
    QTest::newRow("5") << 0x05 << "Accel exceed limit"
                       << "05";
    QTest::newRow("6") << 0x06 << "Unknown data"
                       << "06";
    QTest::newRow("7") << 0x07 << "Unknown data"
                       << "07";
    QTest::newRow("8") << 0x08 << "Unknown data"
                       << "08";
    QTest::newRow("9") << 0x09 << "Receiver Error"
                       << "09";
    QTest::newRow("9 with high bits") << 0xF9 << "Receiver Error"
                                      << "09";
    QTest::newRow("10") << 0x0A << "Unknown data"
                        << "0A";
    QTest::newRow("15") << 0xFF << "Unknown data"
                        << "0F";
}

void TestConditionDecoder::stateTexts()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(QString, rawByte);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = buildFrameOfType(0xC6, bytes({state}));
    const Fields fields = conditionFields(loaded);
    QCOMPARE(fieldText(fields, "Condition"), text);
    QCOMPARE(fieldText(fields, "RawHex").mid(6, 2), rawByte);
    QCOMPARE(quint8(loaded[2]), quint8(state));
}

QTEST_GUILESS_MAIN(TestConditionDecoder)
#include "tst_conditiondecoder.moc"
