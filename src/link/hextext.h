#pragma once

#include "platform/quotedtext.h"

#include <QByteArray>
#include <QString>

// The value of a hexadecimal digit in either case, -1 for any other character.
constexpr int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// A byte as exactly two upper-case hexadecimal digits: 202 gives "CA", 5 gives "05".
QString HexByte(int byte);

struct HexTextResult {
    QByteArray bytes;
    // Empty when the text was read; otherwise what is wrong and where.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Bytes typed or pasted as hexadecimal text: digit pairs in either case, run together
// ("CACA6C0D") or apart ("CA CA 6C 0D", "0xCA, 0xCA"), over any number of lines.
// Blanks, tabs, commas, colons and semicolons separate; "#" starts a comment that runs
// to the end of its line. A single digit or any other character is refused, with its
// line and column, rather than guessed at.
HexTextResult parseHexText(const QString &text);
