// The number and time texts are built without Qt's general formatting machinery on
// the receive path; these tests hold them to what that machinery gives.

#include "decoders/formatters.h"

#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <limits>

namespace {

quint8 bcd(int v)
{
    return quint8((v / 10) << 4 | v % 10);
}

// The reference: the locale's long time without its zone, formatted by QLocale.
QString referenceTime(const QLocale &locale, QTime time)
{
    QString f;
    bool quoted = false;
    for (QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        f += c;
    }
    f.remove(QStringLiteral("()"));
    f.replace(QChar(0x202F), QLatin1Char(' '));
    f.replace(QChar(0x00A0), QLatin1Char(' '));
    f.replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
    return locale.toString(time, f.trimmed());
}

QString referenceDate(const QLocale &locale, QDate date)
{
    QString f = locale.dateFormat(QLocale::ShortFormat);
    f.replace(QRegularExpression(QStringLiteral("(?<!y)yy(?!y)")), QStringLiteral("yyyy"));
    return locale.toString(date, f);
}

} // namespace

class TestFormatterFastPaths : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void numberTextHasQtsFifteenDigits();
    void timeOfDayMatchesLocaleFormatting_data();
    void timeOfDayMatchesLocaleFormatting();
    void dateMatchesLocaleFormatting_data() { timeOfDayMatchesLocaleFormatting_data(); }
    void dateMatchesLocaleFormatting();
    void dateFollowsLocaleChange();
};

void TestFormatterFastPaths::numberTextHasQtsFifteenDigits()
{
    QLocale::setDefault(QLocale::c());
    QList<double> values = {0.1 + 0.2,
                            1e15,
                            1e15 - 1,
                            999999999999999.5,
                            123456789012345678.0,
                            1e-4,
                            1e-5,
                            -1e-5,
                            1e20,
                            1e100,
                            -1e-300,
                            std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(),
                            5e-324,
                            0.5,
                            -0.0,
                            2.5e-7};
    for (int k = -2048; k <= 2048; ++k) {
        values << k / 4.0 << k / 2.0 << k * 360 / 1024.0 << k * 0.2 << k / 9216.0;
        values << (k * 104729) / 9216.0 << k * 1e13 / 7 << k * 1e-7 / 3;
    }
    QRandomGenerator rng(7);
    for (int i = 0; i < 20000; ++i) {
        const double mantissa = rng.generateDouble() * 2 - 1;
        values << std::ldexp(mantissa, int(rng.bounded(200)) - 100);
    }
    for (double x : values) {
        QString expected = QString::number(x == 0 ? 0.0 : x, 'g', 15);
        expected.replace(QLatin1Char('e'), QLatin1Char('E'));
        if (NumberText(x) != expected)
            QFAIL(qPrintable(QStringLiteral("%1: %2, Qt gives %3")
                                 .arg(x, 0, 'g', 17)
                                 .arg(NumberText(x), expected)));
    }
}

void TestFormatterFastPaths::timeOfDayMatchesLocaleFormatting_data()
{
    QTest::addColumn<QLocale>("locale");
    for (const char *name : {"en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "ko_KR", "zh_CN", "es_MX",
                             "ar_EG", "fa_IR", "hi_IN", "C"})
        QTest::newRow(name) << QLocale(QString::fromLatin1(name));
}

void TestFormatterFastPaths::timeOfDayMatchesLocaleFormatting()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    const QDate day(2026, 12, 7);
    const QString date = referenceDate(locale, day);
    // Every minute of the day at a second that changes with it, and every second of
    // the hours around noon and midnight, where twelve-hour clocks turn.
    QList<int> seconds;
    for (int m = 0; m < 24 * 60; ++m)
        seconds << m * 60 + m % 60;
    for (int s = 0; s < 3600; ++s)
        seconds << s << 11 * 3600 + s << 12 * 3600 + s << 23 * 3600 + s;
    for (int s : seconds) {
        if (s == 0)
            continue; // the date alone
        const QTime t = QTime(0, 0).addSecs(s);
        const std::array<quint8, 6> bytes{bcd(26),       bcd(12),         bcd(7),
                                          bcd(t.hour()), bcd(t.minute()), bcd(t.second())};
        const QString expected = date + QLatin1Char(' ') + referenceTime(locale, t);
        const QString actual = LocalDateTimeText(bytes, 12);
        if (actual != expected)
            QFAIL(qPrintable(
                QStringLiteral("%1: «%2», expected «%3»").arg(t.toString(), actual, expected)));
    }
}

void TestFormatterFastPaths::dateMatchesLocaleFormatting()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    // Every day of 1999 and 2000 and every eleventh day of the years the two-digit years
    // reach, at midnight (the date alone) and with the hour running past midnight.
    for (QDate d(1998, 1, 1); d <= QDate(2097, 12, 31);
         d = d.addDays(d.year() == 1999 || d.year() == 2000 ? 1 : 11)) {
        const int yy = d.year() % 100;
        const std::array<quint8, 6> midnight{bcd(yy), bcd(d.month()), bcd(d.day()), 0, 0, 0};
        QCOMPARE(LocalDateTimeText(midnight, 12), referenceDate(locale, d));
        if (d.day() % 9 == 0) {
            const std::array<quint8, 6> late{bcd(yy), bcd(d.month()), bcd(d.day()), 0x23, 0, 0};
            QCOMPARE(LocalDateTimeText(late, 14), referenceDate(locale, d.addDays(1)) +
                                                      QLatin1Char(' ') +
                                                      referenceTime(locale, QTime(1, 0)));
            QCOMPARE(LocalDateTimeText(late, 0), referenceDate(locale, d) + QLatin1Char(' ') +
                                                     referenceTime(locale, QTime(11, 0)));
        }
    }
}

void TestFormatterFastPaths::dateFollowsLocaleChange()
{
    const std::array<quint8, 6> bytes{bcd(99), bcd(12), bcd(31), bcd(23), bcd(59), bcd(59)};
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(LocalDateTimeText(bytes, 12), QStringLiteral("12/31/1999 11:59:59 PM"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(LocalDateTimeText(bytes, 12), QStringLiteral("31.12.1999 23:59:59"));
    QCOMPARE(NumberText(1.5), QStringLiteral("1,5"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(LocalDateTimeText(bytes, 13), QStringLiteral("1/1/2000 12:59:59 AM"));
    QCOMPARE(NumberText(1.5), QStringLiteral("1.5"));
}

QTEST_GUILESS_MAIN(TestFormatterFastPaths)
#include "tst_formatterfastpaths.moc"
