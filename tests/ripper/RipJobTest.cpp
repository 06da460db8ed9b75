#include "platform/core/Files.h"
#include "platform/core/PropertyList.h"
#include "ripper/EncoderProgress.h"
#include "ripper/RipJob.h"
#include "ripper/RipperPreferences.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ripper;

namespace {

TEST(EncoderProgress, TheLastReportOfAChunk) {
    const std::string chunk = "\r    Frame          |  CPU time/estim | REAL time/estim | play/CPU |    ETA \n"
                              "     0/461   (  0%)|    0:00/    0:00|    0:00/    0:00|   0.0000x|    0:00 \n"
                              "00:12---------------\033[K\n kbps        %     %\033[K\n\033[A\033[A\r"
                              "   230/461   ( 50%)|    0:01/    0:02|    0:01/    0:02|   12.345x|    0:04 \n";
    const auto progress = lastEncoderProgress(chunk);
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->framesDone, 230);
    EXPECT_EQ(progress->framesTotal, 461);
    EXPECT_EQ(progress->percent, 50);
    EXPECT_EQ(progress->eta, "0:04");
    EXPECT_FALSE(lastEncoderProgress("LAME 3.100 64bits\nEncoding x.wav to x.mp3\n"));
    EXPECT_FALSE(lastEncoderProgress("   230/461   ( 50%)|    0:01/    0:0")); // cut in the middle
}

// What a fresh install has: the defaults resource the program ships.
platform::PlistDict freshInstall() {
    const auto dict = platform::readPropertyList(RIPPER_RESOURCES "/Default.cfg");
    EXPECT_TRUE(dict) << "the defaults resource is missing";
    return dict.value_or(platform::PlistDict{});
}

TEST(RipperPreferences, NoFileGivesTheFreshInstall) {
    RipperPreferences prefs;
    EXPECT_TRUE(prefs.load({}, freshInstall(), "/home/u").empty());
    EXPECT_EQ(prefs.basicConfigOption, "--alt-preset standard");
    EXPECT_FALSE(prefs.expertRowSelected);
    EXPECT_EQ(prefs.mp3NameStyle, "%d - %t.mp3");
    EXPECT_EQ(prefs.outputDirectory, "/home/u/Music/Audio CD");
    EXPECT_TRUE(prefs.addID3Tags);
    EXPECT_TRUE(prefs.soundAlertWhenFinished);
    EXPECT_FALSE(prefs.ripAsSingleTrack);
    EXPECT_EQ(prefs.freedbServer, "http://gnudb.gnudb.org/~cddb/cddb.cgi") << "gnudb asks for CDDB over HTTP";
    EXPECT_EQ(prefs.encoderJobs, 0) << "as many as there are cores";
    EXPECT_EQ(prefs.lookupOrder, "MusicBrainz+freedb");
    EXPECT_EQ(prefs.musicBrainzServer, "https://musicbrainz.org");
    EXPECT_EQ(prefs.emailAddress, "");
    EXPECT_EQ(prefs.dictionary().size(), 17u);
}

TEST(RipperPreferences, StoredOptionsAreWhatTheyShowOnAndOff) {
    const char* options[] = {"ConvertSpacesToUnderscores", "AddID3Tags", "MakeAltPresetFaster", "RipAsSingleTrack",
                             "SoundAlertWhenFinished", "EditTrackInformation", "CreateSeparateArtistAlbumDirs"};
    for (const platform::PlistValue& stored :
         {platform::PlistValue(0), platform::PlistValue(1), platform::PlistValue(false), platform::PlistValue(true)}) {
        const bool on = stored == platform::PlistValue(1) || stored == platform::PlistValue(true);
        platform::PlistDict dict;
        for (const char* key : options)
            dict[key] = stored;
        RipperPreferences prefs;
        EXPECT_TRUE(prefs.load(dict, freshInstall(), "/home/u").empty());
        const platform::PlistDict saved = prefs.dictionary();
        for (const char* key : options)
            EXPECT_EQ(*saved.at(key).integer(), on ? 1 : 0) << key << " stored " << (on ? "on" : "off");
    }
}

