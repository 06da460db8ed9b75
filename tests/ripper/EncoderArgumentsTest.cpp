#include "ripper/EncoderArguments.h"

#include <gtest/gtest.h>

using namespace ripper;
using Args = std::vector<std::string>;

namespace {

TEST(EncoderArguments, NameStyles) {
    struct Case {
        std::string style;
        std::int32_t track;
        std::string title;
        bool underscores;
        std::string name;
    } cases[] = {
        {"%d - %t.mp3", 3, "T", false, "03 - T.mp3"},
        {"%d - %t.mp3", 12, "T", false, "12 - T.mp3"},
        {"%d - %t.mp3", 0, "T", false, "00 - T.mp3"},
        {"%d - %t.mp3", 100, "T", false, "100 - T.mp3"},
        {"", 3, "T", false, "03 - T.mp3"},
        {"%a - %l - %d %t.mp3", 1, "Song", false, "The Band - Best Of - 01 Song.mp3"},
        {"%%x%q%d.mp3%", 5, "T", false, "x05.mp3"},
        {"%a %t.mp3", 2, "Long Song", true, "The_Band_Long_Song.mp3"},
        {"%d - %t.mp3", 4, "AC/DC / Live", false, "04 - AC-DC - Live.mp3"},
        {"%a/%t.mp3", 4, "x", false, "The Band-x.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style + " " + c.title);
        EncoderOptions options;
        options.convertSpacesToUnderscores = c.underscores;
        EXPECT_EQ(createOutputFilenameWithFormat(options, c.style, c.track, c.title, "The Band", "Best Of"), c.name);
    }
    EXPECT_EQ(createOutputFilenameWithFormat({}, "%a%l%t", 1, "t", std::nullopt, std::nullopt), "t");
}

TEST(EncoderArguments, PresetAndExpertOptions) {
    struct Case {
        const char* what;
        std::string preset;
        std::string expert;
        bool faster;
        Args arguments; // the common arguments without tags
    } cases[] = {
        {"faster alt preset",
         "--alt-preset standard",
         "",
         true,
         {"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5"}},
        {"insane is never fast",
         "--alt-preset insane",
         "",
         true,
         {"--alt-preset", "insane", "--add-id3v2", "--disptime", "5"}},
        {"faster only for alt presets",
         "--preset 128",
         "",
         true,
         {"--preset", "128", "--add-id3v2", "--disptime", "5"}},
        {"the rest keeps its spaces",
         "--alt-preset cbr 192",
         "",
         false,
         {"--alt-preset", "cbr 192", "--add-id3v2", "--disptime", "5"}},
        {"expert row", "Expert", "-V  2 -q", false, {"-V", "", "2", "-q", "--add-id3v2", "--disptime", "5"}},
        {"expert row, nothing typed", "Expert", "", false, {"--add-id3v2", "--disptime", "5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EncoderOptions options{c.preset, c.expert, c.faster, false, false, ""};
        EXPECT_EQ(loadCLArguments(options, "Artist", "Album"), c.arguments);
    }
}

TEST(EncoderArguments, PerTrackAndGaplessJobs) {
    EncoderOptions tags{"--alt-preset standard", "", true, true, false, ""};
    const Args common = loadCLArguments(tags, "Artist", "Album");
    // Tag texts go in as UTF-16: the option stands before the tags it applies to.
    EXPECT_EQ(common, (Args{"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5", "--id3v2-utf16",
                            "--ta", "Artist", "--tl", "Album"}));
    EXPECT_EQ(loadCLArguments(tags, std::nullopt, "Album"), (Args{"--alt-preset", "fast", "standard", "--add-id3v2",
                                                                  "--disptime", "5", "--id3v2-utf16", "--tl", "Album"}));
    EXPECT_EQ(loadCLArguments(tags, std::nullopt, std::nullopt),
              (Args{"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5", "--id3v2-utf16"}));
    EXPECT_EQ(loadCLArguments(tags, "Artist", "Album", "1999", "Rock"),
              (Args{"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5", "--id3v2-utf16", "--ta",
                    "Artist", "--tl", "Album", "--ty", "1999", "--tg", "Rock"}));

    const std::pair<std::string, std::string> pair{"/cd/2 Audio Track.aiff", "/out/02 - Second.mp3"};
    const Args titles{"First", "Second", "Third"};
    const Args tagArgs = loadID3TrackTagArgumentsforCurrentTrack(tags, pair, titles, 2);
    EXPECT_EQ(tagArgs, (Args{"--tt", "Second", "--tn", "2"}));
    EXPECT_EQ(perTrackRunArguments(common, pair.first, pair.second, tagArgs),
              (Args{"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5", "--id3v2-utf16", "--ta",
                    "Artist", "--tl", "Album", "/cd/2 Audio Track.aiff", "/out/02 - Second.mp3", "--tt", "Second",
                    "--tn", "2"}));
    // The title is the album's whatever the name starts with ("Tracks of My Tears"); a track
    // past the known titles takes its file's name.
    EXPECT_EQ(loadID3TrackTagArgumentsforCurrentTrack(tags, {"/cd/Track 07.aiff", "/out/Tracks of My Tears.mp3"},
                                                      {"Tracks of My Tears"}, 1),
              (Args{"--tt", "Tracks of My Tears", "--tn", "7"}));
    EXPECT_EQ(loadID3TrackTagArgumentsforCurrentTrack(tags, {"/cd/9 Audio Track.aiff", "/out/x.mp3"}, titles, 9),
              (Args{"--tt", "9 Audio Track", "--tn", "9"}));

    EncoderOptions noTags = tags;
    noTags.addID3Tags = false;
    EXPECT_TRUE(loadID3TrackTagArgumentsforCurrentTrack(noTags, pair, titles, 2).empty());
    EXPECT_EQ(gaplessRunArguments(loadCLArguments(noTags, "Artist", "Album"), {"/cd/1 a.aiff", "/cd/2 b.aiff"}, "/out"),
              (Args{"--alt-preset", "fast", "standard", "--add-id3v2", "--disptime", "5", "--nogap", "/cd/1 a.aiff",
                    "/cd/2 b.aiff", "--nogapout", "/out"}));
}

TEST(EncoderArguments, TrackNumbersFromFileNames) {
    struct Case {
        const char* name;
        std::int32_t number;
    } cases[] = {{"Track 07.aiff", 7}, {"1 Audio Track.aiff", 0}, {"Audio 12 x", 12}, {"A  5", 5},   {"A -3", -3},
                 {"NoSpace.aiff", 0},  {"Track x1", 0},           {"Track 1", 1},     {"Track ", 0}, {"Track 123", 12}};
    for (const auto& c : cases)
        EXPECT_EQ(extractRealTrackNumberFromString(c.name), c.number) << c.name;
    EXPECT_EQ(replaceChar(' ', '_', " a b "), "_a_b_");
}

} // namespace
