#include "ripper/CdSource.h"

#include "platform/core/Files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace ripper {
namespace {

// Compares names with runs of digits taken as numbers.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::optional<std::vector<std::string>> getTracksAtPath(const std::string& path) {
    if (!platform::isDirectory(path))
        return std::nullopt;
    auto names = platform::listDirectory(path);
    std::stable_sort(names.begin(), names.end(), naturalLess);
    return names;
}

bool audioCDIsMounted(const std::string& path) {
    const auto names = getTracksAtPath(path);
    return names && !names->empty();
}

std::optional<ChosenSource> chooseSource(const std::vector<std::string>& items) {
    if (items.empty())
        return std::nullopt;
    ChosenSource source;
    if (platform::isDirectory(items.front())) {
        source.cdFolder = items.front();
        source.chosenTracks = getTracksAtPath(items.front()).value_or(std::vector<std::string>{});
        return source;
    }
    source.cdFolder = std::filesystem::path(items.front()).parent_path().string();
    for (const auto& item : items)
        source.chosenTracks.push_back(platform::lastPathComponent(item));
    return source;
}

} // namespace ripper
