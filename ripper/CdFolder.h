#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ripper {

// Turns an audio CD in a drive, or a disc image, into a CD folder as Discwell rips it: one AIFF
// file per audio track ("1 Audio Track.aiff", ...) and the disc's ".TOC.plist", in
// "<cacheRoot>/<disc id>". A folder made earlier for the same disc is reused: tracks already
// there whole are not read again. A track is written under a hidden name and renamed when it is
// complete, so a cancel never leaves a half-written track that a job would take as whole.
struct CdFolderProgress {
    int track; // 1-based among the audio tracks being read
    int tracks;
    long sectorsDone; // of this track
    long sectorsTotal;
};

std::optional<std::string> prepareCdFolder(const std::string& deviceOrImage, const std::string& cacheRoot,
                                           const std::function<bool(const CdFolderProgress&)>& progress,
                                           std::string* error);

} // namespace ripper
