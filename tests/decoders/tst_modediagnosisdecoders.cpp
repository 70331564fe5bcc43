#include "decoders/diagnosis.h"
#include "decoders/mode.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

class TestModeDiagnosisDecoders : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void modeControlsOfFrame_data();
    void modeControlsOfFrame();
    void diagnosisControlsOfFrame_data();
    void diagnosisControlsOfFrame();
    void revisionLetterRoundsHalvesToEven_data();
    void revisionLetterRoundsHalvesToEven();
    void errorCodeTexts_data();
    void errorCodeTexts();
};

void TestModeDiagnosisDecoders::modeControlsOfFrame_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<FieldPairs>("expected");

    QTest::newRow("all zero") << bytes({0, 0, 0, 0, 0, 0, 0})
                              << FieldPairs{{"Mode", "Position Fix Mode: 2D only"},
                                            {"MinElevat", "Min Elevation: 0°"},
                                            {"MinSignal", "Min Signal Level: 0"},
                                            {"PDOP", "PDOP Limit: <=5"},
                                            {"Smoothing", "Smoothing :2 Seconds"},
                                            {"Search", "Search Mode:Finished"},
                                            {"SHeight", "Set Height:  0m"}};
    QTest::newRow("flags C1, height 61.5")
        << bytes({1, 5, 30, 1, 0xC1, 0x01, 0x23})
        << FieldPairs{
               {"Mode", "Position Fix Mode: 3D only"}, {"MinElevat", "Min Elevation: 5°"},
               {"MinSignal", "Min Signal Level: 6"},   {"PDOP", "PDOP Limit: <=10"},
               {"Smoothing", "Smoothing :5 Seconds"},  {"Search", "Not Search Mode:Not Finished"},
               {"SHeight", "Set Height:  61.5m"}};
    QTest::newRow("catch-all texts")
        << bytes({7, 90, 43, 2, 0x82, 0x00, 0x01})
        << FieldPairs{
               {"Mode", "Position Fix Mode: Auto"},    {"MinElevat", "Min Elevation: 90°"},
               {"MinSignal", "Min Signal Level: 8.6"}, {"PDOP", "PDOP Limit: <=20"},
               {"Smoothing", "Smoothing :Not Used"},   {"Search", "Not Search Mode:Finished"},
               {"SHeight", "Set Height:  .5m"}};
    QTest::newRow("largest values")
        << bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x99, 0x99})
        << FieldPairs{{"Mode", "Position Fix Mode: Auto"},   {"MinElevat", "Min Elevation: 255°"},
                      {"MinSignal", "Min Signal Level: 51"}, {"PDOP", "PDOP Limit: <=20"},
                      {"Smoothing", "Smoothing :Not Used"},  {"Search", "Search Mode:Not Finished"},
                      {"SHeight", "Set Height:  4999.5m"}};
    // The receiver sends BCD only; letters end the number.
    QTest::newRow("height not BCD")
        << bytes({0, 0, 0, 0, 0, 0x12, 0xA4}) << FieldPairs{{"SHeight", "Set Height:  6m"}};
}

void TestModeDiagnosisDecoders::modeControlsOfFrame()
{
    QFETCH(QByteArray, payload);
    QFETCH(FieldPairs, expected);
    const QByteArray frame = buildFrameOfType(0xC3, payload);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;
    const Fields fields = modeFields(loaded);
    if (expected.size() == 7)
        verifyAllFields(fields, expected + FieldPairs{{"RawHex", dumpOf(frame)}});
    else
        verifyFields(fields, expected);
    QCOMPARE(fieldText(fields, "RawHex").size(), 33);
}

void TestModeDiagnosisDecoders::diagnosisControlsOfFrame_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<FieldPairs>("expected");

    QTest::newRow("healthy receiver") << bytes({0x01, 0x23, 0x10, 0x0A, 0x00, 0x51, 0x53})
                                      << FieldPairs{{"Version", "Firmware Version: 01.23A"},
                                                    {"UnKnown", "Unknown Extra Byte: 0A"},
                                                    {"Error1", "00h No Error"},
                                                    {"Error2", "51h Antenna Open"},
                                                    {"Error3", "53h Antenna Short"}};
    QTest::newRow("errors and unknown codes") << bytes({0xFF, 0x00, 0xFF, 0xFF, 0x77, 0x41, 0x12})
                                              << FieldPairs{{"Version", "Firmware Version: FF.00P"},
                                                            {"UnKnown", "Unknown Extra Byte: FF"},
                                                            {"Error1", "77 Unknown data"},
                                                            {"Error2", "41h TCXO Error"},
                                                            {"Error3", "12h RAM Error"}};
    QTest::newRow("revision at sign") << bytes({0x02, 0x10, 0x00, 0x00, 0x11, 0x13, 0x01})
                                      << FieldPairs{{"Version", "Firmware Version: 02.10@"},
                                                    {"UnKnown", "Unknown Extra Byte: 00"},
                                                    {"Error1", "11h ROM Error"},
                                                    {"Error2", "13h RTC Error"},
                                                    {"Error3", "01 Unknown data"}};
}

void TestModeDiagnosisDecoders::diagnosisControlsOfFrame()
{
    QFETCH(QByteArray, payload);
    QFETCH(FieldPairs, expected);
    const QByteArray frame = buildFrameOfType(0xC4, payload);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;
    verifyAllFields(diagnosisFields(loaded),
                    expected + FieldPairs{{"CheckSum", "CheckSum: " + dumpOf(frame).mid(27, 2)},
                                          {"RawHex", dumpOf(frame)}});
}

void TestModeDiagnosisDecoders::revisionLetterRoundsHalvesToEven_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("letter");
    QTest::newRow("00") << 0x00 << "@";
    QTest::newRow("07 rounds down") << 0x07 << "@";
    QTest::newRow("08 half to even 64") << 0x08 << "@";
    QTest::newRow("09 rounds up") << 0x09 << "A";
    QTest::newRow("10") << 0x10 << "A";
    QTest::newRow("17") << 0x17 << "A";
    QTest::newRow("18 half to even 66") << 0x18 << "B";
    QTest::newRow("28 half to even 66") << 0x28 << "B";
    QTest::newRow("29") << 0x29 << "C";
    QTest::newRow("F8 half to even 80") << 0xF8 << "P";
    QTest::newRow("FF") << 0xFF << "P";
}

void TestModeDiagnosisDecoders::revisionLetterRoundsHalvesToEven()
{
    QFETCH(int, byte);
    QFETCH(QString, letter);
    QCOMPARE(revisionLetter(quint8(byte)), letter);
}

void TestModeDiagnosisDecoders::errorCodeTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("00") << 0x00 << "00h No Error";
    QTest::newRow("11") << 0x11 << "11h ROM Error";
    QTest::newRow("12") << 0x12 << "12h RAM Error";
    QTest::newRow("13") << 0x13 << "13h RTC Error";
    QTest::newRow("41") << 0x41 << "41h TCXO Error";
    QTest::newRow("51") << 0x51 << "51h Antenna Open";
    QTest::newRow("53") << 0x53 << "53h Antenna Short";
    QTest::newRow("77") << 0x77 << "77 Unknown data";
    QTest::newRow("05") << 0x05 << "05 Unknown data";
    QTest::newRow("FF") << 0xFF << "FF Unknown data";
}

void TestModeDiagnosisDecoders::errorCodeTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(DiagErrorText(quint8(code)), text);
}

QTEST_GUILESS_MAIN(TestModeDiagnosisDecoders)
#include "tst_modediagnosisdecoders.moc"
