#include "framebuilder.h"
#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "setup/setupcommands.h"
#include "testplatform.h"

#include <QtTest>
#include <cmath>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestSetupCommands : public QObject {
    Q_OBJECT
private slots:
    void timeFieldsTravelAsBcdOrAreRefused_data();
    void timeFieldsTravelAsBcdOrAreRefused();
    void timeFieldsStartFromTheLocalClock_data();
    void timeFieldsStartFromTheLocalClock();
    void positionScaledRoundedHalfToEven_data();
    void positionScaledRoundedHalfToEven();
    void positionFromDddmmTexts_data();
    void positionFromDddmmTexts();
    void positionFieldsSplitAtTheDegreeSign_data();
    void positionFieldsSplitAtTheDegreeSign();
    void receivedPositionSentBackWithinOneUnit();
    void heightDoubledRoundedHalfToEven_data();
    void heightDoubledRoundedHalfToEven();
    void heightFieldTextUsesPointAndHalfUnits_data();
    void heightFieldTextUsesPointAndHalfUnits();
    void everyReceivedHeightReadsBackUnchanged();
    void setupCommandSendsPrepareThenPayloadFrame();
};

void TestSetupCommands::timeFieldsTravelAsBcdOrAreRefused_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("refusedField"); // -1: accepted
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("range"); // the accepted range the refusal gives

    QTest::newRow("decimal digits travel as BCD")
        << QStringList{"99", "12", "31", "23", "59", "59"} << hex("991231235959") << -1 << ""
        << "";
    QTest::newRow("one digit and leading zero")
        << QStringList{"5", "05", "1", "0", "0", "9"} << hex("050501000009") << -1 << ""
        << "";
    QTest::newRow("letters are not digits")
        << QStringList{"1A", "b", "Ff", "0", "0", "0"} << QByteArray() << 0 << "Year"
        << "00 to 99";
    QTest::newRow("empty field refused")
        << QStringList{"", "x", "G1", "", "", "3z"} << QByteArray() << 0 << "Year"
        << "00 to 99";
    QTest::newRow("blanks before digits and a plus sign are skipped")
        << QStringList{" 7", "\t12", "+4", " +5", "0", "0"} << hex("071204050000") << -1 << ""
        << "";
    QTest::newRow("minus sign refused")
        << QStringList{"26", "1", "1", "-5", "1", "1"} << QByteArray() << 3 << "Hour"
        << "00 to 23";
    QTest::newRow("three digits do not fit a byte")
        << QStringList{"26", "100", "1", "1", "1", "1"} << QByteArray() << 1 << "Month"
        << "01 to 12";
    QTest::newRow("16-bit negative reading refused")
        << QStringList{"26", "1", "1", "1", "1", "FFFF"} << QByteArray() << 5 << "Second"
        << "00 to 59";
    QTest::newRow("nine digits refused")
        << QStringList{"123456789", "1", "1", "1", "1", "1"} << QByteArray() << 0 << "Year"
        << "00 to 99";
    QTest::newRow("first bad field named")
        << QStringList{"26", "1", "1", "24", "100", "100"} << QByteArray() << 3 << "Hour"
        << "00 to 23";
    QTest::newRow("year A0") << QStringList{"A0", "1", "1", "1", "1", "1"} << QByteArray() << 0
                             << "Year"
                             << "00 to 99";
    QTest::newRow("hour xy") << QStringList{"26", "1", "1", "xy", "1", "1"} << QByteArray() << 3
                             << "Hour"
                             << "00 to 23";
    QTest::newRow("minute 1A") << QStringList{"26", "1", "1", "1", "1A", "1"} << QByteArray() << 4
                               << "Minute"
                               << "00 to 59";
    QTest::newRow("fraction") << QStringList{"26", "1", "1", "1", "1", "5.0"} << QByteArray() << 5
                              << "Second"
                              << "00 to 59";
    QTest::newRow("month 13") << QStringList{"26", "13", "1", "1", "1", "1"} << QByteArray() << 1
                              << "Month"
                              << "01 to 12";
    QTest::newRow("month 0") << QStringList{"26", "0", "1", "1", "1", "1"} << QByteArray() << 1
                             << "Month"
                             << "01 to 12";
    QTest::newRow("day 0") << QStringList{"26", "1", "00", "1", "1", "1"} << QByteArray() << 2
                           << "Day"
                           << "01 to 31";
    QTest::newRow("day 32") << QStringList{"26", "1", "32", "1", "1", "1"} << QByteArray() << 2
                            << "Day"
                            << "01 to 31";
    QTest::newRow("31 April") << QStringList{"26", "4", "31", "1", "1", "1"} << QByteArray() << 2
                              << "Day"
                              << "April 2026 has 30 days";
    QTest::newRow("30 April") << QStringList{"26", "4", "30", "1", "1", "1"} << hex("260430010101")
                              << -1 << ""
                              << "";
    QTest::newRow("31 February") << QStringList{"24", "2", "31", "1", "1", "1"} << QByteArray() << 2
                                 << "Day"
                                 << "01 to 29";
    QTest::newRow("29 February 2026")
        << QStringList{"26", "2", "29", "1", "1", "1"} << QByteArray() << 2 << "Day"
        << "01 to 28";
    QTest::newRow("29 February 2024")
        << QStringList{"24", "2", "29", "1", "1", "1"} << hex("240229010101") << -1 << ""
        << "";
    QTest::newRow("29 February 2000, a leap century")
        << QStringList{"00", "2", "29", "0", "0", "0"} << hex("000229000000") << -1 << ""
        << "";
    QTest::newRow("hour 25") << QStringList{"26", "1", "1", "25", "1", "1"} << QByteArray() << 3
                             << "Hour"
                             << "00 to 23";
    QTest::newRow("minute 61") << QStringList{"26", "1", "1", "1", "61", "1"} << QByteArray() << 4
                               << "Minute"
                               << "00 to 59";
    QTest::newRow("minute 60") << QStringList{"26", "1", "1", "1", "60", "1"} << QByteArray() << 4
                               << "Minute"
                               << "00 to 59";
    QTest::newRow("second 60") << QStringList{"26", "1", "1", "1", "1", "60"} << QByteArray() << 5
                               << "Second"
                               << "00 to 59";
    QTest::newRow("leading zeros") << QStringList{"0099", "012", "0031", "00023", "059", "000"}
                                   << hex("991231235900") << -1 << ""
                                   << "";
}

