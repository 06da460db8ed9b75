#pragma once

#include "ripper/EncoderArguments.h"

#include <optional>
#include <string>
#include <vector>

namespace ripper {

// One run of the encoder.
struct RipRun {
    std::vector<std::string> arguments;
    std::string workingDirectory;
    std::string displayedName; // what the track status line names
    std::string source;        // per-track runs: the track file
};

struct RipJob {
    std::vector<RipRun> runs;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::string outputFolder;
};

struct RipJobRequest {
    EncoderOptions options;
    bool singleTrack = false;
    bool nestedFolders = false;
    std::string cdPath;
    std::vector<std::string> trackList;            // names in the CD folder; hidden ones are skipped
    std::optional<std::vector<std::string>> album; // artist, album, then titles
    std::string outputDirectoryField;
};

// Makes the job's output folder and lists its encoder runs: one per track, or one gapless run
// over every track. Without album information the folder is numbered beside the field's last
// component and the files keep the tracks' names; a track without a title in the album
// information is named after its file.
RipJob planRipJob(const RipJobRequest& request);

} // namespace ripper
