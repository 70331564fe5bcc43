#include "numberreading.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

NumberReading ReadNumberText(QStringView text)
{
    NumberReading r;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;

    if (i + 1 < n && text[i] == u'&' && (text[i + 1] == u'h' || text[i + 1] == u'H')) {
        i += 2;
        quint64 v = 0;
        int digits = 0;
        for (; i < n && hexDigit(text[i]) >= 0; ++i, ++digits) {
            if (digits < 16)
                v = (v << 4) | quint64(hexDigit(text[i]));
        }
        if (digits == 0)
            return r;
        r.hasDigits = true;
        if (digits > 8) {
            r.inRange = false;
            return r;
        }
        r.value = digits <= 4 ? double(qint16(quint16(v))) : double(qint32(quint32(v)));
        return r;
    }

    // Collect the accepted characters and let strtod do the arithmetic, so that
    // the value is the nearest double to what was typed.
    std::string s;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        s += char(text[i++].unicode());
    bool point = false;
    for (; i < n; ++i) {
        if (isDigit(text[i])) {
            s += char(text[i].unicode());
            r.hasDigits = true;
        } else if (text[i] == u'.' && !point) {
            point = true;
            s += '.';
        } else {
            break;
        }
    }
    if (!r.hasDigits)
        return r;
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        qsizetype j = i + 1;
        std::string exp = "e";
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            exp += char(text[j++].unicode());
        bool expDigits = false;
        for (; j < n && isDigit(text[j]); ++j) {
            exp += char(text[j].unicode());
            expDigits = true;
        }
        if (expDigits)
            s += exp;
    }
    const double v = std::strtod(s.c_str(), nullptr);
    if (!std::isfinite(v)) {
        r.inRange = false;
        return r;
    }
    r.value = v == 0 ? 0.0 : v; // no negative zero
    return r;
}

double ReadNumber(QStringView text)
{
    return ReadNumberText(text).value;
}
