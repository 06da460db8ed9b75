#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <map>
#include <string>
#include <vector>

namespace platform {

// The user-defaults store: an INI file of the program's own (~/.config/<Org>/<App>.conf) with a
// registration layer. Registered values answer only keys that have no stored value; they are
// never written. Lists of string maps (the stations) are stored as arrays:
// "stations/1/stationName=...".
class UserDefaults {
public:
    using StringMap = std::map<std::string, std::string>;

    // `path` empty: the desktop's usual place for the program's settings.
    explicit UserDefaults(const QString& path = QString());

    void registerDefaults(const QVariantMap& defaults);

    QVariant objectForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    double floatForKey(const QString& key) const;
    void setObject(const QString& key, const QVariant& value);
    void removeObject(const QString& key);

    std::vector<StringMap> arrayForKey(const QString& key) const;
    void setArray(const QString& key, const std::vector<StringMap>& array);

    // Writes the store to disk now.
    void synchronize();
    QSettings& settings() { return settings_; }

private:
    mutable QSettings settings_; // reading an array moves its group cursor
    QVariantMap registered_;
};

} // namespace platform
