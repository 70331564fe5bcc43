#pragma once

#include <QStringView>

// How every window reads a number typed as text: leading blanks and tabs skipped,
// an optional sign, digits, at most one "." (whatever the locale) and an optional
// exponent, stopping at the first other character; no number gives 0. After "&h"
// hexadecimal digits are taken: up to four give a signed 16-bit value, five to
// eight a signed 32-bit one.
struct NumberReading {
    double value = 0;
    // False when the text held a number too large to read (more than eight hex
    // digits, or an exponent beyond the range of a double); value is then 0.
    bool inRange = true;
    // True when at least one digit was read.
    bool hasDigits = false;
    // Characters taken, leading blanks included: reading stopped at this index.
    qsizetype length = 0;
};

NumberReading readNumberText(QStringView text);
// The value alone (0 for text out of range).
double readNumber(QStringView text);
// True when the whole text, blanks around it aside, reads as a number in range:
// "100abc", "", "." and "1e" do not.
bool readsWhollyAsNumber(QStringView text, NumberReading &reading);
