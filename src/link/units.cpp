#include "link/units.h"

#include "link/storedsettings.h"
#include "platform/settingsstore.h"

#include <QStringList>
#include <array>

namespace {

constexpr std::array kPositionNames = {"dm", "deg", "dms"};
constexpr std::array kHeightNames = {"m", "ft"};
constexpr std::array kSpeedNames = {"kmh", "kn", "mph", "ms"};

template <std::size_t N> int indexOf(const std::array<const char *, N> &names, const QString &name)
{
    for (std::size_t i = 0; i < N; ++i)
        if (name == QLatin1String(names[i]))
            return int(i);
    return -1;
}

// The stored name of one kind, or its default after a warning.
template <std::size_t N>
int storedName(const SettingsStore &store, const char *key,
               const std::array<const char *, N> &names)
{
    const QString def = QLatin1String(names[0]);
    const QString text = store.GetSetting(QStringLiteral("Units"), QLatin1String(key), def);
    const int i = indexOf(names, text);
    if (i >= 0)
        return i;
    qWarning("Units/%s holds \"%s\", which is none of the program's; \"%s\" it is", key,
             qPrintable(text.left(40)), names[0]);
    return 0;
}

} // namespace

QString unitName(PositionFormat f)
{
    return QLatin1String(kPositionNames[std::size_t(f)]);
}

QString unitName(HeightUnit u)
{
    return QLatin1String(kHeightNames[std::size_t(u)]);
}

QString unitName(SpeedUnit u)
{
    return QLatin1String(kSpeedNames[std::size_t(u)]);
}

std::optional<Units> unitsFromNames(const QString &list, const Units &base)
{
    Units u = base;
    for (const QString &part : list.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        if (const int i = indexOf(kPositionNames, name); i >= 0)
            u.position = PositionFormat(i);
        else if (const int h = indexOf(kHeightNames, name); h >= 0)
            u.height = HeightUnit(h);
        else if (const int s = indexOf(kSpeedNames, name); s >= 0)
            u.speed = SpeedUnit(s);
        else
            return std::nullopt;
    }
    return u;
}

Units storedUnits(const SettingsStore &store)
{
    Units u;
    u.position = PositionFormat(storedName(store, "Position", kPositionNames));
    u.height = HeightUnit(storedName(store, "Height", kHeightNames));
    u.speed = SpeedUnit(storedName(store, "Speed", kSpeedNames));
    return u;
}

void saveUnits(SettingsStore &store, const Units &units)
{
    const QString section = QStringLiteral("Units");
    store.SaveSetting(section, QStringLiteral("Position"), unitName(units.position));
    store.SaveSetting(section, QStringLiteral("Height"), unitName(units.height));
    store.SaveSetting(section, QStringLiteral("Speed"), unitName(units.speed));
}

int storedTimeZone(const SettingsStore &store)
{
    const QString section = QStringLiteral("Time Zone");
    if (storedFlag(store.GetSetting(section, QStringLiteral("Computer"), QStringLiteral("False"))))
        return kComputerTimeZone;
    return storedIndex(store.GetSetting(section, QStringLiteral("Zone"), QStringLiteral("5")), 5,
                       24);
}
