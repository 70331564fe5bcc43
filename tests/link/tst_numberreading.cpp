#include "link/numberreading.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <clocale>

class TestNumberReading : public QObject {
    Q_OBJECT
private slots:
    void readsTextAsTheWindowsDo_data();
    void readsTextAsTheWindowsDo();
    void pointIsTheDecimalPointWhateverTheLocale();
    void anyTypedTextGivesAFiniteValue();
};

void TestNumberReading::readsTextAsTheWindowsDo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("hasDigits");
    QTest::addColumn<bool>("inRange");

    QTest::newRow("empty") << "" << 0.0 << false << true;
    QTest::newRow("blanks only") << "  \t " << 0.0 << false << true;
    QTest::newRow("letters") << "abc" << 0.0 << false << true;
    QTest::newRow("whole") << "1000" << 1000.0 << true << true;
    QTest::newRow("leading blank as filled by the windows") << " 33" << 33.0 << true << true;
    QTest::newRow("leading tab") << "\t-7" << -7.0 << true << true;
    QTest::newRow("plus sign") << "+12.5" << 12.5 << true << true;
    QTest::newRow("minus fraction without zero") << "-.25" << -0.25 << true << true;
    QTest::newRow("trailing point") << "5." << 5.0 << true << true;
    QTest::newRow("lone point") << "." << 0.0 << false << true;
    QTest::newRow("lone sign") << "-" << 0.0 << false << true;
    QTest::newRow("joined coordinate") << "3312.3456" << 3312.3456 << true << true;
    QTest::newRow("stops at second point") << "1.2.3" << 1.2 << true << true;
    QTest::newRow("stops at comma") << "100,5" << 100.0 << true << true;
    QTest::newRow("stops at inner blank") << "1 2" << 1.0 << true << true;
    QTest::newRow("trailing text") << "42 m" << 42.0 << true << true;
    QTest::newRow("sign then blank") << "- 5" << 0.0 << false << true;
    QTest::newRow("exponent") << "1.5e3" << 1500.0 << true << true;
    QTest::newRow("exponent with sign") << "25E-2" << 0.25 << true << true;
    QTest::newRow("exponent letter D") << "2d2" << 200.0 << true << true;
    QTest::newRow("exponent without digits") << "7e" << 7.0 << true << true;
    QTest::newRow("exponent sign without digits") << "7e+x" << 7.0 << true << true;
    QTest::newRow("negative zero reads as zero") << "-0.0" << 0.0 << true << true;
    QTest::newRow("zero with huge exponent") << "0e999999" << 0.0 << true << true;
    QTest::newRow("underflow reads as zero") << "1e-400" << 0.0 << true << true;
    QTest::newRow("overflow is out of range") << "1e400" << 0.0 << true << false;
    QTest::newRow("long mantissa overflow")
        << QString(400, QLatin1Char('9')) << 0.0 << true << false;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << 0.0 << true << false;
    QTest::newRow("non-ASCII digits are not digits")
        << QString::fromUtf8("\u0661\u0662") << 0.0 << false << true;

    QTest::newRow("hex two digits") << "&h59" << double(0x59) << true << true;
    QTest::newRow("hex upper-case prefix and letters") << "&H1A" << 26.0 << true << true;
    QTest::newRow("hex lower-case letters") << "&hff" << 255.0 << true << true;
    QTest::newRow("hex after blanks") << "  &h10" << 16.0 << true << true;
    QTest::newRow("hex without digits") << "&h" << 0.0 << false << true;
    QTest::newRow("hex blank after prefix") << "&h 12" << 0.0 << false << true;
    QTest::newRow("hex sign after prefix") << "&h-5" << 0.0 << false << true;
    QTest::newRow("hex stops at non-digit") << "&h1G" << 1.0 << true << true;
    QTest::newRow("hex 7FFF") << "&h7FFF" << 32767.0 << true << true;
    QTest::newRow("hex 8000 is negative 16-bit") << "&h8000" << -32768.0 << true << true;
    QTest::newRow("hex FFEC") << "&hFFEC" << -20.0 << true << true;
    QTest::newRow("hex five digits are 32-bit") << "&h0FFFF" << 65535.0 << true << true;
    QTest::newRow("hex 100 no longer fits a byte") << "&h100" << 256.0 << true << true;
    QTest::newRow("hex 01D1CC71") << "&h01D1CC71" << 30526577.0 << true << true;
    QTest::newRow("hex FE2E338F") << "&hFE2E338F" << -30526577.0 << true << true;
    QTest::newRow("hex 80000000") << "&h80000000" << -2147483648.0 << true << true;
    QTest::newRow("hex nine digits out of range") << "&h100000000" << 0.0 << true << false;
    QTest::newRow("ampersand alone") << "&" << 0.0 << false << true;
    QTest::newRow("octal prefix is not hex") << "&o17" << 0.0 << false << true;
}

void TestNumberReading::readsTextAsTheWindowsDo()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, hasDigits);
    QFETCH(bool, inRange);
    const NumberReading r = readNumberText(text);
    QCOMPARE(r.value, value);
    QVERIFY(!std::signbit(r.value) || r.value != 0);
    QCOMPARE(r.hasDigits, hasDigits);
    QCOMPARE(r.inRange, inRange);
    QCOMPARE(readNumber(text), value);
}

void TestNumberReading::pointIsTheDecimalPointWhateverTheLocale()
{
    // The program runs under the user's C locale (QCoreApplication sets it), and a
    // German user's locale has a decimal comma. Such a locale is built for the test
    // in a temporary folder, as none need be installed.
    QTemporaryDir dir;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"), dir.filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        QSKIP("localedef cannot build a comma locale on this system");
    const QByteArray savedPath = qgetenv("LOCPATH");
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr &&
                       std::localeconv()->decimal_point == std::string(",");
    const double half = readNumber(u"100.5");
    const double withComma = readNumber(u"100,5");
    const double exponent = readNumber(u"2.5e1");
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (savedPath.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", savedPath);
    QVERIFY(comma);
    QCOMPARE(half, 100.5);
    QCOMPARE(withComma, 100.0);
    QCOMPARE(exponent, 25.0);
}

void TestNumberReading::anyTypedTextGivesAFiniteValue()
{
    // Text pasted into a field can be anything; built from the characters the reading
    // cares about, so that long signs, exponents and prefixes come up often.
    const QString alphabet = QStringLiteral("0123456789.+-eEdD&hH \tAFx,\u00B0");
    QRandomGenerator rng(20261207);
    for (int n = 0; n < 20000; ++n) {
        QString text;
        const int length = int(rng.bounded(40));
        for (int i = 0; i < length; ++i)
            text += alphabet[int(rng.bounded(int(alphabet.size())))];
        const NumberReading r = readNumberText(text);
        QVERIFY2(std::isfinite(r.value), qPrintable(text));
        QVERIFY2(r.inRange || r.value == 0, qPrintable(text));
        QVERIFY2(r.hasDigits || r.value == 0, qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(TestNumberReading)
#include "tst_numberreading.moc"