void TestSetupCommands::timeFieldsTravelAsBcdOrAreRefused()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, payload);
    QFETCH(int, refusedField);
    QFETCH(QString, named);
    QFETCH(QString, range);
    const SetupPayload p = setTimePayload(fields);
    QCOMPARE(p.payload.toHex(' '), payload.toHex(' '));
    QCOMPARE(p.field, refusedField);
    QCOMPARE(p.ok(), refusedField < 0);
    if (!p.ok()) {
        QVERIFY2(p.refusal.startsWith(named + QLatin1Char(' ')), qPrintable(p.refusal));
        QVERIFY2(p.refusal.contains(range), qPrintable(p.refusal));
    }
}

void TestSetupCommands::timeFieldsStartFromTheLocalClock_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("year 2000, no leading zeros elsewhere")
        << QDateTime(QDate(2000, 3, 3), QTime(9, 5, 7))
        << QStringList{"00", "3", "3", "9", "5", "7"};
    QTest::newRow("last second of 1999") << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))
                                         << QStringList{"99", "12", "31", "23", "59", "59"};
    QTest::newRow("midnight") << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0))
                              << QStringList{"26", "1", "1", "0", "0", "0"};
}

void TestSetupCommands::timeFieldsStartFromTheLocalClock()
{
    QFETCH(QDateTime, now);
    QFETCH(QStringList, fields);
    QCOMPARE(setTimeFields(now), fields);
}