TEST(RipperPreferences, UnreadableValuesTakeTheFreshInstallValue) {
    const platform::PlistDict stored = {
        {"MP3NameStyle", 5},                               // wrong kind
        {"AddID3Tags", "yes"},                             // wrong kind
        {"SoundAlertWhenFinished", 7},                     // an option is 0 or 1
        {"OutputDirectory", platform::PlistArray{"/x"}},   // wrong kind
        {"FreedbServer", "freedb.example:8880"},           // readable: kept
        {"RipAsSingleTrack", 1},                           // readable: kept
        {"Unrelated", platform::PlistDict{{"a", 1}}},      // not ours: ignored
    };
    RipperPreferences prefs;
    const auto unreadable = prefs.load(stored, freshInstall(), "/home/u");
    EXPECT_EQ(unreadable,
              (std::vector<std::string>{"MP3NameStyle", "OutputDirectory", "AddID3Tags", "SoundAlertWhenFinished"}));
    EXPECT_EQ(prefs.mp3NameStyle, "%d - %t.mp3");
    EXPECT_EQ(prefs.outputDirectory, "/home/u/Music/Audio CD");
    EXPECT_TRUE(prefs.addID3Tags);
    EXPECT_TRUE(prefs.soundAlertWhenFinished);
    EXPECT_EQ(prefs.freedbServer, "freedb.example:8880");
    EXPECT_TRUE(prefs.ripAsSingleTrack);
}

TEST(RipperPreferences, TheStoredPresetDecidesTheRowNotLeftoverExpertText) {
    struct Case {
        const char* preset;
        const char* expert;
        bool expertRow;
    } cases[] = {
        {"--preset 128", "-V 2", false}, // expert text typed once and left: the preset still holds
        {"Expert", "-V 2", true},
        {"Expert", "", true},
        {"--alt-preset standard", "", false},
    };
    for (const Case& c : cases) {
        RipperPreferences prefs;
        prefs.load({{"BasicConfigOption", c.preset}, {"ExpertConfigOption", c.expert}}, freshInstall(), "/h");
        EXPECT_EQ(prefs.expertRowSelected, c.expertRow) << c.preset;
        EXPECT_EQ(prefs.basicConfigOption, c.preset);
        EXPECT_EQ(prefs.expertConfigOption, c.expert);
    }
    RipperPreferences prefs;
    prefs.load({{"OutputDirectory", "/data"}, {"FreedbServer", ""}, {"LookupOrder", "nonsense"}, {"MusicBrainzServer", ""}},
               freshInstall(), "/home/u");
    EXPECT_EQ(prefs.outputDirectory, "/data/Audio CD");
    EXPECT_EQ(prefs.freedbServer, "http://gnudb.gnudb.org/~cddb/cddb.cgi");
    EXPECT_EQ(prefs.lookupOrder, "MusicBrainz+freedb");
    EXPECT_EQ(prefs.musicBrainzServer, "https://musicbrainz.org");
    EXPECT_EQ(*prefs.dictionary().at("OutputDirectory").string(), "/data");
}

TEST(RipJob, PlansRunsNamesAndFolders) {
    testsupport::TempDir dir;
    RipJobRequest request;
    request.options.presetTitle = "--preset 128";
    request.options.addID3Tags = true;
    request.cdPath = "/cd";
    request.trackList = {".TOC.plist", "1 Audio Track.aiff", "2 Audio Track.aiff", "Track 07.aiff"};
    request.outputDirectoryField = dir.file("Audio CD");

    // Without album information: the folder is numbered beside the field's last component and
    // the files keep the tracks' names.
    RipJob job = planRipJob(request);
    EXPECT_EQ(job.outputFolder, dir.file("Audio CD"));
    ASSERT_EQ(job.runs.size(), 3u);
    EXPECT_EQ(job.runs[0].displayedName, "1 Audio Track");
    // Each run writes a hidden file that becomes the track's file when the run succeeds.
    EXPECT_EQ(job.runs[0].destination, dir.file("Audio CD") + "/1 Audio Track.mp3");
    EXPECT_EQ(job.runs[0].temporary, dir.file("Audio CD") + "/.1 Audio Track.mp3.part");
    EXPECT_EQ(job.runs[0].arguments[job.runs[0].arguments.size() - 5], job.runs[0].temporary);
    EXPECT_EQ(job.createdFolders, (std::vector<std::string>{dir.file("Audio CD")}));
    EXPECT_EQ(job.runs[2].arguments.back(), "7"); // "--tn" from the name "Track 07"
    EXPECT_EQ(planRipJob(request).outputFolder, dir.file("Audio CD 1"));

    // With album information: the titles by track number, a missing title gives the file's name.
    request.album = std::vector<std::string>{"Artist", "Album", "First", "Second"};
    job = planRipJob(request);
    EXPECT_EQ(job.outputFolder, dir.file("Artist - Album"));
    EXPECT_EQ(job.runs[0].displayedName, "First");
    EXPECT_EQ(job.runs[1].displayedName, "Second");
    EXPECT_EQ(job.runs[2].displayedName, "Track 07");
    EXPECT_EQ(job.runs[1].destination, dir.file("Artist - Album") + "/02 - Second.mp3");

    // What MusicBrainz adds: a track's own artist (the album's then goes into TPE2), the track
    // of the disc's total, the disc of the set's.
    request.trackArtists = {"", "Guest Singer"};
    request.discNumber = 2;
    request.discTotal = 3;
    job = planRipJob(request);
    const auto has = [](const std::vector<std::string>& args, const std::vector<std::string>& run) {
        return std::search(args.begin(), args.end(), run.begin(), run.end()) != args.end();
    };
    EXPECT_TRUE(has(job.runs[0].arguments, {"--tv", "TPE2=Artist"}));
    EXPECT_TRUE(has(job.runs[0].arguments, {"--tv", "TPOS=2/3"}));
    EXPECT_TRUE(has(job.runs[0].arguments, {"--tn", "1/2"}));
    EXPECT_FALSE(has(job.runs[0].arguments, {"--ta", "Guest Singer"}));
    EXPECT_TRUE(has(job.runs[1].arguments, {"--tt", "Second", "--tn", "2/2", "--ta", "Guest Singer"}));
    EXPECT_TRUE(has(job.runs[2].arguments, {"--tn", "7"})) << "a track past the album's has no total";
    request.trackArtists.clear();
    request.discNumber = request.discTotal = 0;
    const RipJob plain = planRipJob(request);
    EXPECT_FALSE(has(plain.runs[0].arguments, {"--tv", "TPE2=Artist"}));
    EXPECT_FALSE(has(plain.runs[0].arguments, {"--tv", "TPOS=2/3"}));
    platform::removePath(job.outputFolder); // the folders these two plans made
    platform::removePath(plain.outputFolder);

    // Gapless: one run over every track, named after the album.
    request.singleTrack = true;
    job = planRipJob(request);
    ASSERT_EQ(job.runs.size(), 1u);
    EXPECT_EQ(job.runs[0].displayedName, "Album");
    EXPECT_EQ(job.runs[0].destination, dir.file("Artist - Album 1"));
    EXPECT_EQ(job.runs[0].arguments.back(), dir.file("Artist - Album 1/.discwell-gapless.part"));

    // Nothing but hidden entries: no run.
    request.trackList = {".TOC.plist"};
    EXPECT_TRUE(planRipJob(request).runs.empty());
}

