#include "platform/core/Exception.h"
#include "platform/core/Files.h"
#include "ripper/freedb/DiscLookup.h"
#include "ripper/freedb/EditedTitles.h"
#include "ripper/freedb/FreedbAccess.h"
#include "ripper/freedb/MusicBrainz.h"
#include "tests/ripper/freedb/CddbServer.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ripper;
using testsupport::HttpServer;

namespace {

// Three tracks of 2 s from block 150, as the window tests' CD folder has them.
TableOfContents threeTracks() {
    TableOfContents toc;
    toc.numTracks = toc.firstSessionTracks = 3;
    toc.numSessions = 1;
    toc.trackOffsets = {150, 300, 450};
    toc.firstSessionLeadout = 600;
    toc.totalTime = 8;
    return toc;
}

// A release as the web service writes it (inc=artist-credits+labels+recordings).
std::string release(const std::string& id, const std::string& title, const std::string& media,
                    const std::string& date = "1999-05-01", const std::string& country = "GB") {
    return R"({"id":")" + id + R"(","title":")" + title + R"(","status":"Official","date":")" + date +
           R"(","country":")" + country +
           R"(","artist-credit":[{"name":"The Artist","joinphrase":"","artist":{"id":"a1","name":"The Artist","sort-name":"Artist, The"}}],
"label-info":[{"catalog-number":"CAT 1","label":{"id":"l1","name":"A Label"}}],"media":[)" +
           media + "]}";
}

std::string track(int position, const std::string& title, const std::string& credits = "") {
    return R"({"id":"t)" + std::to_string(position) + R"(","position":)" + std::to_string(position) + R"(,"number":")" +
           std::to_string(position) + R"(","title":")" + title + R"(","length":2000)" +
           (credits.empty() ? std::string() : R"(,"artist-credit":)" + credits) + R"(,"recording":{"id":"r","title":")" +
           title + R"("}})";
}

std::string medium(int position, const std::string& discId, const std::string& tracks, const std::string& format = "CD") {
    return R"({"position":)" + std::to_string(position) + R"(,"format":")" + format + R"(","track-count":3,"discs":[{"id":")" +
           discId + R"(","sectors":600}],"tracks":[)" + tracks + "]}";
}

const std::string ourId = musicBrainzDiscId(threeTracks());

const std::string threeTitles = track(1, "One") + "," + track(2, "Two/Too") + "," + track(3, "Three");

TEST(MusicBrainz, RepliesAsTheServiceWritesThem) {
    // A two-disc release whose second medium is this disc; a track with a guest credited.
    const std::string guest =
        R"([{"name":"The Artist","joinphrase":" feat. "},{"name":"Guest Singer","joinphrase":"","artist":{"name":"Guest Singer"}}])";
    const std::string twoDiscs =
        release("r1", "Double", medium(1, "otherdisc", track(1, "A") + "," + track(2, "B") + "," + track(3, "C")) + "," +
                                    medium(2, ourId, track(3, "Three") + "," + track(1, "One") + "," + track(2, "Two", guest)));
    const auto releases = parseMusicBrainzReleases(R"({"releases":[)" + twoDiscs + "]}", ourId, 3);
    ASSERT_EQ(releases.size(), 1u);
    const Release& r = releases[0];
    EXPECT_EQ(r.id, "r1");
    EXPECT_EQ(r.entry.info, (AlbumInfo{"The Artist", "Double", "One", "Two", "Three"})) << "tracks by position";
    EXPECT_EQ(r.entry.trackArtists, (std::vector<std::string>{"", "The Artist feat. Guest Singer", ""}));
    EXPECT_EQ(r.entry.year, "1999");
    EXPECT_EQ(r.entry.discNumber, 2);
    EXPECT_EQ(r.entry.discTotal, 2);
    EXPECT_EQ(r.date, "1999-05-01");
    EXPECT_EQ(r.country, "GB");
    EXPECT_EQ(r.format, "CD");
    EXPECT_EQ(r.label, "A Label");
    EXPECT_EQ(r.catalogNumber, "CAT 1");

    // One disc, every track by the album's artist: no track artists, no disc of a set.
    const auto single = parseMusicBrainzReleases(
        R"({"releases":[)" + release("r2", "Single", medium(1, ourId, threeTitles)) + "]}", ourId, 3);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_TRUE(single[0].entry.trackArtists.empty());
    EXPECT_EQ(single[0].entry.discNumber, 0);
    EXPECT_EQ(single[0].entry.info[3], "Two/Too") << "names keep their slash";

    // Values of the wrong kind read as missing; a release that is no object is passed over.
    const auto odd = parseMusicBrainzReleases(
        R"({"releases":[7,{"id":5,"title":["x"],"date":null,"media":[{"tracks":[{"position":"1","title":3}]}]}]})", ourId,
        3);
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].entry.info, (AlbumInfo{"", "", ""}));
    EXPECT_EQ(odd[0].entry.year, "");
    EXPECT_TRUE(parseMusicBrainzReleases(R"({"error":"Not Found"})", ourId, 3).empty());
    EXPECT_THROW(parseMusicBrainzReleases("<html>", ourId, 3), platform::Exception);
}

