#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ripper {

// The names in a CD folder, hidden ones included, with numbers in names compared as numbers
// ("2 Audio Track.aiff" before "10 Audio Track.aiff"); none when the folder cannot be listed.
std::optional<std::vector<std::string>> getTracksAtPath(const std::string& path);

// Whether the folder can be listed and holds at least one entry.
bool audioCDIsMounted(const std::string& path);

struct ChosenSource {
    std::string cdFolder;
    std::vector<std::string> chosenTracks; // names inside the CD folder
};

// What choosing these items (from the open dialog, or dropped) means: a folder first takes the
// folder and its whole listing; files first take their folder and exactly those files by name.
// None for no items.
std::optional<ChosenSource> chooseSource(const std::vector<std::string>& items);

} // namespace ripper
