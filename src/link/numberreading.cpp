#include "link/numberreading.h"

#include "link/hextext.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

int hexDigit(QChar c)
{
    return hexDigitValue(c.unicode());
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

NumberReading readHex(QStringView text, qsizetype i)
{
    NumberReading r;
    quint64 v = 0;
    int digits = 0;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i, ++digits) {
        if (digits < 16)
            v = (v << 4) | quint64(hexDigit(text[i]));
    }
    if (digits == 0)
        return r;
    r.length = i;
    r.hasDigits = true;
    if (digits > 8) {
        r.inRange = false;
        return r;
    }
    // Up to four digits are a 16-bit field, so 8000..FFFF are negative.
    r.value = digits <= 4 ? double(qint16(quint16(v))) : double(qint32(quint32(v)));
    return r;
}

} // namespace

NumberReading readNumberText(QStringView text)
{
    NumberReading r;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;

    if (i + 1 < n && text[i] == u'&' && (text[i + 1] == u'h' || text[i + 1] == u'H'))
        return readHex(text, i + 2);

    // The accepted characters are collected and converted by from_chars, which
    // ignores the C locale: "1.5" must read as 1.5 under a comma locale too.
    std::string s;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    bool point = false;
    // Decimal magnitude of the first significant digit, to tell underflow from overflow.
    long long magnitude = 0;
    bool significant = false;
    long long intDigits = 0;
    long long fractionZeros = 0;
    for (; i < n; ++i) {
        if (isDigit(text[i])) {
            s += char(text[i].unicode());
            r.hasDigits = true;
            if (text[i] != u'0')
                significant = true;
            if (!point && significant)
                ++intDigits;
            else if (point && !significant)
                ++fractionZeros;
        } else if (text[i] == u'.' && !point) {
            point = true;
            s += '.';
        } else {
            break;
        }
    }
    if (!r.hasDigits)
        return r;
    r.length = i;
    magnitude = intDigits > 0 ? intDigits - 1 : -(fractionZeros + 1);
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = i + 1;
        std::string exp = "e";
        bool expNegative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            expNegative = text[j] == u'-';
            exp += char(text[j++].unicode());
        }
        long long expValue = 0;
        bool expDigits = false;
        for (; j < n && isDigit(text[j]); ++j) {
            exp += char(text[j].unicode());
            expValue = std::min(expValue * 10 + (text[j].unicode() - u'0'), 1000000LL);
            expDigits = true;
        }
        if (expDigits) {
            r.length = j;
            s += exp;
            magnitude += expNegative ? -expValue : expValue;
        }
    }
    if (!significant)
        return r; // all zeros: 0 whatever the exponent
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    Q_UNUSED(end);
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent reads as 0; too large cannot be read at all.
        if (magnitude >= 0)
            r.inRange = false;
        return r;
    }
    if (ec != std::errc() || !std::isfinite(v)) {
        r.inRange = false;
        return r;
    }
    r.value = negative ? -v : v;
    return r;
}

double readNumber(QStringView text)
{
    return readNumberText(text).value;
}

bool readsWhollyAsNumber(QStringView text, NumberReading &reading)
{
    reading = readNumberText(text);
    return reading.hasDigits && reading.inRange && text.mid(reading.length).trimmed().isEmpty();
}