MusicBrainzSettings settingsFor(const HttpServer& server) {
    MusicBrainzSettings settings;
    settings.baseAddress = server.base() + "/";
    settings.contact = "jane@example.org";
    settings.timeout = std::chrono::milliseconds(5000);
    return settings;
}

std::string targetOf(const std::string& request) {
    const std::size_t start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

TEST(MusicBrainz, LooksTheDiscUpByItsIdThenByItsTable) {
    const std::string include = "inc=artist-credits+labels+recordings&fmt=json";
    const std::string found = R"({"releases":[)" + release("r1", "The Album", medium(1, ourId, threeTitles)) + "]}";
    {
        SCOPED_TRACE("known id");
        HttpServer server([&](const std::string&) { return HttpServer::Reply{200, found}; }, 1);
        const auto releases = lookUpMusicBrainz(threeTracks(), settingsFor(server));
        server.join();
        ASSERT_EQ(releases.size(), 1u);
        EXPECT_EQ(releases[0].entry.info[1], "The Album");
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(targetOf(requests[0]), "/ws/2/discid/" + ourId + "?" + include);
        EXPECT_NE(requests[0].find("User-Agent: Discwell/0.5.3 ( jane@example.org )\r\n"), std::string::npos)
            << requests[0];
    }
    {
        SCOPED_TRACE("unknown id, a release with a table like it");
        HttpServer server(
            [&](const std::string& target) {
                return target.find("/discid/-?toc=") != std::string::npos
                           ? HttpServer::Reply{200, found}
                           : HttpServer::Reply{404, R"({"error":"Not Found","help":"..."})"};
            },
            2);
        const auto releases = lookUpMusicBrainz(threeTracks(), settingsFor(server));
        server.join();
        EXPECT_EQ(releases.size(), 1u);
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(targetOf(requests[1]), "/ws/2/discid/-?toc=1+3+600+150+300+450&" + include);
    }
}

TEST(MusicBrainz, FailuresSayWhatTheServiceSaid) {
    struct Case {
        const char* what;
        std::vector<HttpServer::Reply> replies;
        std::string words;
    } cases[] = {
        {"not found either way", {{404, R"({"error":"Not Found"})"}, {404, R"({"error":"Not Found"})"}},
         "MusicBrainz does not know this disc."},
        {"no release in the reply", {{200, R"({"releases":[]})"}}, "MusicBrainz does not know this disc."},
        {"a server error", {{500, R"({"error":"Internal server error"})"}},
         "MusicBrainz answered with HTTP status 500: \"Internal server error\""},
        {"busy three times", {{503, "slow down", "Retry-After: 1\r\n"}, {503, "slow down", "Retry-After: 1\r\n"},
                              {503, "slow down", "Retry-After: 1\r\n"}},
         "MusicBrainz answered with HTTP status 503: \"slow down\""},
        {"not JSON", {{200, "<html>maintenance</html>"}}, "MusicBrainz sent a reply that is not JSON."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<std::size_t> next{0};
        HttpServer server([&](const std::string&) { return c.replies[next++]; }, static_cast<int>(c.replies.size()));
        try {
            lookUpMusicBrainz(threeTracks(), settingsFor(server));
            ADD_FAILURE() << "found something";
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.reason(), c.words);
        }
        server.join();
        EXPECT_EQ(server.requests().size(), c.replies.size());
    }
    MusicBrainzSettings unreachable;
    unreachable.baseAddress = "http://127.0.0.1:1";
    try {
        lookUpMusicBrainz(threeTracks(), unreachable);
        ADD_FAILURE() << "found something";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.reason().rfind("MusicBrainz could not be reached: ", 0), 0u) << e.reason();
    }
}

