#pragma once

#include <QString>

// The per-user settings store: section, key and a text value, with a default on every read.
// It keeps its values in Qt's native per-user store under the program's title.
class SettingsStore {
public:
    explicit SettingsStore(const QString &appName);

    QString GetSetting(const QString &section, const QString &key, const QString &def) const;
    void SaveSetting(const QString &section, const QString &key, const QString &value);

private:
    QString m_appName;
};
