#include "platform/ui/UserDefaults.h"

#include "platform/core/Files.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace platform {
namespace {

// Marks a stored array that is empty, so that it is told from no stored array at all.
const QString emptyArrayMarker = QStringLiteral("isEmptyArray");

bool readable(const QVariant& value) { return value.isValid() && value.canConvert<QString>(); }

// The 1-based entry numbers of the array in the current group, in order: the entries the file
// actually holds, whatever its "size" line says.
std::vector<int> entryNumbers(const QSettings& settings) {
    std::vector<int> numbers;
    for (const QString& name : settings.childGroups()) {
        bool ok = false;
        const int number = name.toInt(&ok);
        if (ok && number > 0 && name == QString::number(number))
            numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// An array group is whole when its "size" is a number that counts exactly the entries 1..size
// and nothing else stands in it. Other groups are whole.
bool arrayIsWhole(QSettings& settings, const QString& group) {
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    const std::vector<int> numbers = entryNumbers(settings);
    bool whole = true;
    if (keys.contains("size") || !numbers.empty()) {
        bool ok = false;
        const int size = settings.value("size").toString().toInt(&ok);
        whole = ok && keys.size() == 1 && static_cast<int>(numbers.size()) == size &&
                settings.childGroups().size() == size && (numbers.empty() || numbers.back() == size);
    }
    settings.endGroup();
    return whole;
}

} // namespace

UserDefaults::UserDefaults(const QString& path)
    : settings_(path.isEmpty() ? QSettings(QSettings::IniFormat, QSettings::UserScope, "Aircask", "Aircask")
                               : QSettings(path, QSettings::IniFormat)) {
    settings_.setAtomicSyncRequired(true);
    QStringList unreadable;
    for (const QString& key : settings_.allKeys())
        if (!settings_.value(key).isValid())
            unreadable << key;
    // The program never writes an empty file: one that exists and is empty was cut short.
    const QFileInfo file(settings_.fileName());
    damaged_ = settings_.status() != QSettings::NoError || !unreadable.isEmpty() || (file.exists() && file.size() == 0);
    QStringList brokenArrays;
    for (const QString& group : settings_.childGroups())
        if (!arrayIsWhole(settings_, group))
            brokenArrays << group;
    damaged_ = damaged_ || !brokenArrays.isEmpty();
    if (!damaged_)
        return;
    // Copied before anything is written back. Then the file is made whole, so that the damage is
    // told once: unreadable values are dropped (they answer with their defaults), and an array
    // is written anew from the entries that could be read (or dropped when none could).
    damagedCopy_ = QString::fromStdString(keepDamagedCopy(settings_.fileName().toStdString()));
    if (damagedCopy_.isEmpty())
        return; // nothing is written over what could not be kept
    for (const QString& key : unreadable)
        settings_.remove(key);
    for (const QString& group : brokenArrays) {
        const auto entries = arrayForKey(group);
        settings_.remove(group);
        if (!entries.empty())
            setArray(group, entries);
    }
    settings_.sync();
    // Nothing left that could be read: no file at all is a fresh start, not damage.
    if (QFileInfo(settings_.fileName()).size() == 0)
        QFile::remove(settings_.fileName());
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered_.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString& key) const {
    if (settings_.contains(key))
        if (QVariant value = settings_.value(key); value.isValid())
            return value;
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
    if (settings.childGroups().contains(key)) {
        settings.beginGroup(key);
        const bool markedEmpty = settings.childKeys().contains(emptyArrayMarker);
        for (const int number : entryNumbers(settings)) {
            settings.beginGroup(QString::number(number));
            StringMap map;
            for (const QString& name : settings.childKeys())
                if (const QVariant value = settings.value(name); readable(value))
                    map[name.toStdString()] = value.toString().toStdString();
            settings.endGroup();
            if (!map.empty())
                array.push_back(std::move(map));
        }
        settings.endGroup();
        if (!array.empty() || markedEmpty)
            return array;
    }
    for (const QVariant& item : registered_.value(key).toList()) {
        StringMap map;
        const QVariantMap values = item.toMap();
        for (auto it = values.begin(); it != values.end(); ++it)
            map[it.key().toStdString()] = it.value().toString().toStdString();
        array.push_back(std::move(map));
    }
    return array;
}

void UserDefaults::setArray(const QString& key, const std::vector<StringMap>& array) {
    settings_.remove(key);
    if (array.empty()) {
        settings_.setValue(key + "/" + emptyArrayMarker, true);
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

QString damagedSettingsNotice(const QString& settingsFile, const QString& copy) {
    if (copy.isEmpty())
        return QObject::tr("Some settings could not be read from %1, and no copy of the old file could be kept. "
                           "Defaults take the place of what was lost.")
            .arg(settingsFile);
    return QObject::tr("Some settings could not be read; a copy of the old file was kept at %1.").arg(copy);
}

} // namespace platform