void TestSetupCommands::positionScaledRoundedHalfToEven_data()
{
    QTest::addColumn<QStringList>("fields"); // latD, latM, lonD, lonM
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("refusedField");
    QTest::addColumn<QString>("quoted"); // what the refusal quotes, as typed

    QTest::newRow("33 12.3456 and 117 10.5")
        << QStringList{"33", "12.3456", "117", "10.5000"} << hex("01d1cc71066eca0001") << -1 << "";
    QTest::newRow("negative latitude")
        << QStringList{"-33", "12.3456", "0", "0"} << hex("fe2e338f0000000001") << -1 << "";
    QTest::newRow("fields as filled from 01 D1 CC 71")
        << QStringList{" 33", "12.3455", " 33", "12.3455"} << hex("01d1cc7001d1cc7001") << -1 << "";
    QTest::newRow("fields as filled from a zero buffer")
        << QStringList{" 0", "00", " 0", "00"} << hex("000000000000000001") << -1 << "";
    QTest::newRow("empty latitude refused")
        << QStringList{"", "", "", ""} << QByteArray() << 0 << "";
    QTest::newRow("empty degrees refused")
        << QStringList{"0", "0", "", "22.5"} << QByteArray() << 2 << "";
    QTest::newRow("blank degrees refused")
        << QStringList{"  ", "30", "0", "0"} << QByteArray() << 0 << "";
    QTest::newRow("empty minutes refused")
        << QStringList{"33", "", "0", "0"} << QByteArray() << 1 << "";
    QTest::newRow("one-digit minutes are minutes, not joined")
        << QStringList{"33", "5.5", "0", "0"} << hex("01d0d6000000000001") << -1 << "";
    QTest::newRow("7.5 minutes with 47 degrees")
        << QStringList{"47", "7.5", "0", "0"} << hex("0295fe000000000001") << -1 << "";
    QTest::newRow("minutes with leading zeros")
        << QStringList{"1", "007.5", "0", "0"} << hex("000f1e000000000001") << -1 << "";
    QTest::newRow("minutes in exponent form")
        << QStringList{"33", "1.25e1", "0", "0"} << hex("01d1d2000000000001") << -1 << "";
    QTest::newRow("minus zero degrees keep their sign")
        << QStringList{"-0", "30", "-0", "22.5"} << hex("fffbc800fffcd60001") << -1 << "";
    QTest::newRow("minutes with a sign refused")
        << QStringList{"33", "-5", "0", "0"} << QByteArray() << 1 << "\"-5\"";
    QTest::newRow("minutes in hex below zero refused")
        << QStringList{"33", "&hF0000000", "0", "0"} << QByteArray() << 1 << "\"&hF0000000\"";
    QTest::newRow("half rounds down to even")
        << QStringList{"0", "0.00048828125", "12", "34.00048828125"}
        << hex("0000000400ad8804") + hex("01") << -1 << "";
    QTest::newRow("half rounds up to even")
        << QStringList{"0", "0.00146484375", "0", "0"} << hex("0000000e0000000001") << -1 << "";
    QTest::newRow("poles and the date line")
        << QStringList{"90", "00", "-180", "00"} << hex("04f1a000f61cc00001") << -1 << "";
    QTest::newRow("latitude beyond 90")
        << QStringList{"90", "00.0001", "0", "0"} << QByteArray() << 0 << "90°00.0001'";
    QTest::newRow("longitude beyond 180")
        << QStringList{"0", "0", "-180", "00.5"} << QByteArray() << 2 << "-180°00.5'";
    QTest::newRow("degrees beyond with many digits")
        << QStringList{"0", "0", "99999999999999999999999", "0"} << QByteArray() << 2 << "";
    QTest::newRow("60 minutes") << QStringList{"33", "60", "0", "0"} << QByteArray() << 1
                                << "\"60\"";
    QTest::newRow("99 degrees 99.99 minutes")
        << QStringList{"99", "99.99", "0", "0"} << QByteArray() << 1 << "\"99.99\"";
    QTest::newRow("75.5 minutes quoted as typed")
        << QStringList{"47", "75.5", "0", "0"} << QByteArray() << 1 << "\"75.5\"";
    QTest::newRow("999 degrees 99 minutes in one field")
        << QStringList{"0", "0", "0", "-99999"} << QByteArray() << 3 << "\"-99999\"";
    QTest::newRow("unreadably large")
        << QStringList{"1e400", "", "0", "0"} << QByteArray() << 0 << "\"1e400\"";
}

void TestSetupCommands::positionScaledRoundedHalfToEven()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, payload);
    QFETCH(int, refusedField);
    QFETCH(QString, quoted);
    const SetupPayload p = setPositionPayload(fields[0], fields[1], fields[2], fields[3]);
    QCOMPARE(p.payload.toHex(' '), payload.toHex(' '));
    QCOMPARE(p.field, refusedField);
    QCOMPARE(p.ok(), refusedField < 0);
    if (!p.ok()) {
        QVERIFY(p.refusal.startsWith(refusedField < 2 ? QStringLiteral("Latitude ")
                                                      : QStringLiteral("Longitude ")));
        // The accepted form in degrees and minutes, not the receiver's units.
        QVERIFY2(p.refusal.contains(refusedField < 2 ? QStringLiteral("from -90 to 90")
                                                     : QStringLiteral("from -180 to 180")),
                 qPrintable(p.refusal));
        QVERIFY2(p.refusal.contains(quoted), qPrintable(p.refusal));
    }
}

