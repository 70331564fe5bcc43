#include "decoders/sattable.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

namespace {

struct Slot {
    int prn, state, level, azimuth, elevation;
};

QByteArray satelliteFrame(const QList<Slot> &channels, QByteArray tail = {})
{
    QByteArray p;
    for (int k = 1; k <= channels.size(); ++k) {
        const Slot &s = channels[k - 1];
        place(p, 5 * k - 1, {s.prn, s.state, s.level, s.azimuth, s.elevation});
    }
    for (int i = 0; i < tail.size(); ++i)
        place(p, 44 + i, {quint8(tail[i])});
    return buildFrameOfType(0xCB, p);
}

using Rows = QList<QList<double>>; // columns 1..5 of the rows that FillSatTable writes

} // namespace

class TestSatelliteDecoders : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void stateTextAndColour_data();
    void stateTextAndColour();
    void satTablePacksNonEmptySlots_data();
    void satTablePacksNonEmptySlots();
    void laterFrameClearsOnlyNumberOfUnusedRows();
    void everyControlOfAFrame();
    void cellsOfOneSlot_data();
    void cellsOfOneSlot();
    void healthLetters_data();
    void healthLetters();
};

void TestSatelliteDecoders::stateTextAndColour_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("colour");
    QTest::newRow("none set is idle grey") << 0x00 << "" << 128 + 256 * 128 + 65536 * 128;
    QTest::newRow("SVACC alone is idle") << 0xF0 << "" << 128 + 256 * 128 + 65536 * 128;
    QTest::newRow("search cyan") << 0x01 << "Search" << 256 * 128 + 65536 * 128;
    QTest::newRow("search with SVACC 2") << 0x21 << "Search" << 256 * 128 + 65536 * 128;
    QTest::newRow("track red") << 0x02 << "Track" << 128;
    QTest::newRow("track over search") << 0x03 << "Track" << 128;
    QTest::newRow("decode yellow") << 0x04 << "Decode" << 128 + 256 * 128;
    QTest::newRow("decode over track and search") << 0x07 << "Decode" << 128 + 256 * 128;
    QTest::newRow("fix green") << 0x08 << "Fix" << 256 * 128;
    QTest::newRow("fix over all, SVACC 1") << 0x1F << "Fix" << 256 * 128;
}

void TestSatelliteDecoders::stateTextAndColour()
{
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(int, colour);
    QCOMPARE(SatStateText(quint8(state)), text);
    QCOMPARE(SatStateColor(quint8(state)), colour);
}

void TestSatelliteDecoders::satTablePacksNonEmptySlots_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Rows>("rows");

    const double green = 32768, red = 128, grey = 8421504;
    QTest::newRow("channels 2 and 5 only")
        << satelliteFrame({{0, 0x08, 1, 1, 1},
                           {12, 0x1F, 37, 64, 128},
                           {0, 0, 0, 0, 0},
                           {0, 0, 0, 0, 0},
                           {31, 0x03, 255, 255, 255}})
        << Rows{{12, green, 37 * 0.2, 0.25, 0.5}, {31, red, 255 * 0.2, 255 / 256.0, 255 / 256.0}};
    QTest::newRow("all empty") << satelliteFrame({}) << Rows{};
    QTest::newRow("idle channel kept, grey")
        << satelliteFrame({{7, 0x00, 10, 0, 0}}) << Rows{{7, grey, 2, 0, 0}};
    QList<Slot> full;
    Rows fullRows;
    for (int k = 1; k <= 8; ++k) {
        full.append({k + 20, 0x08, k, 31 * k, 16 * k});
        fullRows.append({double(k + 20), green, k * 0.2, 31 * k / 256.0, 16 * k / 256.0});
    }
    QTest::newRow("all eight") << satelliteFrame(full) << fullRows;
}

void TestSatelliteDecoders::satTablePacksNonEmptySlots()
{
    QFETCH(QByteArray, frame);
    QFETCH(Rows, rows);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    for (auto &row : g.SatTable)
        row.fill(99);
    QByteArray loaded = frame;
    FillSatTable(g, loaded);
    for (int r = 1; r <= 8; ++r) {
        if (r <= rows.size()) {
            for (int c = 1; c <= 5; ++c)
                QCOMPARE(g.SatTable[r][c], rows[r - 1][c - 1]);
        } else {
            QCOMPARE(g.SatTable[r][1], 0.0);
        }
    }
    // Row 0 and column 0 are never written.
    QCOMPARE(g.SatTable[0][1], 99.0);
    QCOMPARE(g.SatTable[1][0], 99.0);
}

void TestSatelliteDecoders::laterFrameClearsOnlyNumberOfUnusedRows()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded =
        satelliteFrame({{1, 0x08, 10, 20, 30}, {2, 0x04, 11, 21, 31}, {3, 0x02, 12, 22, 32}});
    FillSatTable(g, loaded);
    loaded = satelliteFrame({{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {9, 0x01, 50, 60, 70}});
    FillSatTable(g, loaded);
    QCOMPARE(g.SatTable[1][1], 9.0);
    QCOMPARE(g.SatTable[1][3], 10.0);
    QCOMPARE(g.SatTable[2][1], 0.0);
    QCOMPARE(g.SatTable[3][1], 0.0);
    // What a reader must skip is left as it was.
    QCOMPARE(g.SatTable[2][3], 11 * 0.2);
    QCOMPARE(g.SatTable[3][4], 22 / 256.0);
}

