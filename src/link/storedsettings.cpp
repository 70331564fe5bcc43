#include "link/storedsettings.h"

#include "link/numberreading.h"

#include <cmath>

namespace {

// A reading that is a whole number of sane size, or nothing.
bool wholeNumber(const NumberReading &r)
{
    return r.hasDigits && r.inRange && r.value == std::floor(r.value) && std::fabs(r.value) <= 1e6;
}

} // namespace

int storedChoice(const QString &stored, const QList<int> &options, int def)
{
    const NumberReading r = readNumberText(stored);
    if (!wholeNumber(r))
        return def;
    const int v = int(r.value);
    return options.contains(v) ? v : def;
}

int storedIndex(const QString &stored, int def, int last)
{
    const NumberReading r = readNumberText(stored);
    if (!wholeNumber(r) || r.value < 0 || r.value > last)
        return def;
    return int(r.value);
}

bool storedFlag(const QString &stored)
{
    const QString text = stored.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    const NumberReading r = readNumberText(text);
    return r.hasDigits && r.inRange && r.value != 0;
}
