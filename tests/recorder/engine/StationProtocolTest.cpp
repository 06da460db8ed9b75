#include "platform/core/Text.h"
#include "recorder/engine/StationProtocol.h"
#include "tests/support/ExpectException.h"

#include <gtest/gtest.h>

using namespace recorder;
using testsupport::expectException;

namespace {

TEST(StationProtocol, TrimWhitespace) {
    EXPECT_EQ(trimWhitespace("  Radio   One  "), "Radio One");
    EXPECT_EQ(trimWhitespace("a\tb"), "a\tb"); // only spaces count
    EXPECT_EQ(trimWhitespace("   "), "");
}

TEST(StationProtocol, ResponseHeaderStatusLines) {
    for (const char* ok : {"ICY 200 OK", "HTTP/1.0 200 OK", "HTTP/1.1 200 OK", "HTTP/1.0 200"}) {
        SCOPED_TRACE(ok);
        EXPECT_EQ(parseResponseHeader(std::string(ok) + "\r\nicy-metaint:8192\r\n\r\n").at("icy-metaint"), "8192");
    }
    for (const char* bad :
         {"HTTP/1.0 404 Not Found", "ICY 401 Service Unavailable", "HTTP/1.1 2000 OK", "", "icy 200 ok"})
        expectException([&] { parseResponseHeader(std::string(bad) + "\r\n\r\n"); }, "Stream", bad);
}

TEST(StationProtocol, ResponseHeaderFields) {
    const auto fields = parseResponseHeader("ICY 200 OK\r\n"
                                            "icy-name:   Jazz   and   Blues  \r\n"
                                            "icy-url: http://example.org:8080/home\r\n"
                                            "no colon here\r\n"
                                            "Icy-Genre:Jazz\r\n"
                                            "icy-br:128\r\nicy-br:192\r\n\r\n");
    EXPECT_EQ(fields.at("icy-name"), "Jazz and Blues");
    EXPECT_EQ(fields.at("icy-url"), "http://example.org:8080/home");
    EXPECT_EQ(fields.at("Icy-Genre"), "Jazz"); // names are taken as they are
    EXPECT_EQ(fields.at("icy-br"), "192");
    EXPECT_EQ(fields.count("no colon here"), 0u);
}

TEST(StationProtocol, MetadataInterval) {
    struct Case {
        const char* value;
        std::int32_t interval; // 0: fails with the invalid-interval text
    } cases[] = {{"16000", 16000}, {"8192abc", 8192}, {"1", 1},       {"1048576", 1048576},       {"0", 0},
                 {"abc", 0},       {"", 0},           {"1048577", 0}, {"99999999999999999999", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const HeaderFields fields{{"icy-metaint", c.value}};
        if (c.interval)
            EXPECT_EQ(metadataInterval(fields), c.interval);
        else
            expectException([&] { metadataInterval(fields); }, "Stream", "Station sends an invalid metadata interval");
    }
    expectException([] { metadataInterval({}); }, "Stream", "Station does not send song titles");
}

TEST(StationProtocol, TitlesFromMetadata) {
    using namespace std::string_literals;
    EXPECT_EQ(nameFromMetadata("StreamTitle='  Artist  -  Song ';StreamUrl='http://x';\0\0\0"s), "Artist - Song");
    EXPECT_EQ(nameFromMetadata("StreamTitle='It''s';"), "It''s");
    EXPECT_EQ(nameFromMetadata("StreamTitle='No end"), "No end");
    EXPECT_EQ(nameFromMetadata("StreamTitle='';"), "");
    EXPECT_EQ(nameFromMetadata("StreamTitle='a StreamTitle='b';"), "a");
    expectException([] { nameFromMetadata("StreamUrl='x';StreamTitle='y';"); }, "Stream", "");
    expectException([] { nameFromMetadata(""); }, "Stream", "");
}

TEST(StationProtocol, PlaylistsAsStationsWriteThem) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<PlaylistEntry> entries;
    } cases[] = {
        {"pls with several entries, by their numbers",
         "[playlist]\nNumberOfEntries=3\nFile2=https://b.example/live\nTitle2=Second\nFile1=http://a.example:8000/;?sid=1\n"
         "Title1=(#1 - 12/500) Jazz FM\nFile3=mms://old.example/live\nVersion=2\n",
         {{"http://a.example:8000/;?sid=1", "(#1 - 12/500) Jazz FM"}, {"https://b.example/live", "Second"}}},
        {"pls with CR LF, a byte-order mark and keys in another case",
         "\xEF\xBB\xBF[Playlist]\r\nfile1=http://a.example/live\r\ntitle1=Jazz FM\r\n",
         {{"http://a.example/live", "Jazz FM"}}},
        {"m3u with titles",
         "#EXTM3U\n#EXTINF:-1,Jazz FM\nhttp://a.example/live\n\nhttp://b.example/live\n",
         {{"http://a.example/live", "Jazz FM"}, {"http://b.example/live", ""}}},
        {"m3u8 as a plain list, CR LF", "#EXTM3U\r\nhttps://a.example/stream?type=http&nocache=1\r\n",
         {{"https://a.example/stream?type=http&nocache=1", ""}}},
        {"one address and nothing else", "http://one.line.only/", {{"http://one.line.only/", ""}}},
        {"pls with a count and a query", "[playlist]\nNumberOfEntries=1\nFile1=http://radio.example.net/a?x=1&y=2\n",
         {{"http://radio.example.net/a?x=1&y=2", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto entries = playlistEntries(c.text);
        ASSERT_EQ(entries.size(), c.entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].address, c.entries[i].address);
            EXPECT_EQ(entries[i].title, c.entries[i].title);
        }
    }
    const struct {
        const char* what;
        std::string text;
        std::string error;
    } refused[] = {
        {"HLS", "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nsegment1.aac\n",
         "HLS streams are not supported"},
        {"no stream address", "[playlist]\nFile1=rtsp://a.example/live\n", "Bad playlist URL"},
        {"an HTML page", "<html><body>Not here</body></html>", "Bad playlist URL"},
        {"nothing", "", "Bad playlist URL"},
        {"a pls of no entries", "[playlist]\nNumberOfEntries=0\n", "Bad playlist URL"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        try {
            playlistEntries(c.text);
            ADD_FAILURE() << "taken";
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.reason(), c.error);
        }
    }
}

TEST(StationProtocol, StatusCodesFieldsAndContentTypes) {
    for (const auto& [line, code] : std::vector<std::pair<std::string, int>>{{"ICY 200 OK\r\n", 200},
                                                                            {"HTTP/1.1 302 Found\r\n", 302},
                                                                            {"HTTP/1.0 308\r\n", 308},
                                                                            {"HTTP/1.1 3020 x\r\n", 0},
                                                                            {"SOURCE /live\r\n", 0},
                                                                            {"", 0}})
        EXPECT_EQ(responseStatus(line), code) << line;
    const HeaderFields fields = parseHeaderFields("HTTP/1.1 302 Found\r\nlocation: https://b.example/\r\n\r\n");
    EXPECT_EQ(headerField(fields, "Location"), "https://b.example/");
    EXPECT_FALSE(headerField(fields, "Content-Type"));
    for (const auto& [type, kind] : std::vector<std::pair<std::string, AudioKind>>{
             {"audio/mpeg", AudioKind::Mp3}, {"Audio/MPEG; charset=x", AudioKind::Mp3}, {"", AudioKind::Mp3},
             {"audio/mp3", AudioKind::Mp3}, {"audio/aacp", AudioKind::Aac}, {"audio/aac", AudioKind::Aac},
             {"audio/x-aac", AudioKind::Aac}, {"application/ogg", AudioKind::Other}, {"audio/ogg", AudioKind::Other},
             {"text/html", AudioKind::Other}})
        EXPECT_EQ(audioKindOf(type), kind) << type;
}

TEST(StationProtocol, FileNames) {
    struct Case {
        std::string title;
        int copy;
        std::string name;
    } cases[] = {
        {"Artist - Song", 1, "Artist - Song.mp3"},
        {"Mix.mp3", 1, "Mix.mp3"},
        {"Mix.MP3", 1, "Mix.MP3.mp3"},
        {"AC/DC - Back/In Black", 1, "AC-DC - Back-In Black.mp3"},
        {"..", 1, "__.mp3"},
        {"Tab\there\x01", 1, "Tabhere.mp3"},
        {"Song", 2, "Song (2).mp3"},
        {"Song.mp3", 3, "Song (3).mp3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(songFileName(c.title, c.copy), c.name) << c.title;

    // Long titles are cut at a character boundary, keeping the extension and any copy number.
    std::string longTitle;
    for (int i = 0; i < 150; ++i)
        longTitle += "\xC3\xA9"; // 300 bytes of é
    for (int copy : {1, 12}) {
        const std::string name = songFileName(longTitle, copy);
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.substr(name.size() - 4), ".mp3");
        EXPECT_TRUE(platform::isValidUtf8(name)) << "cut inside a character";
    }

    EXPECT_EQ(stationFolderName("Rock/Pop FM"), "Rock-Pop FM");
    EXPECT_EQ(stationFolderName("."), "_");
    EXPECT_EQ(stationFolderName(".."), "__");
    EXPECT_EQ(stationFolderName("\n"), "_");
    EXPECT_EQ(stationFolderName("../../etc"), "..-..-etc");
}

} // namespace
