#include "platform/core/PropertyList.h"
#include "ripper/freedb/FreedbAccess.h"
#include "ripper/freedb/TableOfContents.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QCryptographicHash>
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

// The identifier worked out by hand from the formula: the digit sums of each track's start in
// whole seconds, mod 255; the lead-out second less the first track's start second; the count.
std::uint32_t byHand(const std::vector<std::int64_t>& starts, std::int64_t leadout) {
    std::uint32_t sum = 0;
    for (std::int64_t start : starts)
        for (std::int64_t seconds = start / 75; seconds > 0; seconds /= 10)
            sum += static_cast<std::uint32_t>(seconds % 10);
    const auto length = static_cast<std::uint32_t>(leadout / 75 - starts.front() / 75);
    return (sum % 255) << 24 | length << 8 | static_cast<std::uint32_t>(starts.size());
}

// MusicBrainz's disc id worked out by hand: SHA-1 of the first and last track numbers (two hex
// digits each), the lead-out and 99 track offsets (eight each, 0 past the last track), in
// Base64 with "+/=" written "._-".
std::string musicBrainzByHand(const std::vector<std::int64_t>& starts, std::int64_t leadout) {
    char piece[16];
    std::snprintf(piece, sizeof piece, "%02X%02X", 1u, static_cast<unsigned>(starts.size()));
    std::string text = piece;
    std::snprintf(piece, sizeof piece, "%08X", static_cast<unsigned>(leadout));
    text += piece;
    for (std::size_t t = 0; t < 99; ++t) {
        std::snprintf(piece, sizeof piece, "%08X", t < starts.size() ? static_cast<unsigned>(starts[t]) : 0u);
        text += piece;
    }
    QByteArray id = QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha1).toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return id.toStdString();
}

TEST(TableOfContents, IdentifiersOfRealShapesOfDisc) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> starts;
        std::int64_t leadout;
    } cases[] = {
        {"a standard disc", {150, 18000, 40000}, 60000},
        // 20 s of audio before track 1 ("hidden track one"): the length counts from track 1.
        {"audio before track 1", {1650, 19500, 41500}, 61500},
        {"99 tracks", {}, 0},
    };
    for (int t = 0; t < 99; ++t)
        cases[2].starts.push_back(150 + 2250 * t); // 30 s each
    cases[2].leadout = 150 + 2250 * 99;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableOfContents toc;
        toc.numTracks = static_cast<std::int32_t>(c.starts.size());
        toc.trackOffsets = c.starts;
        toc.totalTime = static_cast<std::int32_t>(c.leadout / 75);
        toc.firstSessionTracks = toc.numTracks;
        toc.firstSessionLeadout = c.leadout;
        EXPECT_EQ(discIdentifier(toc), byHand(c.starts, c.leadout));
        const std::string id = musicBrainzDiscId(toc);
        EXPECT_EQ(id.size(), 28u);
        EXPECT_EQ(id, musicBrainzByHand(c.starts, c.leadout));
    }
    // Audio before track 1 does not change the playing time the identifier holds.
    TableOfContents hidden;
    hidden.numTracks = 3;
    hidden.trackOffsets = {1650, 19500, 41500};
    hidden.totalTime = 61500 / 75;
    EXPECT_EQ((discIdentifier(hidden) >> 8) & 0xffff, 61500u / 75 - 1650 / 75);
}

TEST(TableOfContents, MusicBrainzDescribesTheAudioSession) {
    testsupport::TempDir dir;
    // An enhanced CD: two audio tracks, then a data session.
    writeToc(dir, {session({150, 20000}, 40000), session({51400}, 90000)});
    const auto toc = readTableOfContents(dir.path());
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->numTracks, 3);
    EXPECT_EQ(toc->firstSessionTracks, 2);
    EXPECT_EQ(toc->firstSessionLeadout, 40000);
    EXPECT_EQ(musicBrainzDiscId(*toc), musicBrainzByHand({150, 20000}, 40000));
    EXPECT_EQ(musicBrainzToc(*toc), "1+2+40000+150+20000");

    // Tables that describe no disc give no id, and so no lookup and no cache folder by it.
    TableOfContents empty;
    EXPECT_EQ(musicBrainzDiscId(empty), "");
    TableOfContents backwards;
    backwards.trackOffsets = {20000, 150};
    backwards.firstSessionTracks = 2;
    backwards.firstSessionLeadout = 40000;
    EXPECT_EQ(musicBrainzDiscId(backwards), "");
    TableOfContents pastTheEnd;
    pastTheEnd.trackOffsets = {150, 50000};
    pastTheEnd.firstSessionTracks = 2;
    pastTheEnd.firstSessionLeadout = 40000;
    EXPECT_EQ(musicBrainzToc(pastTheEnd), "");
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
        EXPECT_EQ((discIdentifier(toc) >> 8) & 0xFFFF, 2991u); // from the first track's start, 9 s

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
    // Seconds 0, 266, 552: digit sums 0, 14, 12; the length counts from the first track, at 0.
    EXPECT_EQ(discIdentifier(*toc), (26u << 24) | (1200u << 8) | 3u);
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
