#include "platform/ui/UserDefaults.h"

namespace platform {
namespace {

// Marks a stored array that is empty, so that it is told from no stored array at all.
const QString emptyArrayKey = QStringLiteral("%1/isEmptyArray");

} // namespace

UserDefaults::UserDefaults(const QString& path)
    : settings_(path.isEmpty() ? QSettings(QSettings::IniFormat, QSettings::UserScope, "Aircask", "Aircask")
                               : QSettings(path, QSettings::IniFormat)) {}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered_.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    if (settings_.contains(key))
        return settings_.value(key);
    return registered_.value(key);
}

QString UserDefaults::stringForKey(const QString& key) const { return objectForKey(key).toString(); }

double UserDefaults::floatForKey(const QString& key) const {
    // The leading number of the text; 0 when there is none.
    const QString text = stringForKey(key).trimmed();
    int end = 0;
    while (end < text.size() && (text[end].isDigit() || text[end] == '.' || (end == 0 && text[end] == '-')))
        ++end;
    return text.left(end).toDouble();
}

void UserDefaults::setObject(const QString& key, const QVariant& value) { settings_.setValue(key, value); }

void UserDefaults::removeObject(const QString& key) { settings_.remove(key); }

std::vector<UserDefaults::StringMap> UserDefaults::arrayForKey(const QString& key) const {
    std::vector<StringMap> array;
    auto& settings = settings_;
    const bool stored = settings.childGroups().contains(key) || settings.contains(emptyArrayKey.arg(key));
    if (!stored) {
        for (const QVariant& item : registered_.value(key).toList()) {
            StringMap map;
            const QVariantMap values = item.toMap();
            for (auto it = values.begin(); it != values.end(); ++it)
                map[it.key().toStdString()] = it.value().toString().toStdString();
            array.push_back(std::move(map));
        }
        return array;
    }
    const int size = settings.beginReadArray(key);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        StringMap map;
        for (const QString& name : settings.childKeys())
            map[name.toStdString()] = settings.value(name).toString().toStdString();
        array.push_back(std::move(map));
    }
    settings.endArray();
    return array;
}

void UserDefaults::setArray(const QString& key, const std::vector<StringMap>& array) {
    settings_.remove(key);
    settings_.remove(emptyArrayKey.arg(key));
    if (array.empty()) {
        settings_.setValue(emptyArrayKey.arg(key), true);
        return;
    }
    settings_.beginWriteArray(key, static_cast<int>(array.size()));
    for (std::size_t i = 0; i < array.size(); ++i) {
        settings_.setArrayIndex(static_cast<int>(i));
        for (const auto& [name, value] : array[i])
            settings_.setValue(QString::fromStdString(name), QString::fromStdString(value));
    }
    settings_.endArray();
}

void UserDefaults::synchronize() { settings_.sync(); }

} // namespace platform
