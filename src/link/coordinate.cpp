#include "link/coordinate.h"

#include <cmath>

double scaledFromField(qint32 field)
{
    return double(field) / 256.0 / 36.0;
}

std::optional<qint32> fieldFromScaled(double scaled)
{
    const double value = scaled * 256.0 * 36.0;
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // default rounding: halves to even
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        return std::nullopt;
    return qint32(rounded);
}

double degreesFromScaled(double scaled)
{
    const double magnitude = std::fabs(scaled);
    const double degrees = std::floor(magnitude / 100.0);
    const double value = degrees + (magnitude - degrees * 100.0) / 60.0;
    return scaled < 0 ? -value : value;
}

double scaledFromDegrees(double degrees)
{
    const double magnitude = std::fabs(degrees);
    const double whole = std::floor(magnitude);
    const double scaled = whole * 100.0 + (magnitude - whole) * 60.0;
    return degrees < 0 ? -scaled : scaled;
}

bool onTheEarth(double latitudeDeg, double longitudeDeg, double heightM)
{
    return std::fabs(latitudeDeg) <= 90 && std::fabs(longitudeDeg) <= 180 && std::isfinite(heightM);
}
