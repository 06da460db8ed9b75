#include "ripper/freedb/EditedTitles.h"

#include "platform/core/Files.h"
#include "platform/core/PropertyList.h"

#include <filesystem>

namespace ripper {
namespace {

std::vector<std::string> texts(const platform::PlistDict& dict, const char* key) {
    std::vector<std::string> values;
    const auto found = dict.find(key);
    if (found == dict.end() || !found->second.array())
        return values;
    for (const auto& value : *found->second.array())
        values.push_back(value.string() ? *value.string() : std::string());
    return values;
}

std::string text(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    return found != dict.end() && found->second.string() ? *found->second.string() : std::string();
}

int number(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    return found != dict.end() && found->second.integer() && *found->second.integer() >= 0 &&
                   *found->second.integer() <= 999
               ? static_cast<int>(*found->second.integer())
               : 0;
}

platform::PlistArray array(const std::vector<std::string>& values) {
    return platform::PlistArray(values.begin(), values.end());
}

// A disc id names a folder: nothing that could lead out of the cache.
bool usableId(const std::string& id) {
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string::npos;
}

} // namespace

std::string editedTitlesPath(const std::string& cacheRoot, const std::string& discId) {
    return platform::joinPath(platform::joinPath(cacheRoot, discId), ".edited-titles.plist");
}

std::optional<AlbumEntry> readEditedTitles(const std::string& cacheRoot, const std::string& discId) {
    if (!usableId(discId))
        return std::nullopt;
    const auto dict = platform::readPropertyList(editedTitlesPath(cacheRoot, discId));
    if (!dict)
        return std::nullopt;
    AlbumEntry entry;
    entry.info = {text(*dict, "Artist"), text(*dict, "Album")};
    const auto titles = texts(*dict, "Titles");
    if (titles.empty())
        return std::nullopt;
    entry.info.insert(entry.info.end(), titles.begin(), titles.end());
    entry.year = text(*dict, "Year");
    entry.genre = text(*dict, "Genre");
    entry.trackArtists = texts(*dict, "TrackArtists");
    entry.discNumber = number(*dict, "DiscNumber");
    entry.discTotal = number(*dict, "DiscTotal");
    return entry;
}

bool keepEditedTitles(const std::string& cacheRoot, const std::string& discId, const AlbumEntry& entry) {
    if (!usableId(discId) || entry.info.size() < 2)
        return false;
    std::error_code made;
    std::filesystem::create_directories(platform::joinPath(cacheRoot, discId), made);
    if (made)
        return false;
    return platform::writePropertyList(
        editedTitlesPath(cacheRoot, discId),
        {{"Artist", entry.info[0]},
         {"Album", entry.info[1]},
         {"Titles", array({entry.info.begin() + 2, entry.info.end()})},
         {"Year", entry.year},
         {"Genre", entry.genre},
         {"TrackArtists", array(entry.trackArtists)},
         {"DiscNumber", entry.discNumber},
         {"DiscTotal", entry.discTotal}});
}

} // namespace ripper
