#include "platform/core/Files.h"
#include "ripper/EncoderProgress.h"
#include "ripper/RipJob.h"
#include "ripper/RipperPreferences.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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

TEST(RipperPreferences, LoadingRules) {
    RipperPreferences prefs;
    prefs.addID3Tags = true; // as the window's layout made it
    prefs.load({{"OutputDirectory", ""}, {"AddID3Tags", 0}, {"RipAsSingleTrack", 1}, {"ExpertConfigOption", "-V 2"}},
               "/home/u");
    EXPECT_EQ(prefs.outputDirectory, "/home/u/Music/Audio CD");
    EXPECT_TRUE(prefs.addID3Tags) << "0 leaves the option as the layout made it";
    EXPECT_TRUE(prefs.ripAsSingleTrack);
    EXPECT_TRUE(prefs.expertRowSelected);
    EXPECT_EQ(prefs.freedbServer, "gnudb.gnudb.org");
    prefs.load({{"OutputDirectory", "/data"}, {"FreedbServer", "freedb.example"}}, "/home/u");
    EXPECT_EQ(prefs.outputDirectory, "/data/Audio CD");
    EXPECT_EQ(prefs.freedbServer, "freedb.example");
    EXPECT_EQ(*prefs.dictionary().at("OutputDirectory").string(), "/data");
    EXPECT_EQ(prefs.dictionary().size(), 13u);
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
    EXPECT_EQ(job.runs[0].arguments[job.runs[0].arguments.size() - 5], dir.file("Audio CD") + "/1 Audio Track.mp3");
    EXPECT_EQ(job.runs[2].arguments.back(), "7"); // "--tn" from the name "Track 07"
    EXPECT_EQ(planRipJob(request).outputFolder, dir.file("Audio CD 1"));

    // With album information: the titles by track number, a missing title gives the file's name.
    request.album = std::vector<std::string>{"Artist", "Album", "First", "Second"};
    job = planRipJob(request);
    EXPECT_EQ(job.outputFolder, dir.file("Artist - Album"));
    EXPECT_EQ(job.runs[0].displayedName, "First");
    EXPECT_EQ(job.runs[1].displayedName, "Second");
    EXPECT_EQ(job.runs[2].displayedName, "Track 07");
    EXPECT_TRUE(job.runs[1].arguments.end() != std::find(job.runs[1].arguments.begin(), job.runs[1].arguments.end(),
                                                         dir.file("Artist - Album") + "/02 - Second.mp3"));

    // Gapless: one run over every track, named after the album.
    request.singleTrack = true;
    job = planRipJob(request);
    ASSERT_EQ(job.runs.size(), 1u);
    EXPECT_EQ(job.runs[0].displayedName, "Album");
    EXPECT_EQ(job.runs[0].arguments.back(), dir.file("Artist - Album 1"));

    // Nothing but hidden entries: no run.
    request.trackList = {".TOC.plist"};
    EXPECT_TRUE(planRipJob(request).runs.empty());
}

} // namespace