void TestSetupCommands::positionFromDddmmTexts_data()
{
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::newRow("33 12.3456 and 117 10.5") << "3312.3456"
                                             << "11710.5" << hex("01d1cc71066eca0001") << "";
    QTest::newRow("within a degree of zero") << "-30"
                                             << "22.5" << hex("fffbc80000032a0001") << "";
    QTest::newRow("not a number") << "33x"
                                  << "0" << QByteArray() << "Latitude \"33x\" is not a number.";
    QTest::newRow("empty longitude") << "0"
                                     << "" << QByteArray() << "Longitude \"\" is not a number.";
    QTest::newRow("60 minutes") << "3360"
                                << "0" << QByteArray() << "Latitude 3360 has 60 minutes or more.";
    QTest::newRow("beyond 180") << "0"
                                << "18000.5" << QByteArray()
                                << "Longitude 18000.5 lies beyond 180°.";
}

void TestSetupCommands::positionFromDddmmTexts()
{
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(QByteArray, payload);
    QFETCH(QString, refusal);
    const SetupPayload p = setPositionScaledPayload(latitude, longitude);
    QCOMPARE(p.payload.toHex(' '), payload.toHex(' '));
    QVERIFY2(refusal.isEmpty() ? p.ok() : p.refusal.startsWith(refusal), qPrintable(p.refusal));
}

void TestSetupCommands::positionFieldsSplitAtTheDegreeSign_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("degrees");
    QTest::addColumn<QString>("minutes");
    QTest::newRow("01 D1 CC 71 cut, not rounded") << hex("01d1cc71") << " 33"
                                                  << "12.3455";
    QTest::newRow("negative") << hex("fe2e338f") << "-33"
                              << "12.3455";
    QTest::newRow("117 10.5") << hex("066eca00") << " 117"
                              << "10.5";
    QTest::newRow("zero") << hex("00000000") << " 0"
                          << "00";
    QTest::newRow("half a degree south") << hex("fffbc800") << "-0"
                                         << "30";
    QTest::newRow("0.375 degrees") << hex("00032a00") << " 0"
                                   << "22.5";
    QTest::newRow("-0.124495 degrees") << hex("fffef317") << "-0"
                                       << "07.4697";
}

void TestSetupCommands::positionFieldsSplitAtTheDegreeSign()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, degrees);
    QFETCH(QString, minutes);
    const auto f =
        positionFields(quint8(field[0]), quint8(field[1]), quint8(field[2]), quint8(field[3]));
    QCOMPARE(f[0], degrees);
    QCOMPARE(f[1], minutes);
}

void TestSetupCommands::receivedPositionSentBackWithinOneUnit()
{
    // The minutes shown keep four decimals, cut: a position sent back unchanged comes
    // back at most one unit nearer zero, whatever its size or sign.
    QList<qint64> raws = {0,       1,      -1,       100,       -100,     9215,     9216,
                          -9216,   276480, -276480,  207360,    -68841,   552959,   -552959,
                          -552960, 921600, 30526577, -30526577, 82944000, -82944000};
    for (qint64 r = -82944000; r <= 82944000; r += 7919 * 109)
        raws << r;
    for (const qint64 raw : raws) {
        // Only latitudes a receiver can report: minutes below 60.
        if (std::fmod(std::abs(double(raw) / 9216.0), 100.0) >= 60.0)
            continue;
        const quint32 u = quint32(qint32(raw));
        const auto f = positionFields(quint8(u >> 24), quint8(u >> 16), quint8(u >> 8), quint8(u));
        const SetupPayload p =
            setPositionPayload(f[0], f[1], QStringLiteral("0"), QStringLiteral("0"));
        QVERIFY2(
            p.ok(),
            qPrintable(QStringLiteral("%1: \"%2\" \"%3\" %4").arg(raw).arg(f[0], f[1], p.refusal)));
        const qint64 sent =
            qint32(quint32(quint8(p.payload[0])) << 24 | quint32(quint8(p.payload[1])) << 16 |
                   quint32(quint8(p.payload[2])) << 8 | quint8(p.payload[3]));
        const qint64 nearerZero = raw >= 0 ? raw - sent : sent - raw;
        QVERIFY2(nearerZero == 0 || nearerZero == 1,
                 qPrintable(QStringLiteral("%1 shown as \"%2\" \"%3\" came back as %4")
                                .arg(raw)
                                .arg(f[0], f[1])
                                .arg(sent)));
    }
}

