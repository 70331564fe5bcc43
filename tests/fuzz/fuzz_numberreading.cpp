// The number-reading rule every window and the settings readers share, on any text.
#include "fuzzcheck.h"
#include "link/numberreading.h"

#include <QString>
#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The same bytes as UTF-8 and as UTF-16, so that any character reaches the reader.
    const QString utf8 = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString utf16 =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    for (const QString &text : {utf8, utf16}) {
        const NumberReading r = readNumberText(text);
        FUZZ_CHECK(std::isfinite(r.value));
        if (!r.inRange || !r.hasDigits)
            FUZZ_CHECK(r.value == 0);
        FUZZ_CHECK(readNumber(text) == r.value);

        // Reading stops at the first character that cannot continue a number, and
        // leading blanks and tabs are skipped.
        const NumberReading padded = readNumberText(QStringLiteral(" \t") + text);
        const bool startsBlank = !text.isEmpty() && (text[0] == u' ' || text[0] == u'\t');
        if (!startsBlank) {
            FUZZ_CHECK(padded.hasDigits == r.hasDigits);
            FUZZ_CHECK(padded.inRange == r.inRange);
            FUZZ_CHECK(padded.value == r.value);
        }
        const NumberReading stopped = readNumberText(text + QStringLiteral("#9"));
        FUZZ_CHECK(stopped.value == r.value && stopped.hasDigits == r.hasDigits);
    }
    return 0;
}
