#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// `folderReady`, when given, is told the folder and the names its tracks will have as soon as the
// table of contents is written, before any track is read: a job may start on the tracks as they
// come. `trackDone` is told each track's name once it is whole.
std::optional<std::string> prepareCdFolder(const std::string& deviceOrImage, const std::string& cacheRoot,
                                           const std::function<bool(const CdFolderProgress&)>& progress,
                                           std::string* error,
                                           const std::function<void(const std::string& folder,
                                                                    const std::vector<std::string>& tracks)>&
                                               folderReady = {},
                                           const std::function<void(const std::string& track)>& trackDone = {});

} // namespace ripper
