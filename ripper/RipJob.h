#pragma once

#include "ripper/EncoderArguments.h"

#include <optional>
#include <string>
#include <vector>

namespace ripper {

// One run of the encoder. It writes to `temporary`, a hidden name in the album folder, which
// becomes `destination` only when the run succeeds: no file under a final name is ever partial.
struct RipRun {
    std::vector<std::string> arguments;
    std::string workingDirectory;
    std::string displayedName; // what the track status line names
    std::string source;        // per-track runs: the track file
    std::string destination;   // per-track runs: the final file; a gapless run: the album folder
    std::string temporary;     // per-track runs: a hidden file; a gapless run: a hidden folder
};

struct RipJob {
    std::vector<RipRun> runs;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::string outputFolder;
    // Folders this job made (the album folder last); removed at the end when left empty.
    std::vector<std::string> createdFolders;
    // Why the job cannot run (a name style that names every track alike, a folder that cannot
    // be made); nothing was made then.
    std::string problem;
};

struct RipJobRequest {
    EncoderOptions options;
    bool singleTrack = false;
    bool nestedFolders = false;
    std::string cdPath;
    std::vector<std::string> trackList;            // names in the CD folder; hidden ones are skipped
    std::optional<std::vector<std::string>> album; // artist, album, then titles
    std::string year, genre;                       // for the tags, where known
    std::vector<std::string> trackArtists;         // per track, "" where it is the album's
    int discNumber = 0, discTotal = 0;
    std::string outputDirectoryField;
};

// Makes the job's output folder and lists its encoder runs: one per track, or one gapless run
// over every track. Without album information the folder is numbered beside the field's last
// component and the files keep the tracks' names; a track without a title in the album
// information is named after its file. Tracks that would get the same file name get " (2)",
// " (3)" ... in track order.
RipJob planRipJob(const RipJobRequest& request);

// Why a name style cannot name the files of a per-track job, or none when it can: it must tell
// the tracks apart (%d or %t) and end in ".mp3".
std::optional<std::string> nameStyleProblem(const std::string& style);

// The file name with " (n)" before its extension.
std::string numberedName(const std::string& name, int n);

} // namespace ripper
