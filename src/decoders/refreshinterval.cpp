#include "decoders/refreshinterval.h"

#include "link/numberreading.h"

#include <cmath>

std::optional<int> refreshIntervalMs(QStringView secondsText)
{
    const NumberReading r = readNumberText(secondsText);
    if (!r.hasDigits || !r.inRange || r.value < 0)
        return std::nullopt;
    const double ms = std::round(r.value * 1000.0);
    if (ms > kMaxRefreshMs)
        return std::nullopt;
    return int(ms);
}