void TestSetupCommands::heightDoubledRoundedHalfToEven_data()
{
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("accuracy");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("refusedField");

    QTest::newRow("100 and 0") << "100"
                               << "0" << hex("00c80000") << -1;
    QTest::newRow("1000") << "1000"
                          << "0" << hex("07d00000") << -1;
    QTest::newRow("-10 and accuracy 2.5") << "-10"
                                          << "2.5" << hex("ffec0005") << -1;
    QTest::newRow("100.25 rounds to even 200") << "100.25"
                                               << "0" << hex("00c80000") << -1;
    QTest::newRow("100.75 rounds to even 202") << "100.75"
                                               << "0" << hex("00ca0000") << -1;
    QTest::newRow("comma refused") << "100,5"
                                   << "0" << QByteArray() << 0;
    QTest::newRow("letters refused") << "abc"
                                     << "0" << QByteArray() << 0;
    QTest::newRow("number then letters refused") << "100"
                                                 << "100abc" << QByteArray() << 1;
    QTest::newRow("empty refused") << "100"
                                   << "" << QByteArray() << 1;
    QTest::newRow("blanks around a number") << " 100\t"
                                            << " 0 " << hex("00c80000") << -1;
    QTest::newRow("top of the field") << "16383.5"
                                      << "-16384" << hex("7fff8000") << -1;
    QTest::newRow("just under the top") << "16383.7"
                                        << "0" << hex("7fff0000") << -1;
    QTest::newRow("half below the bottom rounds to even -32768") << "-16384.25"
                                                                 << "0" << hex("80000000") << -1;
    QTest::newRow("16384 would wrap") << "16384"
                                      << "0" << QByteArray() << 0;
    QTest::newRow("16383.75 rounds to 32768") << "16383.75"
                                              << "0" << QByteArray() << 0;
    QTest::newRow("below the bottom") << "-16384.3"
                                      << "0" << QByteArray() << 0;
    QTest::newRow("accuracy too large") << "100"
                                        << "20000" << QByteArray() << 1;
    QTest::newRow("unreadably large") << "1e400"
                                      << "0" << QByteArray() << 0;
}

void TestSetupCommands::heightDoubledRoundedHalfToEven()
{
    QFETCH(QString, height);
    QFETCH(QString, accuracy);
    QFETCH(QByteArray, payload);
    QFETCH(int, refusedField);
    const SetupPayload p = setHeightPayload(height, accuracy);
    QCOMPARE(p.payload.toHex(' '), payload.toHex(' '));
    QCOMPARE(p.field, refusedField);
    if (!p.ok()) {
        QVERIFY(p.refusal.startsWith(refusedField == 0 ? QStringLiteral("Height ")
                                                       : QStringLiteral("Accuracy ")));
        QVERIFY(p.refusal.contains(QStringLiteral("-16384 to 16383.5")));
    }
}

void TestSetupCommands::heightFieldTextUsesPointAndHalfUnits_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QString>("text");
    QTest::newRow("07 D0") << 0x07 << 0xD0 << "1000";
    QTest::newRow("00 C9") << 0x00 << 0xC9 << "100.5";
    QTest::newRow("FF EC") << 0xFF << 0xEC << "-10";
    QTest::newRow("FF FF") << 0xFF << 0xFF << "-0.5";
    QTest::newRow("00 00") << 0x00 << 0x00 << "0";
    QTest::newRow("7F FF") << 0x7F << 0xFF << "16383.5";
    QTest::newRow("80 00") << 0x80 << 0x00 << "-16384";
}

void TestSetupCommands::heightFieldTextUsesPointAndHalfUnits()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QString, text);
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString shown = heightFieldText(quint8(high), quint8(low));
    QLocale::setDefault(saved);
    QCOMPARE(shown, text);
}

void TestSetupCommands::everyReceivedHeightReadsBackUnchanged()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    for (int raw = 0; raw <= 0xFFFF; ++raw) {
        const quint8 hi = quint8(raw >> 8), lo = quint8(raw);
        const SetupPayload p = setHeightPayload(heightFieldText(hi, lo), QStringLiteral("0"));
        if (p.payload != bytes({hi, lo, 0, 0})) {
            QLocale::setDefault(saved);
            QFAIL(qPrintable(QStringLiteral("raw %1 came back as %2")
                                 .arg(raw, 4, 16, QLatin1Char('0'))
                                 .arg(QString::fromLatin1(p.payload.toHex()))));
        }
    }
    QLocale::setDefault(saved);
}

void TestSetupCommands::setupCommandSendsPrepareThenPayloadFrame()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    FakeSerialPort port;
    port.open();
    g.setPort(&port);
    g.CmdBuffer.fill(0xEE);
    sendSetupCommand(g, Msg::SetHeight, hex("00c80000"));
    QCOMPARE(port.written.toHex(' '), hex("b8b8900d b1b100c80000d6 0d").toHex(' '));
    QCOMPARE(g.CmdBuffer[0], quint8(4));
}

QTEST_GUILESS_MAIN(TestSetupCommands)
#include "tst_setupcommands.moc"
