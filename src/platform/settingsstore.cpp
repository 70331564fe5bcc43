#include "platform/settingsstore.h"

#include <QSettings>

SettingsStore::SettingsStore(const QString &appName) : m_appName(appName) {}

QString SettingsStore::GetSetting(const QString &section, const QString &key,
                                  const QString &def) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
    s.beginGroup(section);
    const QVariant v = s.value(key);
    if (!v.isValid())
        return def;
    // A hand-edited file may hold a list or another type where a text belongs.
    return v.canConvert<QString>() ? v.toString() : def;
}

void SettingsStore::SaveSetting(const QString &section, const QString &key, const QString &value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
    s.beginGroup(section);
    s.setValue(key, value);
}