TEST(MusicBrainz, ABusyServiceIsAskedAgainAfterTheTimeItNamesAndRequestsAreASecondApart) {
    const std::string found = R"({"releases":[)" + release("r1", "The Album", medium(1, ourId, threeTitles)) + "]}";
    std::vector<std::chrono::steady_clock::time_point> times;
    std::mutex mutex;
    std::atomic<int> served{0};
    HttpServer server(
        [&](const std::string&) {
            {
                std::lock_guard lock(mutex);
                times.push_back(std::chrono::steady_clock::now());
            }
            return served++ == 0 ? HttpServer::Reply{503, "", "Retry-After: 2\r\n"} : HttpServer::Reply{200, found};
        },
        3);
    EXPECT_EQ(lookUpMusicBrainz(threeTracks(), settingsFor(server)).size(), 1u);
    EXPECT_EQ(lookUpMusicBrainz(threeTracks(), settingsFor(server)).size(), 1u);
    server.join();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], std::chrono::milliseconds(1900)) << "Retry-After: 2 was not waited for";
    EXPECT_GE(times[2] - times[1], std::chrono::milliseconds(950)) << "two requests within a second";
}

TEST(MusicBrainz, ACancelEndsTheWaitForABusyService) {
    HttpServer server([](const std::string&) { return HttpServer::Reply{503, "", "Retry-After: 5\r\n"}; }, 1);
    std::atomic<bool> cancelled{false};
    MusicBrainzSettings settings = settingsFor(server);
    settings.cancelled = [&] { return cancelled.load(); };
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        cancelled = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(lookUpMusicBrainz(threeTracks(), settings), LookupCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    canceller.join();
    server.join();
}

// The services in the order the preference gives, until one finds the disc.
TEST(DiscLookup, AsksTheServicesInTheChosenOrder) {
    const std::string found = R"({"releases":[)" + release("r1", "From MusicBrainz", medium(1, ourId, threeTitles)) + "," +
                              release("r2", "From MusicBrainz (Remaster)", medium(1, ourId, threeTitles), "2010", "US") + "]}";
    const std::string entry = "210 rock 0c000603 CD database entry follows\r\nDTITLE=The Artist / From freedb\r\n"
                              "DYEAR=1999\r\nDGENRE=Rock\r\nTTITLE0=One\r\nTTITLE1=Two\r\nTTITLE2=Three\r\nEXTD=\r\n.\r\n";
    const auto cddb = [&] {
        return std::make_unique<testsupport::CddbServer>(
            "201 ready\r\n", std::vector<testsupport::CddbServer::Step>{{"200 hello\r\n"}, {"201 OK\r\n"},
                                                                       {"200 rock 0c000603 x\r\n"}, {entry}});
    };
    const auto settings = [](LookupOrder order, const std::string& musicBrainz, const testsupport::CddbServer* freedb) {
        DiscLookupSettings s;
        s.order = order;
        s.musicBrainzServer = musicBrainz;
        s.freedbServer = freedb ? "127.0.0.1:" + std::to_string(freedb->port()) : "127.0.0.1:1";
        s.timeout = std::chrono::milliseconds(3000);
        return s;
    };
    const auto never = [](const std::vector<Release>&) { return -1; };
    {
        SCOPED_TRACE("MusicBrainz finds two releases: freedb is not asked");
        HttpServer musicBrainz([&](const std::string&) { return HttpServer::Reply{200, found}; }, 1);
        const auto outcome = lookUpDisc(threeTracks(), settings(LookupOrder::MusicBrainzThenFreedb, musicBrainz.base(), nullptr),
                                        never, {});
        EXPECT_EQ(outcome.source, "MusicBrainz");
        ASSERT_EQ(outcome.releases.size(), 2u);
        EXPECT_EQ(outcome.releases[1].country, "US");
        EXPECT_TRUE(outcome.failureText.empty());
    }
    {
        SCOPED_TRACE("MusicBrainz does not know the disc: freedb does");
        HttpServer musicBrainz([](const std::string&) { return HttpServer::Reply{404, "{}"}; }, 2);
        auto freedb = cddb();
        const auto outcome =
            lookUpDisc(threeTracks(), settings(LookupOrder::MusicBrainzThenFreedb, musicBrainz.base(), freedb.get()), never, {});
        EXPECT_EQ(outcome.source, "freedb");
        ASSERT_EQ(outcome.releases.size(), 1u);
        EXPECT_EQ(outcome.releases[0].entry.info[1], "From freedb");
        EXPECT_EQ(outcome.releases[0].entry.genre, "Rock");
        EXPECT_TRUE(outcome.failureText.empty()) << "MusicBrainz's miss is not worth an alert when freedb knows";
    }
    {
        SCOPED_TRACE("freedb only: MusicBrainz is not asked");
        auto freedb = cddb();
        const auto outcome = lookUpDisc(threeTracks(), settings(LookupOrder::FreedbOnly, "http://127.0.0.1:1", freedb.get()),
                                        never, {});
        EXPECT_EQ(outcome.source, "freedb");
    }
    {
        SCOPED_TRACE("MusicBrainz only, and it fails");
        HttpServer musicBrainz([](const std::string&) { return HttpServer::Reply{404, "{}"}; }, 2);
        const auto outcome = lookUpDisc(threeTracks(), settings(LookupOrder::MusicBrainzOnly, musicBrainz.base(), nullptr),
                                        never, {});
        EXPECT_TRUE(outcome.releases.empty());
        EXPECT_EQ(outcome.failureTitle, "MusicBrainz Error");
        EXPECT_EQ(outcome.failureText, "MusicBrainz does not know this disc.");
    }
    {
        SCOPED_TRACE("both fail: one alert with each service's words");
        HttpServer musicBrainz([](const std::string&) { return HttpServer::Reply{404, "{}"}; }, 2);
        const auto outcome = lookUpDisc(threeTracks(), settings(LookupOrder::MusicBrainzThenFreedb, musicBrainz.base(), nullptr),
                                        never, {});
        EXPECT_EQ(outcome.failureTitle, "The disc was not found");
        EXPECT_EQ(outcome.failureText.rfind("MusicBrainz does not know this disc.\n\nfreedb: Socket: Connect failed", 0),
                  0u)
            << outcome.failureText;
    }
}

TEST(DiscLookup, FreedbMatchLinesAsChooserRows) {
    const Release split = releaseFromMatchLine("rock 13031e03 AC/DC / Back in Black");
    EXPECT_EQ(split.entry.info, (AlbumInfo{"AC/DC", "Back in Black"}));
    EXPECT_EQ(split.format, "freedb: rock");
    EXPECT_EQ(releaseFromMatchLine("misc 0a0b0c0d Untitled").entry.info, (AlbumInfo{"Untitled", "Untitled"}));
    EXPECT_EQ(releaseFromMatchLine("odd").entry.info, (AlbumInfo{"odd", "odd"}));
}

TEST(EditedTitles, KeptWithTheDiscAndReadBack) {
    testsupport::TempDir cache;
    AlbumEntry edited;
    edited.info = {"Caf\xC3\xA9 Tacvba", "Re", "El Aparato", "", "El Borrego"};
    edited.year = "1994";
    edited.genre = "Rock";
    edited.trackArtists = {"", "Guest", ""};
    edited.discNumber = 1;
    edited.discTotal = 2;
    EXPECT_FALSE(readEditedTitles(cache.path(), ourId));
    ASSERT_TRUE(keepEditedTitles(cache.path(), ourId, edited));
    EXPECT_EQ(readEditedTitles(cache.path(), ourId), edited);
    EXPECT_FALSE(readEditedTitles(cache.path(), "another-disc")) << "another disc has its own";
    // Ids that would lead out of the cache are never used.
    for (const std::string bad : {"", "..", "../x", "a/b"}) {
        EXPECT_FALSE(keepEditedTitles(cache.path(), bad, edited)) << bad;
        EXPECT_FALSE(readEditedTitles(cache.path(), bad)) << bad;
    }
    // A damaged file is no edit.
    testsupport::writeFile(editedTitlesPath(cache.path(), ourId), "garbage");
    EXPECT_FALSE(readEditedTitles(cache.path(), ourId));
}

} // namespace