TEST(RipJob, NameStylesThatCannotTellTracksApartAreRefusedBeforeAnythingIsMade) {
    struct Case {
        std::string style;
        bool refused;
    } cases[] = {
        {"%d - %t.mp3", false}, {"%t.mp3", false}, {"%d.mp3", false}, {"", false}, {"%A - %d %t.MP3", false},
        {"album.mp3", true},    {"%A - %T.mp3", true}, {"%d - %t", true}, {"%d - %t.wav", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        EXPECT_EQ(nameStyleProblem(c.style).has_value(), c.refused);
        testsupport::TempDir dir;
        RipJobRequest request;
        request.options.nameStyle = c.style;
        request.trackList = {"1 Audio Track.aiff", "2 Audio Track.aiff"};
        request.album = std::vector<std::string>{"Artist", "Album", "One", "Two"};
        request.outputDirectoryField = dir.file("Audio CD");
        const RipJob job = planRipJob(request);
        EXPECT_EQ(job.problem.empty(), !c.refused) << job.problem;
        EXPECT_EQ(job.runs.empty(), c.refused);
        if (c.refused) {
            EXPECT_TRUE(platform::listDirectory(dir.path()).empty()) << "a folder was made for a job that cannot run";
        }
    }
}

TEST(RipJob, TracksOfOneNameAreNumberedAndAFolderThatCannotBeMadeStopsTheJob) {
    testsupport::TempDir dir;
    RipJobRequest request;
    request.options.nameStyle = "%t.mp3";
    request.trackList = {"1 Audio Track.aiff", "2 Audio Track.aiff", "3 Audio Track.aiff"};
    request.album = std::vector<std::string>{"Artist", "Album", "Intro", "Intro", "Intro"};
    request.outputDirectoryField = dir.file("Audio CD");
    RipJob job = planRipJob(request);
    ASSERT_EQ(job.runs.size(), 3u);
    EXPECT_EQ(platform::lastPathComponent(job.runs[0].destination), "Intro.mp3");
    EXPECT_EQ(platform::lastPathComponent(job.runs[1].destination), "Intro (2).mp3");
    EXPECT_EQ(platform::lastPathComponent(job.runs[2].destination), "Intro (3).mp3");

    testsupport::writeFile(dir.file("a-file"), "");
    request.outputDirectoryField = dir.file("a-file/Audio CD");
    job = planRipJob(request);
    EXPECT_TRUE(job.runs.empty());
    EXPECT_NE(job.problem.find("Not a directory"), std::string::npos) << job.problem;
}

} // namespace