void TestSatelliteDecoders::everyControlOfAFrame()
{
    const QByteArray frame = satelliteFrame({{0, 0x00, 0, 0, 0},
                                             {12, 0x1F, 43, 1, 128},
                                             {0, 0x21, 255, 255, 255},
                                             {0, 0, 0, 0, 0},
                                             {31, 0x03, 5, 64, 64},
                                             {0, 0, 0, 0, 0},
                                             {0, 0, 0, 0, 0},
                                             {200, 0x40, 1, 2, 3}},
                                            bytes({17, 0x01, 0x00, 0x00, 0x80}));
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = frame;
    FieldPairs expected = {
        {"ID(1)", "N/R"},    {"Condition(1)", ""},        {"SVACC(1)", "0"},
        {"Level(1)", "0"},   {"Azimuth(1)", "0"},         {"Elevation(1)", "0"},
        {"ID(2)", "12"},     {"Condition(2)", "Fix"},     {"SVACC(2)", "1"},
        {"Level(2)", "8.6"}, {"Azimuth(2)", "1.40625"},   {"Elevation(2)", "90"},
        {"ID(3)", "N/R"},    {"Condition(3)", "Search"},  {"SVACC(3)", "2"},
        {"Level(3)", "51"},  {"Azimuth(3)", "358.59375"}, {"Elevation(3)", "179.296875"},
        {"ID(4)", "N/R"},    {"Condition(4)", ""},        {"SVACC(4)", "0"},
        {"Level(4)", "0"},   {"Azimuth(4)", "0"},         {"Elevation(4)", "0"},
        {"ID(5)", "31"},     {"Condition(5)", "Track"},   {"SVACC(5)", "0"},
        {"Level(5)", "1"},   {"Azimuth(5)", "90"},        {"Elevation(5)", "45"},
        {"ID(6)", "N/R"},    {"Condition(6)", ""},        {"SVACC(6)", "0"},
        {"Level(6)", "0"},   {"Azimuth(6)", "0"},         {"Elevation(6)", "0"},
        {"ID(7)", "N/R"},    {"Condition(7)", ""},        {"SVACC(7)", "0"},
        {"Level(7)", "0"},   {"Azimuth(7)", "0"},         {"Elevation(7)", "0"},
        {"ID(8)", "200"},    {"Condition(8)", ""},        {"SVACC(8)", "4"},
        {"Level(8)", "0.2"}, {"Azimuth(8)", "2.8125"},    {"Elevation(8)", "2.109375"},
        {"Health(0)", "17"},
    };
    for (int s = 1; s <= 32; ++s)
        expected.append({QStringLiteral("Health(%1)").arg(s), (s == 1 || s == 32) ? "H" : "U"});
    expected.append({"RawHex", dumpOf(frame)});
    verifyAllFields(recSatFields(loaded), expected);
    QCOMPARE(fieldText(recSatFields(loaded), "RawHex").size(), 150);
}

void TestSatelliteDecoders::cellsOfOneSlot_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QByteArray>("values"); // number, state, level, azimuth, elevation
    QTest::addColumn<FieldPairs>("expected");
    QTest::newRow("slot 8, largest bytes")
        << 8 << bytes({255, 0xFF, 255, 255, 255})
        << FieldPairs{
               {"ID(8)", "255"},   {"Condition(8)", "Fix"},     {"SVACC(8)", "15"},
               {"Level(8)", "51"}, {"Azimuth(8)", "358.59375"}, {"Elevation(8)", "179.296875"}};
    QTest::newRow("slot 1, quarter turn") << 1 << bytes({1, 0x04, 7, 64, 0})
                                          << FieldPairs{{"ID(1)", "1"},
                                                        {"Condition(1)", "Decode"},
                                                        {"Level(1)", "1.4"},
                                                        {"Azimuth(1)", "90"},
                                                        {"Elevation(1)", "0"}};
}

void TestSatelliteDecoders::cellsOfOneSlot()
{
    QFETCH(int, slot);
    QFETCH(QByteArray, values);
    QFETCH(FieldPairs, expected);
    QList<Slot> channels(slot, Slot{0, 0, 0, 0, 0});
    channels[slot - 1] = {quint8(values[0]), quint8(values[1]), quint8(values[2]),
                          quint8(values[3]), quint8(values[4])};
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = satelliteFrame(channels);
    verifyFields(recSatFields(loaded), expected);
}

void TestSatelliteDecoders::healthLetters_data()
{
    QTest::addColumn<int>("health");
    QTest::addColumn<QString>("letters"); // n = 1..8
    QTest::newRow("none") << 0x00 << "UUUUUUUU";
    QTest::newRow("bit 0 is n = 1") << 0x01 << "HUUUUUUU";
    QTest::newRow("bit 7 is n = 8") << 0x80 << "UUUUUUUH";
    QTest::newRow("alternate") << 0x55 << "HUHUHUHU";
    QTest::newRow("all") << 0xFF << "HHHHHHHH";
}

void TestSatelliteDecoders::healthLetters()
{
    QFETCH(int, health);
    QFETCH(QString, letters);
    QString got;
    for (int n = 1; n <= 8; ++n)
        got += HealthLetter(quint8(health), n);
    QCOMPARE(got, letters);
    QCOMPARE(HealthLetter(0xFF, 0), QStringLiteral("U"));
    QCOMPARE(HealthLetter(0xFF, 9), QStringLiteral("U"));
}

QTEST_GUILESS_MAIN(TestSatelliteDecoders)
#include "tst_satellitedecoders.moc"
