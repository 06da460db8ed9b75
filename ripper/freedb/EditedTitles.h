#pragma once

#include "ripper/freedb/AlbumEntry.h"

#include <optional>
#include <string>

namespace ripper {

// The titles a user edited for a disc, kept with the disc in its cache folder
// ("<cacheRoot>/<MusicBrainz disc id>/.edited-titles.plist", hidden so that it is no track), and
// offered again when the same disc comes back.
std::string editedTitlesPath(const std::string& cacheRoot, const std::string& discId);
// None when there are none, or the file cannot be read as edited titles.
std::optional<AlbumEntry> readEditedTitles(const std::string& cacheRoot, const std::string& discId);
// False (with nothing written) when the folder or the file cannot be written.
bool keepEditedTitles(const std::string& cacheRoot, const std::string& discId, const AlbumEntry& entry);

} // namespace ripper
