#include "platform/cd/AudioCd.h"
#include "platform/core/Files.h"
#include "ripper/CdFolder.h"
#include "ripper/freedb/TableOfContents.h"
#include "tests/support/DiscImage.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <filesystem>

using testsupport::TempDir;

namespace {

// The samples of an AIFF file written by the extraction, back in little-endian order.
std::string pcmOfAiff(const std::string& path) {
    const std::string aiff = testsupport::readFile(path);
    std::string pcm = aiff.substr(std::min<std::size_t>(54, aiff.size()));
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
        std::swap(pcm[i], pcm[i + 1]);
    return pcm;
}

TEST(AudioCd, AnImageListsItsTracksFromBlock150) {
    TempDir dir;
    const std::string cue = testsupport::makeDiscImage(dir.path(), {440, 550, 660}, 2.0);
    std::string error;
    const auto cd = platform::AudioCd::open(cue, &error);
    ASSERT_TRUE(cd) << error;
    ASSERT_EQ(cd->toc().tracks.size(), 3u);
    // 2 s = 150 sectors a track; LSN 0 is block 150 as freedb counts.
    EXPECT_EQ(cd->toc().tracks[0].startBlock, 150);
    EXPECT_EQ(cd->toc().tracks[1].startBlock, 300);
    EXPECT_EQ(cd->toc().tracks[2].startBlock, 450);
    EXPECT_EQ(cd->toc().leadoutBlock, 600);
    EXPECT_TRUE(cd->toc().tracks[2].audio);
}

TEST(AudioCd, TheCdFolderHoldsTheTracksExactlyAndItsIdentifier) {
    TempDir dir;
    std::vector<std::string> pcm;
    const std::string cue = testsupport::makeDiscImage(dir.path(), {440, 550, 660}, 2.0, &pcm);
    std::string error;
    int calls = 0;
    const auto folder = ripper::prepareCdFolder(
        cue, dir.file("cache"), [&](const auto&) { return ++calls > 0; }, &error);
    ASSERT_TRUE(folder) << error;
    EXPECT_GT(calls, 0);

    // The disc's MusicBrainz id, computed from the written table of contents, names the folder:
    // it tells apart discs that share a freedb identifier.
    const auto toc = ripper::readTableOfContents(*folder);
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->trackOffsets, (std::vector<std::int64_t>{150, 300, 450}));
    EXPECT_EQ(toc->totalTime, 8);
    EXPECT_EQ(toc->firstSessionTracks, 3);
    EXPECT_EQ(toc->firstSessionLeadout, 600);
    EXPECT_EQ(platform::lastPathComponent(*folder), ripper::musicBrainzDiscId(*toc));
    EXPECT_EQ(platform::lastPathComponent(*folder).size(), 28u);

    EXPECT_EQ(platform::listDirectory(*folder), (std::vector<std::string>{".TOC.plist", "1 Audio Track.aiff",
                                                                          "2 Audio Track.aiff", "3 Audio Track.aiff"}));
    for (int t = 0; t < 3; ++t)
        EXPECT_TRUE(pcmOfAiff(*folder + "/" + std::to_string(t + 1) + " Audio Track.aiff") == pcm[std::size_t(t)])
            << "track " << t + 1 << " differs from the tone";

    // The same disc again: the folder is reused and nothing is read.
    calls = 0;
    EXPECT_EQ(ripper::prepareCdFolder(
                  cue, dir.file("cache"), [&](const auto&) { return ++calls > 0; }, &error),
              folder);
    EXPECT_EQ(calls, 0);
}

TEST(AudioCd, ACancelLeavesNoHalfWrittenTrack) {
    TempDir dir;
    const std::string cue = testsupport::makeDiscImage(dir.path(), {440, 550, 660}, 2.0);
    std::string error;
    const auto folder = ripper::prepareCdFolder(
        cue, dir.file("cache"), [](const ripper::CdFolderProgress& p) { return !(p.track == 2 && p.sectorsDone > 20); },
        &error);
    EXPECT_FALSE(folder);
    EXPECT_EQ(error, "Cancelled.");
    const auto made = platform::listDirectory(dir.file("cache"));
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(platform::listDirectory(dir.file("cache/" + made[0])),
              (std::vector<std::string>{".TOC.plist", "1 Audio Track.aiff"}));
}

TEST(AudioCd, AFullDiskFailsTheReadingWithItsReason) {
    // A file-size limit stands in for a full disk: a track's write fails as there.
    TempDir dir;
    const std::string cue = testsupport::makeDiscImage(dir.path(), {440, 550}, 2.0); // 352 kB a track
    std::string error;
    std::optional<std::string> folder;
    {
        testsupport::FileSizeLimit limit(200000);
        ASSERT_TRUE(limit.set());
        folder = ripper::prepareCdFolder(cue, dir.file("cache"), {}, &error);
    }
    EXPECT_FALSE(folder);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    const auto made = platform::listDirectory(dir.file("cache"));
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(platform::listDirectory(dir.file("cache/" + made[0])), (std::vector<std::string>{".TOC.plist"}))
        << "a track that could not be written whole is not kept";
}

TEST(AudioCd, BrokenImagesGiveAClearError) {
    struct Case {
        const char* what;
        std::function<std::string(const TempDir&)> make;
    } cases[] = {
        {"a truncated image",
         [](const TempDir& d) {
             const std::string cue = testsupport::makeDiscImage(d.path(), {440, 550}, 2.0);
             std::filesystem::resize_file(d.file("disc.bin"), 2352 * 100); // ends before track 2 starts
             return cue;
         }},
        {"a cue sheet of nonsense",
         [](const TempDir& d) {
             testsupport::writeFile(d.file("bad.cue"), "this is no cue sheet\n\x01\x02");
             return d.file("bad.cue");
         }},
        {"a missing image", [](const TempDir& d) { return d.file("missing.cue"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string error;
        EXPECT_FALSE(ripper::prepareCdFolder(c.make(dir), dir.file("cache"), {}, &error));
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
