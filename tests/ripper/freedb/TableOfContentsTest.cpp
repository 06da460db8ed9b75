#include "platform/core/PropertyList.h"
#include "ripper/freedb/FreedbAccess.h"
#include "ripper/freedb/TableOfContents.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

using namespace ripper;
using platform::PlistArray;
using platform::PlistDict;

namespace {

PlistDict session(std::vector<int> starts, int leadout) {
    PlistArray tracks;
    for (int start : starts)
        tracks.push_back(PlistDict{{"Start Block", start}, {"Point", 1}, {"Data", false}});
    return PlistDict{{"Track Array", tracks}, {"Leadout Block", leadout}, {"First Track", 1}};
}

void writeToc(const testsupport::TempDir& dir, PlistArray sessions) {
    ASSERT_TRUE(platform::writePropertyList(dir.file(".TOC.plist"), PlistDict{{"Sessions", std::move(sessions)}}));
}

TEST(TableOfContents, TheWorkedExample) {
    testsupport::TempDir dir;
    writeToc(dir, {session({150, 18000, 40000}, 60000)});
    const auto toc = readTableOfContents(dir.path());
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->numTracks, 3);
    EXPECT_EQ(toc->numSessions, 1);
    EXPECT_EQ(toc->totalTime, 800);
    EXPECT_EQ(toc->trackOffsets, (std::vector<std::int64_t>{150, 18000, 40000}));
    EXPECT_EQ(discIdentifier(*toc), 0x13031e03u);

    struct NoDelegate : FreedbDelegate {
        std::string folder;
        std::string getChosenCDName() override { return folder; }
        void runAlertWithTitle(const std::string&, const std::string&) override {}
        std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>&) override { return -1; }
    } delegate;
    delegate.folder = dir.path();
    auto access = FreedbAccess::create(delegate);
    ASSERT_TRUE(access);
    EXPECT_EQ(access->queryString(), "cddb query 13031e03 3 150 18000 40000 800\n");
    EXPECT_FALSE(access->getAlbumInfo());

    delegate.folder = dir.file("not-a-cd");
    EXPECT_FALSE(FreedbAccess::create(delegate));
}

TEST(TableOfContents, DigitSums) {
    struct Case {
        std::int32_t n, sum;
    } cases[] = {{0, 0}, {-5, 0}, {7, 7}, {533, 11}, {240, 6}, {2147483647, 46}};
    for (const auto& c : cases)
        EXPECT_EQ(cddb_sum(c.n), c.sum) << c.n;
}

TEST(TableOfContents, ChecksumIsModulo255) {
    // Track start seconds whose digit sums add up to 255 and 256: 28 x 9 + 3 and + 4.
    for (const auto& [extra, checksum] : {std::pair{3, 0u}, std::pair{4, 1u}}) {
        TableOfContents toc;
        for (int i = 0; i < 28; ++i)
            toc.trackOffsets.push_back(9 * 75);
        toc.trackOffsets.push_back(extra * 75);
        toc.numTracks = 29;
        toc.totalTime = 3000;
        EXPECT_EQ(discIdentifier(toc) >> 24, checksum);
        EXPECT_EQ((discIdentifier(toc) >> 8) & 0xFFFF, 2998u);
        EXPECT_EQ(discIdentifier(toc) & 0xFF, 29u);
    }
}

TEST(TableOfContents, TwoSessionsAndAFirstTrackAtZero) {
    testsupport::TempDir dir;
    writeToc(dir, {session({0, 20000}, 30000), session({41400}, 90000)});
    const auto toc = readTableOfContents(dir.path());
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->numSessions, 2);
    EXPECT_EQ(toc->numTracks, 3);
    EXPECT_EQ(toc->trackOffsets, (std::vector<std::int64_t>{0, 20000, 41400}));
    EXPECT_EQ(toc->totalTime, 1200);
    // Seconds 0, 266, 552: digit sums 0, 14, 12.
    EXPECT_EQ(discIdentifier(*toc), (26u << 24) | (1198u << 8) | 3u);
}

TEST(TableOfContents, BinaryFilesAndBrokenOnes) {
    testsupport::TempDir dir;
    plist_t root = plist_new_dict();
    plist_t sessions = plist_new_array();
    plist_t s = plist_new_dict();
    plist_t tracks = plist_new_array();
    plist_t t = plist_new_dict();
    plist_dict_set_item(t, "Start Block", plist_new_uint(150));
    plist_array_append_item(tracks, t);
    plist_dict_set_item(s, "Track Array", tracks);
    plist_dict_set_item(s, "Leadout Block", plist_new_uint(22650));
    plist_array_append_item(sessions, s);
    plist_dict_set_item(root, "Sessions", sessions);
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    plist_free(root);
    testsupport::writeFile(dir.file(".TOC.plist"), std::string(bin, length));
    std::free(bin);
    auto toc = readTableOfContents(dir.path());
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->trackOffsets, (std::vector<std::int64_t>{150}));
    EXPECT_EQ(toc->totalTime, 302);

    // No "Sessions": no tracks and no time, the identifier from the same formula.
    ASSERT_TRUE(platform::writePropertyList(dir.file(".TOC.plist"), PlistDict{{"Other", 1}}));
    toc = readTableOfContents(dir.path());
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->numTracks, 0);
    EXPECT_EQ(discIdentifier(*toc), 0xFFFFFE00u);

    // Sessions and tracks of the wrong kind count as nothing, without a crash.
    ASSERT_TRUE(platform::writePropertyList(
        dir.file(".TOC.plist"), PlistDict{{"Sessions", PlistArray{"text", PlistDict{{"Track Array", 5}}}}}));
    EXPECT_EQ(readTableOfContents(dir.path())->numTracks, 0);

    testsupport::writeFile(dir.file(".TOC.plist"), "not a property list");
    EXPECT_FALSE(readTableOfContents(dir.path()));
}

} // namespace
