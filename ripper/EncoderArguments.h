#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The encoder's command line and the names of its output files, built from the user's options.
// Pure string work: the window's controllers fill EncoderOptions from their controls and call these.

namespace ripper {

struct EncoderOptions {
    std::string presetTitle;   // the chosen preset row: "--alt-preset standard", or a word for the expert row
    std::string expertOptions; // encoder arguments separated by spaces
    bool makeAltPresetFaster = false;
    bool addID3Tags = false;
    bool convertSpacesToUnderscores = false;
    std::string nameStyle; // "%d - %t.mp3" when empty
};

// The preset title as arguments: its head and rest ("fast" between them for "--alt-preset"
// other than "insane" when faster presets are on); none when the title holds no space.
std::optional<std::vector<std::string>> getBasicConfigOption(const EncoderOptions& options);
// The expert options cut at every space (an empty piece for each extra space); none when empty.
std::vector<std::string> getExpertConfigOption(const EncoderOptions& options);

// Tags beyond artist, album, year and genre, where the album information knows them.
struct AlbumTagExtras {
    bool tracksHaveOwnArtists = false; // the album's artist then also goes into TPE2
    int discNumber = 0, discTotal = 0;  // TPOS "n/total" when both are known
};

// The arguments common to every run of a job: the preset (or expert) arguments, "--add-id3v2",
// "--disptime", "5", and with tags on "--id3v2-utf16", then "--ta" artist, "--tl" album, "--ty"
// year and "--tg" genre where known, and the extras as "--tv" frames.
std::vector<std::string> loadCLArguments(const EncoderOptions& options, const std::optional<std::string>& artist,
                                         const std::optional<std::string>& album, const std::string& year = {},
                                         const std::string& genre = {}, const AlbumTagExtras& extras = {});

// The tag arguments of one per-track run: "--tt" title "--tn" number (as "n/total" when the
// total is known), and "--ta" with the track's own artist where it has one; nothing with tags
// off. The title is the track's among `trackNames`, or its file's name past them.
// The number is the one written in the source's name, or `currentTrack` when it has none.
// `trackPair` is the run's source and destination path; `currentTrack` counts runs from 1.
std::vector<std::string> loadID3TrackTagArgumentsforCurrentTrack(const EncoderOptions& options,
                                                                 const std::pair<std::string, std::string>& trackPair,
                                                                 const std::vector<std::string>& trackNames,
                                                                 std::int32_t currentTrack, std::int32_t trackTotal = 0,
                                                                 const std::string& trackArtist = {});

// The output file name from the name style. A "/" in the result (from a title, an artist, an
// album or the style) becomes "-", so no run writes outside its folder.
std::string createOutputFilenameWithFormat(const EncoderOptions& options, const std::string& format,
                                           std::int32_t trackNumber, const std::string& trackName,
                                           const std::optional<std::string>& artist,
                                           const std::optional<std::string>& album);

// The whole argument list of one per-track run: the common arguments, the source and
// destination paths, and the track's tag arguments.
std::vector<std::string> perTrackRunArguments(const std::vector<std::string>& common, const std::string& source,
                                              const std::string& destination, const std::vector<std::string>& tags);
// The argument list of a single gapless run over every track of the job, into `outputFolder`.
std::vector<std::string> gaplessRunArguments(const std::vector<std::string>& common,
                                             const std::vector<std::string>& trackPaths,
                                             const std::string& outputFolder);

std::string replaceChar(char from, char to, const std::string& text);

// The number written after the first space of a track file's name ("Track 07.aiff" gives 7); 0 when none.
std::int32_t extractRealTrackNumberFromString(const std::string& name);

} // namespace ripper
