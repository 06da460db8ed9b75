#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <map>
#include <string>
#include <vector>

namespace platform {

// The user-defaults store: an INI file of the program's own (~/.config/<Org>/<App>.ini) with a
// registration layer. Registered values answer only keys that have no readable stored value;
// they are never written. Lists of string maps (the stations) are stored as arrays:
// "stations/1/stationName=...".
//
// Reading is tolerant: whatever entries of a damaged file can be read are kept, an unreadable
// value answers with its registered default, and an array is as long as the entries actually
// present (its stored "size" is never trusted). A file that cannot be read whole is copied aside
// before anything is written back; `damagedCopy()` names the copy. Writes are atomic.
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

    // The stored array, or the registered one when none is stored or none of its entries can
    // be read. Entries without a readable value are left out.
    std::vector<StringMap> arrayForKey(const QString& key) const;
    void setArray(const QString& key, const std::vector<StringMap>& array);

    // Writes the store to disk now.
    void synchronize();
    QSettings& settings() { return settings_; }

    // True when the settings file existed but could not be read whole.
    bool wasDamaged() const { return damaged_; }
    // Where the damaged file was copied before anything was written back ("" when it was whole,
    // or when no copy could be made).
    const QString& damagedCopy() const { return damagedCopy_; }

private:
    mutable QSettings settings_; // reading an array moves its group cursor
    QVariantMap registered_;
    bool damaged_ = false;
    QString damagedCopy_;
};

// The one-time notice both programs show after starting from a damaged settings file.
QString damagedSettingsNotice(const QString& settingsFile, const QString& copy);

} // namespace platform
