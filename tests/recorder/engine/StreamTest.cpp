#include "platform/core/Files.h"
#include "recorder/engine/SongTag.h"
#include "recorder/engine/Stream.h"
#include "tests/support/Audio.h"
#include "tests/support/Icy.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <chrono>
#include <thread>

using namespace recorder;
using testsupport::LoopbackServer;
using testsupport::metadataFor;
using testsupport::titleBlock;
using testsupport::readFile;
using testsupport::TempDir;
using namespace std::chrono_literals;

namespace {

// What the scripted station sends after its header: audio blocks, each followed by a metadata
// block (an empty one is the single length byte 0).
struct Pass {
    std::string audio;
    std::string metadata;
};

std::string header(int metaint, const std::string& name = "Test FM") {
    return "ICY 200 OK\r\nicy-name:" + name + "\r\nicy-genre:Test\r\nicy-url:http://example.org/\r\nicy-br:128\r\n" +
           "icy-metaint:" + std::to_string(metaint) + "\r\n\r\n";
}

// A station served by the tests: it reads the request, sends the header and the passes, then
// closes (or, when `hold`, waits for the client to go).
struct ScriptedStation {
    std::string request;
    LoopbackServer server;
    ScriptedStation(std::string head, std::vector<Pass> passes, bool hold = false, int connections = 1)
        : server(
              [this, head = std::move(head), passes = std::move(passes), hold](int fd) {
                  request = LoopbackServer::readUntil(fd, "\r\n\r\n");
                  LoopbackServer::sendAll(fd, head);
                  for (const auto& p : passes)
                      LoopbackServer::sendAll(fd, p.audio + p.metadata);
                  if (hold)
                      LoopbackServer::readAll(fd);
              },
              connections) {}
    std::string url() const { return "127.0.0.1:" + std::to_string(server.port()) + "/live"; }
};

std::shared_ptr<Stream> streamFor(const std::string& serverURL, const std::string& downloadPath) {
    return Stream::create(StationDescriptor::make({{"serverURL", serverURL}}), downloadPath);
}

// Records until the worker ends, reading snapshots all the while as the window does. A station
// that goes away after sending audio is reconnected to: the stream is stopped at its first
// attempt, and the snapshot returned then has the state Reconnecting and the error that made it
// reconnect, with the files as the stop left them.
Stream::Snapshot recordToTheEnd(Stream& stream) {
    stream.rip();
    std::optional<Stream::Snapshot> reconnecting;
    while (!stream.waitUntilStopped(5ms)) {
        auto snapshot = stream.snapshot();
        if (snapshot.state == Stream::Reconnecting && !reconnecting) {
            reconnecting = snapshot;
            stream.pause();
        }
    }
    EXPECT_FALSE(stream.isRunning());
    auto end = stream.snapshot();
    if (reconnecting) {
        EXPECT_EQ(reconnecting->reconnectAttempt, 1);
        end.state = Stream::Reconnecting;
        end.errorString = reconnecting->errorString;
    }
    return end;
}

std::string audioBlock(char fill, int size) { return std::string(static_cast<std::size_t>(size), fill); }

TEST(Stream, SendsTheRequestExactly) {
    TempDir dir;
    ScriptedStation station(header(16), {});
    auto stream = streamFor(station.url(), dir.path());
    recordToTheEnd(*stream);
    EXPECT_EQ(station.request, "GET /live HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(station.server.port()) +
                                   "\r\nUser-Agent: Aircask 0.11\r\nIcy-MetaData:1\r\nAccept: */*\r\n\r\n");
    EXPECT_EQ(stream->requestFor("", "radio.example.net", 80),
              "GET / HTTP/1.0\r\nHost: radio.example.net:80\r\nUser-Agent: Aircask 0.11\r\nIcy-MetaData:1\r\n"
              "Accept: */*\r\n\r\n");
}

TEST(Stream, ResponseHeadersAndTheirFailures) {
    struct Case {
        const char* what;
        std::string head;
        std::string error;
        std::map<std::string, std::string> expected; // descriptor values after the connect
        bool folderMade;
    } cases[] = {
        {"ICY with every field",
         header(16, "  Jazz   FM "),
         "Station closed the connection",
         {{"stationName", "Jazz FM"},
          {"stationGenre", "Test"},
          {"stationBitRate", "128"},
          {"stationURL", "http://example.org/"}},
         true},
        {"HTTP status line without genre, url and bit rate",
         "HTTP/1.0 200 OK\r\nicy-metaint:16\r\n\r\n",
         "Station closed the connection",
         {{"stationName", "127.0.0.1:PORT"}},
         true},
        {"another status", "HTTP/1.0 404 File Not Found\r\n\r\n", "HTTP/1.0 404 File Not Found", {}, false},
        {"no metaint", "ICY 200 OK\r\nicy-name:X\r\n\r\n", "Station does not send song titles", {}, false},
        {"metaint zero",
         "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:0\r\n\r\n",
         "Station sends an invalid metadata interval",
         {},
         false},
        {"metaint huge",
         "ICY 200 OK\r\nicy-name:X\r\nicy-metaint:4294967296\r\n\r\n",
         "Station sends an invalid metadata interval",
         {},
         false},
        {"closed before the header ends",
         "ICY 200 OK\r\nicy-na",
         "Station closed the connection before sending its headers",
         {},
         false},
        {"closed at once", "", "Station closed the connection before sending its headers", {}, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ScriptedStation station(c.head, {});
        auto stream = streamFor(station.url(), dir.path());
        const auto snapshot = recordToTheEnd(*stream);
        EXPECT_EQ(snapshot.state, Stream::Error);
        EXPECT_EQ(snapshot.errorString, c.error);
        for (auto [key, value] : c.expected) {
            if (value == "127.0.0.1:PORT")
                value = "127.0.0.1:" + std::to_string(station.server.port());
            EXPECT_EQ(snapshot.descriptor.count(key) ? snapshot.descriptor.at(key) : "<none>", value) << key;
        }
        EXPECT_EQ(platform::listDirectory(dir.path()).size(), c.folderMade ? 1u : 0u);
    }
}

TEST(Stream, StationURLsThatCannotWork) {
    TempDir dir;
    struct Case {
        std::string serverURL;
        std::string error;
    } cases[] = {
        {"", "Bad server URL"},
        // An address goes out as written, so one that would carry a blank or a line break into
        // the request is refused.
        {"http://127.0.0.1:1/my station", "Bad server URL"},
        {"http://127.0.0.1:1/live\r\nX-Injected: 1", "Bad server URL"},
        {"ftp://127.0.0.1/live", "Bad server URL"},
        {"http://", "Bad server URL"},
        // Texts a person understands, with the system's own reason in them.
        {"127.0.0.1:1/live",
         "The station refused the connection (Connection refused). It may be off the air; try again later."},
        {"no-such-host.invalid/live", "The station's server could not be found (*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serverURL);
        auto stream = streamFor(c.serverURL, dir.path());
        const auto snapshot = recordToTheEnd(*stream);
        EXPECT_EQ(snapshot.state, Stream::Error);
        ASSERT_TRUE(snapshot.errorString);
        if (c.error.back() == '*')
            EXPECT_EQ(snapshot.errorString->rfind(c.error.substr(0, c.error.size() - 1), 0), 0u)
                << *snapshot.errorString;
        else
            EXPECT_EQ(*snapshot.errorString, c.error);
    }
}

// Every audio byte the station sent is in the song files, once and in order; songs move at the
// right titles, names are cleaned, repeated names never replace a file.
TEST(Stream, RecordsOneFilePerSongAndLosesNothing) {
    TempDir dir;
    const std::string mp3 =
        testsupport::encodeMp3({{1.0, 440}, {0.2, 0}, {1.0, 550}, {0.2, 0}, {1.0, 660}}, 128, dir.path());
    const int metaint = 4096;
    std::vector<Pass> passes;
    std::string sentAudio;
    const std::vector<std::string> metadata = {
        metadataFor(""), // unused: first pass has a title
        titleBlock("  First   Song  "),
        titleBlock("AC/DC - Caf\xE9"), // "/" and Latin-1
        titleBlock("AC/DC - Caf\xE9"), // the same title again
        metadataFor("StreamTitle='" + std::string(300, 'x') + "';" + std::string(4080 - 315, '\0')), // 4080 bytes
    };
    // Titles come with passes 0, 2, 4 and 6; the station closes after pass 7.
    const int titleAt[] = {1, 0, 2, 0, 3, 0, 4, 0};
    for (int i = 0; i < 8; ++i) {
        const std::string audio = mp3.substr(static_cast<std::size_t>(i) * metaint, metaint);
        ASSERT_EQ(audio.size(), std::size_t(metaint));
        sentAudio += audio;
        passes.push_back({audio, titleAt[i] ? metadata[std::size_t(titleAt[i])] : std::string(1, '\0')});
    }
    ASSERT_EQ(passes[6].metadata.size(), 1u + 4080u);
    // The audio of a block that the station does not finish is written too.
    passes.push_back({mp3.substr(8 * metaint, 100), ""});
    sentAudio += passes.back().audio;

    ScriptedStation station(header(metaint), passes);
    auto stream = streamFor(station.url(), dir.path());
    const auto snapshot = recordToTheEnd(*stream);
    EXPECT_EQ(snapshot.state, Stream::Reconnecting);
    EXPECT_EQ(snapshot.errorString, "Station closed the connection");

    const std::string stationDir = dir.file("Test FM");
    EXPECT_EQ(snapshot.descriptor.at("fileDir"), stationDir);
    ASSERT_EQ(snapshot.files.size(), 4u);
    const auto& f = snapshot.files;
    EXPECT_EQ(f[0].path, stationDir + "/incomplete/First Song.mp3");
    EXPECT_TRUE(f[0].first && f[0].incomplete && !f[0].current);
    EXPECT_EQ(f[1].path, stationDir + "/AC-DC - Caf\xC3\xA9.mp3");
    EXPECT_TRUE(!f[1].first && !f[1].incomplete && !f[1].current);
    EXPECT_EQ(f[2].path, stationDir + "/AC-DC - Caf\xC3\xA9 (2).mp3");
    EXPECT_EQ(f[3].path, stationDir + "/incomplete/" + std::string(251, 'x') + ".mp3");
    EXPECT_TRUE(!f[3].current && f[3].incomplete) << "a song cut short by the station stays partial";
    for (const auto& file : f)
        EXPECT_EQ(file.bytes, readFile(file.path).size()) << "the count is what the file holds: " << file.name;

    std::string recorded;
    for (const auto& file : f)
        recorded += readFile(file.path);
    EXPECT_EQ(recorded.size(), sentAudio.size());
    EXPECT_TRUE(recorded == sentAudio) << "the song files do not add up to the audio sent";
}

// Songs of 12 s parted by gaps, the title of each next song reaching the stream at a different
// place relative to its gap: before it, inside it, just after it, seconds after it, and so far
// after it that the gap lies outside the search window.
TEST(Stream, EachCutLandsInTheGapBetweenTheSongs) {
    TempDir dir;
    struct Change {
        double gap;     // seconds of silence before the song
        double arrival; // where its title arrives, in seconds from the gap's start
        bool inGap;     // the cut is expected in the gap, else at the title
    } changes[] = {
        {1.5, -3.0, true}, {1.5, 0.5, true}, {0.3, 0.9, true}, {1.5, 4.5, true}, {1.5, 8.5, false},
    };
    const double song = 12.0, bytesPerSecond = 16000, codecDelay = 1105.0 / 44100;
    std::vector<testsupport::Stretch> signal = {{song, 440}};
    std::vector<double> gapStarts, arrivals; // in the stream, seconds
    double t = song;
    for (const Change& c : changes) {
        gapStarts.push_back(t + codecDelay);
        signal.push_back({c.gap, 0});
        signal.push_back({song, signal.size() % 4 == 1 ? 550.0 : 660.0});
        t += c.gap + song;
    }
    const std::string mp3 = testsupport::encodeMp3(signal, 128, dir.path());

    // Blocks of half a second; a title goes out after the block in which its arrival falls.
    const int metaint = 8000;
    std::vector<std::size_t> titleAfterBlock;
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        const double at = gapStarts[i] + changes[i].arrival;
        titleAfterBlock.push_back(static_cast<std::size_t>(at * bytesPerSecond / metaint));
        arrivals.push_back(double(titleAfterBlock.back() + 1) * metaint / bytesPerSecond);
    }
    std::vector<Pass> passes;
    std::string sent;
    for (std::size_t block = 0; block * metaint + metaint <= mp3.size(); ++block) {
        const std::string audio = mp3.substr(block * metaint, metaint);
        sent += audio;
        std::string metadata(1, '\0');
        if (block == 0)
            metadata = titleBlock("Song 0");
        for (std::size_t i = 0; i < titleAfterBlock.size(); ++i)
            if (titleAfterBlock[i] == block)
                metadata = titleBlock("Song " + std::to_string(i + 1));
        passes.push_back({audio, metadata});
    }
    ScriptedStation station(header(metaint), passes);
    auto stream = streamFor(station.url(), dir.path());
    const auto snapshot = recordToTheEnd(*stream);
    ASSERT_EQ(snapshot.files.size(), std::size(changes) + 1);

    std::string recorded;
    std::vector<double> cuts; // where each song after the first starts, in seconds of the stream
    for (const auto& file : snapshot.files) {
        if (!recorded.empty())
            cuts.push_back(double(recorded.size()) / bytesPerSecond);
        recorded += readFile(file.path);
    }
    EXPECT_TRUE(recorded == sent) << "the song files do not add up to the audio sent";

    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE("title " + std::to_string(i + 1) + ": gap at " + std::to_string(gapStarts[i]) + " s, title at " +
                     std::to_string(arrivals[i]) + " s, cut at " + std::to_string(cuts[i]) + " s");
        if (!changes[i].inGap) {
            EXPECT_NEAR(cuts[i], arrivals[i], 0.03) << "no gap in the window: the cut is at the title";
            continue;
        }
        EXPECT_GT(cuts[i], gapStarts[i]);
        EXPECT_LT(cuts[i], gapStarts[i] + changes[i].gap);
        // Heard as a person would: the last 100 ms of the song before and the first 100 ms of
        // the song after are silent.
        const auto before = testsupport::decodeToMono(snapshot.files[i].path);
        const auto after = testsupport::decodeToMono(snapshot.files[i + 1].path);
        EXPECT_LT(testsupport::levelOf(before, before.size() - 4410, 4410), -60);
        EXPECT_LT(testsupport::levelOf(after, 0, 4410), -60);
    }
}

// A stop while a title change waits for the audio after it: nothing held back is lost.
TEST(Stream, AStopWritesWhatWasHeldBack) {
    TempDir dir;
    const std::string mp3 = testsupport::encodeMp3({{3.0, 440}, {0.5, 0}, {1.0, 550}}, 128, dir.path());
    const int metaint = 8000;
    std::atomic<bool> sentAll{false};
    std::string sent;
    LoopbackServer server([&](int fd) {
        LoopbackServer::readUntil(fd, "\r\n\r\n");
        LoopbackServer::sendAll(fd, header(metaint));
        for (std::size_t block = 0; block * metaint + metaint <= mp3.size(); ++block) {
            const std::string audio = mp3.substr(block * metaint, metaint);
            sent += audio;
            LoopbackServer::sendAll(fd, audio + (block == 0   ? titleBlock("One")
                                                 : block == 5 ? titleBlock("Two")
                                                              : std::string(1, '\0')));
        }
        sentAll = true;
        LoopbackServer::readAll(fd); // holds the connection open
    });
    auto stream = streamFor("127.0.0.1:" + std::to_string(server.port()), dir.path());
    stream->rip();
    while (!sentAll)
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(stream->files().size(), 1u) << "the second title waits for the audio after it";
    stream->pause();
    ASSERT_TRUE(stream->waitUntilStopped(10s));
    const auto snapshot = stream->snapshot();
    EXPECT_EQ(snapshot.state, Stream::Idle);
    ASSERT_EQ(snapshot.files.size(), 2u);
    std::string recorded;
    for (const auto& file : snapshot.files) {
        EXPECT_EQ(file.bytes, readFile(file.path).size());
        recorded += readFile(file.path);
    }
    EXPECT_TRUE(recorded == sent) << recorded.size() << " bytes recorded of " << sent.size();
    // Cut in the silence (3.0–3.5 s), though only 0.75 s had come after the title.
    const double cut = double(readFile(snapshot.files[0].path).size()) / 16000;
    EXPECT_GT(cut, 3.0);
    EXPECT_LT(cut, 3.55);
}

TEST(Stream, TitleProblemsEndTheRecording) {
    struct Case {
        const char* what;
        std::string metadata;
        std::string error;
    } cases[] = {
        {"empty first block", std::string(1, '\0'), "Station does not send song titles"},
        {"no StreamTitle first", metadataFor("StreamUrl='x';"), "Station sends song titles in an unknown form"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ScriptedStation station(header(64), {{audioBlock('a', 64), c.metadata}, {audioBlock('b', 64), ""}});
        auto stream = streamFor(station.url(), dir.path());
        const auto snapshot = recordToTheEnd(*stream);
        EXPECT_EQ(snapshot.state, Stream::Error);
        EXPECT_EQ(snapshot.errorString, c.error);
        EXPECT_TRUE(snapshot.files.empty());
        EXPECT_TRUE(platform::listDirectory(dir.file("Test FM/incomplete")).empty());
    }
}

TEST(Stream, AFileThatCannotBeWrittenEndsTheRecordingWithTheSystemsText) {
    TempDir dir;
    testsupport::writeFile(dir.file("not-a-folder"), "");
    ScriptedStation station(header(64), {{audioBlock('a', 64), titleBlock("Song")}});
    auto stream = streamFor(station.url(), dir.file("not-a-folder"));
    const auto snapshot = recordToTheEnd(*stream);
    EXPECT_EQ(snapshot.state, Stream::Error);
    ASSERT_TRUE(snapshot.errorString);
    EXPECT_NE(snapshot.errorString->find("(Not a directory)"), std::string::npos) << *snapshot.errorString;
    EXPECT_NE(snapshot.errorString->find(dir.file("not-a-folder")), std::string::npos) << *snapshot.errorString;
    EXPECT_TRUE(snapshot.files.empty());
}

TEST(Stream, StopsWhileRecordingAndWhileConnecting) {
    TempDir dir;
    {
        // The station sends two passes and then nothing: the stop must not wait for more.
        ScriptedStation station(
            header(64), {{audioBlock('a', 64), titleBlock("Song")}, {audioBlock('b', 64), std::string(1, '\0')}},
            /*hold=*/true);
        auto stream = streamFor(station.url(), dir.path());
        stream->rip();
        // The song starts at its title; its audio is held back for the cut and written at the stop.
        for (int i = 0; i < 1000 && stream->files().empty(); ++i)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(100ms);
        stream->rip(); // ignored while the worker runs
        stream->pause();
        EXPECT_EQ(stream->state(), Stream::Idle);
        ASSERT_TRUE(stream->waitUntilStopped(10s));
        const auto snapshot = stream->snapshot();
        EXPECT_EQ(snapshot.state, Stream::Idle);
        EXPECT_FALSE(snapshot.errorString);
        ASSERT_EQ(snapshot.files.size(), 1u);
        EXPECT_TRUE(snapshot.files[0].incomplete);
        EXPECT_FALSE(snapshot.files[0].current);
        EXPECT_EQ(readFile(snapshot.files[0].path), audioBlock('a', 64) + audioBlock('b', 64));
        // A finished record can be removed; the file is the caller's to delete.
        EXPECT_EQ(stream->removeRecord(snapshot.files[0].id), snapshot.files[0].path);
        EXPECT_TRUE(stream->files().empty());
    }
    {
        // The station accepts the connection and never answers.
        LoopbackServer silent([](int fd) { LoopbackServer::readAll(fd); });
        auto stream = streamFor("127.0.0.1:" + std::to_string(silent.port()), dir.path());
        stream->rip();
        for (int i = 0; i < 200 && stream->state() != Stream::Connecting; ++i)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(50ms);
        stream->pause();
        ASSERT_TRUE(stream->waitUntilStopped(10s));
        EXPECT_EQ(stream->state(), Stream::Idle);
        EXPECT_FALSE(stream->errorString());
    }
}

// A new start, after an error or a stop, never writes into or moves a file of the recording
// before it: its first song is a new partial one.
TEST(Stream, ARestartNeverTouchesTheEarlierFiles) {
    TempDir dir;
    const std::string mp3 = testsupport::encodeMp3({{1.0, 440}}, 128, dir.path());
    const std::string a = mp3.substr(0, 4096), b = mp3.substr(4096, 4096), c = mp3.substr(8192, 4096);
    std::atomic<int> connection{0};
    LoopbackServer server(
        [&](int fd) {
            LoopbackServer::readUntil(fd, "\r\n\r\n");
            LoopbackServer::sendAll(fd, header(4096));
            if (connection++ == 0) // then a metadata block of a form no station sends: an error
                LoopbackServer::sendAll(fd, a + titleBlock("One") + b + metadataFor("StreamUrl='x';"));
            else
                LoopbackServer::sendAll(fd, c + titleBlock("Two"));
        },
        2);
    auto stream = streamFor("127.0.0.1:" + std::to_string(server.port()), dir.path());
    const auto failed = recordToTheEnd(*stream);
    EXPECT_EQ(failed.state, Stream::Error);
    EXPECT_EQ(failed.errorString, "Station sends song titles in an unknown form");
    ASSERT_EQ(failed.files.size(), 1u);
    const std::string one = dir.file("Test FM/incomplete/One.mp3");
    EXPECT_EQ(readFile(one), a + b);

    const auto snapshot = recordToTheEnd(*stream); // the station closes after "Two"
    EXPECT_EQ(snapshot.state, Stream::Reconnecting);
    ASSERT_EQ(snapshot.files.size(), 2u);
    EXPECT_EQ(snapshot.files[0].path, one);
    EXPECT_EQ(readFile(one), a + b) << "the earlier file was written into";
    EXPECT_TRUE(snapshot.files[1].first);
    EXPECT_EQ(snapshot.files[1].path, dir.file("Test FM/incomplete/Two.mp3"));
    EXPECT_EQ(readFile(snapshot.files[1].path), c);
}

TEST(Stream, SnapshotsSinceAVersionHoldOnlyWhatChanged) {
    TempDir dir;
    ScriptedStation station(header(64), {{audioBlock('a', 64), titleBlock("One")},
                                         {audioBlock('b', 64), titleBlock("Two")},
                                         {audioBlock('c', 64), titleBlock("Three")}});
    auto stream = streamFor(station.url(), dir.path());
    const auto all = recordToTheEnd(*stream);
    ASSERT_EQ(all.files.size(), 3u);
    EXPECT_TRUE(all.complete);
    const auto nothing = stream->snapshot(all.version);
    EXPECT_FALSE(nothing.complete);
    EXPECT_TRUE(nothing.files.empty());
    EXPECT_EQ(nothing.version, all.version);
    // An older version gets the records changed since: "Two" moved at the third title, "Three" is new.
    const auto before = stream->snapshot(all.version - 2);
    ASSERT_FALSE(before.complete);
    ASSERT_FALSE(before.files.empty());
    EXPECT_EQ(before.files.back().name, "Three.mp3");
    // A removal makes the next snapshot complete again.
    ASSERT_TRUE(stream->removeRecord(all.files[0].id));
    const auto afterRemoval = stream->snapshot(all.version);
    EXPECT_TRUE(afterRemoval.complete);
    ASSERT_EQ(afterRemoval.files.size(), 2u);
    EXPECT_EQ(afterRemoval.files[0].name, "Two.mp3");
}

TEST(Stream, ResolvesPlaylistsOnEveryStart) {
    TempDir dir;
    ScriptedStation station(header(16), {}, false, 2);
    const std::string playlist = "[playlist]\r\nNumberOfEntries=1\r\nFile1=http://" + station.url() + "?sid=1\r\n";
    LoopbackServer web(
        [&](int fd) {
            LoopbackServer::readUntil(fd, "\r\n\r\n");
            LoopbackServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(playlist.size()) +
                                            "\r\n\r\n" + playlist);
        },
        2);
    const std::string playlistURL = "http://127.0.0.1:" + std::to_string(web.port()) + "/listen.pls";
    auto descriptor = StationDescriptor::make({{"playlistURL", playlistURL}, {"serverURL", "http://old.example/"}});
    auto stream = Stream::create(descriptor, dir.path());
    for (int start = 0; start < 2; ++start) {
        recordToTheEnd(*stream);
        EXPECT_EQ(descriptor->objectForKey("serverURL"), "http://" + station.url() + "?sid=1");
        EXPECT_EQ(stream->errorString(), "Station closed the connection"); // connected, then closed: no audio
        descriptor->setObject("serverURL", "http://old.example/");
    }
    EXPECT_EQ(station.request.substr(0, 25), "GET /live?sid=1 HTTP/1.0\r") << "the query goes out as written";

    auto broken = Stream::create(StationDescriptor::make({{"playlistURL", "http://127.0.0.1:1/none.pls"}}), dir.path());
    EXPECT_EQ(recordToTheEnd(*broken).errorString, "Bad playlist URL");
}

// Audio in passes of `metaint` bytes, with a title at the first: what the stations below send.
std::vector<Pass> titledPasses(const std::string& mp3, int metaint, int count, std::string* audio) {
    std::vector<Pass> passes;
    for (int i = 0; i < count; ++i) {
        passes.push_back({mp3.substr(static_cast<std::size_t>(i) * metaint, metaint),
                          i == 0 ? titleBlock("Artist - Song") : std::string(1, '\0')});
        *audio += passes.back().audio;
    }
    return passes;
}

std::string recordedAudio(const Stream::Snapshot& snapshot) {
    std::string recorded;
    for (const auto& file : snapshot.files)
        recorded += readFile(file.path);
    return recorded;
}

// A station that answers every request with a redirect to where `location` says.
struct Redirector {
    std::vector<std::string> requests;
    LoopbackServer server;
    Redirector(std::function<std::string(const std::string& request)> location, int status, int connections)
        : server(
              [this, location = std::move(location), status](int fd) {
                  requests.push_back(LoopbackServer::readUntil(fd, "\r\n\r\n"));
                  LoopbackServer::sendAll(fd, "HTTP/1.1 " + std::to_string(status) + " Moved\r\nLocation: " +
                                                  location(requests.back()) + "\r\nContent-Length: 0\r\n\r\n");
              },
              connections) {}
};

TEST(Stream, RedirectsAreFollowedFiveTimesAtMost) {
    TempDir dir;
    for (const int status : {301, 302, 303, 307, 308}) {
        SCOPED_TRACE(status);
        ScriptedStation station(header(16), {});
        // A relative redirect to the same server, then an absolute one to the station.
        Redirector hops(
            [&](const std::string& request) {
                return request.rfind("GET /start ", 0) == 0 ? std::string("/moved")
                                                            : "http://" + station.url() + "?from=" + std::to_string(status);
            },
            status, 2);
        auto stream = streamFor("127.0.0.1:" + std::to_string(hops.server.port()) + "/start", dir.path());
        const auto snapshot = recordToTheEnd(*stream);
        EXPECT_EQ(snapshot.errorString, "Station closed the connection") << "the station was reached";
        EXPECT_EQ(station.request.substr(0, station.request.find("\r\n")),
                  "GET /live?from=" + std::to_string(status) + " HTTP/1.0");
        hops.server.join();
        ASSERT_EQ(hops.requests.size(), 2u);
        EXPECT_EQ(hops.requests[1].rfind("GET /moved HTTP/1.0\r\n", 0), 0u);
    }
    // A server that sends the client round in circles.
    std::uint16_t port = 0;
    Redirector circle([&](const std::string&) { return "http://127.0.0.1:" + std::to_string(port) + "/again"; }, 302, 6);
    port = circle.server.port();
    auto stream = streamFor("127.0.0.1:" + std::to_string(port) + "/again", dir.path());
    const auto snapshot = recordToTheEnd(*stream);
    EXPECT_EQ(snapshot.state, Stream::Error);
    EXPECT_EQ(snapshot.errorString, "Station redirects more than 5 times");
    circle.server.join();
    EXPECT_EQ(circle.requests.size(), 6u);
}

TEST(Stream, APlaylistsEntriesAreTriedInTurnAndNameTheStation) {
    TempDir dir;
    // The station sends no name of its own: the playlist's title for the entry that answers names it.
    ScriptedStation station("ICY 200 OK\r\nicy-metaint:16\r\n\r\n", {});
    const std::string playlist = "[playlist]\r\nFile1=http://127.0.0.1:1/dead\r\nTitle1=Dead FM\r\nFile2=http://" +
                                 station.url() + "\r\nTitle2=Jazz FM\r\nNumberOfEntries=2\r\n";
    LoopbackServer web(
        [&](int fd) {
            LoopbackServer::readUntil(fd, "\r\n\r\n");
            LoopbackServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\nContent-Length: " +
                                            std::to_string(playlist.size()) + "\r\n\r\n" + playlist);
        },
        1);
    auto descriptor =
        StationDescriptor::make({{"playlistURL", "http://127.0.0.1:" + std::to_string(web.port()) + "/listen.pls"}});
    auto stream = Stream::create(descriptor, dir.path());
    const auto snapshot = recordToTheEnd(*stream);
    EXPECT_EQ(snapshot.errorString, "Station closed the connection");
    EXPECT_EQ(descriptor->objectForKey("serverURL"), "http://" + station.url());
    EXPECT_EQ(descriptor->objectForKey("stationName"), "Jazz FM");
}

TEST(Stream, TheStationIsNamedByItsServerUnlessTheUserNamedIt) {
    TempDir dir;
    struct Case {
        const char* what;
        std::string head;
        StationDescriptor::Values given;
        std::string name;
    } cases[] = {
        {"the server's name", header(16, "Jazz FM"), {}, "Jazz FM"},
        {"a name the user gave", header(16, "Jazz FM"), {{"stationName", "My Jazz"}, {"stationNameGiven", "1"}}, "My Jazz"},
        {"no name anywhere", "ICY 200 OK\r\nicy-metaint:16\r\n\r\n", {}, "127.0.0.1:*"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedStation station(c.head, {});
        c.given["serverURL"] = station.url();
        auto descriptor = StationDescriptor::make(c.given);
        recordToTheEnd(*Stream::create(descriptor, dir.path()));
        const std::string name = descriptor->objectForKey("stationName").value_or("");
        if (c.name.back() == '*')
            EXPECT_EQ(name, "127.0.0.1:" + std::to_string(station.server.port()));
        else
            EXPECT_EQ(name, c.name);
    }
}

TEST(Stream, StationsThatSendOtherAudioAreRefusedBeforeAnythingIsWritten) {
    for (const std::string type : {"application/ogg", "audio/ogg", "text/html; charset=utf-8"}) {
        SCOPED_TRACE(type);
        TempDir dir;
        const std::string download = dir.file("Music");
        ScriptedStation station("HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nicy-name:Ogg FM\r\n\r\n",
                                {{std::string(4096, 'O'), ""}});
        const auto snapshot = recordToTheEnd(*streamFor(station.url(), download));
        EXPECT_EQ(snapshot.state, Stream::Error);
        EXPECT_EQ(snapshot.errorString, "This station sends " + type + ", which Aircask cannot record yet");
        EXPECT_TRUE(snapshot.files.empty());
        EXPECT_FALSE(platform::fileExists(download)) << "nothing is made for a station that cannot be recorded";
    }
}

// A station over TLS with the given certificate: it reads the request, sends the header and
// the passes, and closes.
struct TlsStation {
    std::string request;
    LoopbackServer server;
    TlsStation(const std::string& certificate, const std::string& key, std::string head, std::vector<Pass> passes)
        : server(
              [this, certificate, key, head = std::move(head), passes = std::move(passes)](int fd) {
                  testsupport::TlsConnection tls(fd, certificate, key);
                  request = tls.readUntil("\r\n\r\n");
                  tls.sendAll(head);
                  for (const auto& p : passes)
                      tls.sendAll(p.audio + p.metadata);
              },
              1) {}
    std::string url(const std::string& host) const {
        return "https://" + host + ":" + std::to_string(server.port()) + "/live?sid=1";
    }
};

TEST(Stream, RecordsOverHttpsWithATrustedCertificate) {
    const auto& certificates = testsupport::testCertificates();
    TempDir dir;
    const std::string mp3 = testsupport::encodeMp3({{1.5, 440}}, 128, dir.path());
    std::string sent;
    TlsStation station(certificates.serverCertificate, certificates.serverKey, header(4096, "Secure FM"),
                       titledPasses(mp3, 4096, 5, &sent));
    const auto snapshot = recordToTheEnd(*streamFor(station.url("localhost"), dir.path()));
    station.server.join();
    EXPECT_EQ(station.request.substr(0, station.request.find("\r\n")), "GET /live?sid=1 HTTP/1.0");
    EXPECT_EQ(snapshot.errorString, "Station closed the connection");
    EXPECT_EQ(snapshot.descriptor.at("stationName"), "Secure FM");
    ASSERT_FALSE(snapshot.files.empty());
    EXPECT_TRUE(recordedAudio(snapshot) == sent) << "the audio that came over TLS is not what was sent";
}

TEST(Stream, CertificatesThatCannotBeTrustedFailNamingTheHost) {
    const auto& certificates = testsupport::testCertificates();
    struct Case {
        const char* what;
        std::string certificate, key, host, error;
    } cases[] = {
        {"signed by nobody we trust", certificates.untrustedCertificate, certificates.untrustedKey, "localhost",
         "The certificate of localhost is not trusted: *"},
        {"made out for another name", certificates.serverCertificate, certificates.serverKey, "127.0.0.1",
         "The certificate of 127.0.0.1 was made out for another host name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        TlsStation station(c.certificate, c.key, header(16), {});
        const auto snapshot = recordToTheEnd(*streamFor(station.url(c.host), dir.path()));
        station.server.join();
        EXPECT_EQ(snapshot.state, Stream::Error) << "no silent fallback, no reconnecting";
        ASSERT_TRUE(snapshot.errorString);
        if (c.error.back() == '*')
            EXPECT_EQ(snapshot.errorString->rfind(c.error.substr(0, c.error.size() - 1), 0), 0u) << *snapshot.errorString;
        else
            EXPECT_EQ(*snapshot.errorString, c.error);
        EXPECT_TRUE(station.request.empty()) << "nothing was sent over the untrusted connection";
    }
}

TEST(Stream, ARedirectFromHttpToHttpsIsFollowed) {
    const auto& certificates = testsupport::testCertificates();
    TempDir dir;
    TlsStation station(certificates.serverCertificate, certificates.serverKey, header(16, "Moved FM"), {});
    Redirector plain([&](const std::string&) { return station.url("localhost"); }, 301, 1);
    const auto snapshot = recordToTheEnd(*streamFor("127.0.0.1:" + std::to_string(plain.server.port()) + "/", dir.path()));
    station.server.join();
    EXPECT_EQ(snapshot.errorString, "Station closed the connection");
    EXPECT_EQ(snapshot.descriptor.at("stationName"), "Moved FM");
}

// The tag frames ffprobe reads from a file, as "key=value" lines.
std::string tagsOf(const std::string& path) {
    const std::string command = "ffprobe -v error -show_entries format_tags=title,artist,album,date -of default=nw=1 '" +
                                path + "' 2>&1";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

TEST(Stream, SongsBeginWithATagAndThenTheBytesTheStationSent) {
    TempDir dir;
    const std::string mp3 = testsupport::encodeMp3({{2.0, 440}, {2.0, 550}}, 128, dir.path());
    const int metaint = 4096;
    std::vector<Pass> passes;
    std::string sent;
    for (int i = 0; i < 10; ++i) {
        passes.push_back({mp3.substr(static_cast<std::size_t>(i) * metaint, metaint),
                          i == 0   ? titleBlock("Caf\xC3\xA9 Tacvba - La Ingrata")
                          : i == 5 ? titleBlock("\xE6\x9D\xB1\xE4\xBA\xAC Jazz")
                                   : std::string(1, '\0')});
        sent += passes.back().audio;
    }
    ScriptedStation station(header(metaint, "Test FM"), passes);
    auto stream = streamFor(station.url(), dir.path());
    stream->setCutWindow(0, 0);
    stream->setWritesTags(true);
    const auto snapshot = recordToTheEnd(*stream);
    ASSERT_EQ(snapshot.files.size(), 2u);
    std::string audio;
    for (const auto& file : snapshot.files) {
        const std::string bytes = readFile(file.path);
        ASSERT_EQ(bytes.compare(0, 4, std::string("ID3\x04", 4)), 0) << file.name;
        audio += bytes.substr(testsupport::id3v2TagSize(bytes));
        EXPECT_EQ(file.bytes, bytes.size());
    }
    EXPECT_TRUE(audio == sent) << "after the tags, the files hold exactly the audio sent";
    const std::string date = todaysDate();
    EXPECT_EQ(tagsOf(snapshot.files[0].path),
              "TAG:title=La Ingrata\nTAG:artist=Caf\xC3\xA9 Tacvba\nTAG:album=Test FM\nTAG:date=" + date + "\n");
    EXPECT_EQ(tagsOf(snapshot.files[1].path), "TAG:title=\xE6\x9D\xB1\xE4\xBA\xAC Jazz\nTAG:album=Test FM\nTAG:date=" + date +
                                                  "\n")
        << "a title without \" - \" has no artist";
    const std::string tag = id3v2Tag({"A - B", "S", "2026-12-11", "http://radio.example/live?sid=1"});
    EXPECT_NE(tag.find("WORS"), std::string::npos);
    EXPECT_NE(tag.find("http://radio.example/live?sid=1"), std::string::npos);
}

TEST(Stream, AnAacStationIsRecordedIntoTaggedAacSongsByteForByte) {
    TempDir dir;
    const std::string aac = dir.file("tone.aac");
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i 'sine=frequency=440:duration=4' -c:a aac -b:a 64k "
                           "-f adts '" + aac + "'").c_str()),
              0);
    const std::string stream = readFile(aac);
    const int metaint = 4096;
    std::vector<Pass> passes;
    std::string sent;
    for (std::size_t at = 0, i = 0; at < stream.size(); at += metaint, ++i) {
        // The last block, cut short by the station's close, has no metadata after it.
        const std::string block = stream.substr(at, metaint);
        passes.push_back({block, block.size() < std::size_t(metaint) ? std::string()
                                 : i == 0                            ? titleBlock("One - First")
                                 : i == 3                            ? titleBlock("Two - Second")
                                                                     : std::string(1, '\0')});
        sent += passes.back().audio;
    }
    ScriptedStation station("ICY 200 OK\r\nicy-name:AAC FM\r\ncontent-type:audio/aacp\r\nicy-metaint:4096\r\n\r\n",
                            passes);
    auto recorder = streamFor(station.url(), dir.path());
    recorder->setWritesTags(true);
    const auto snapshot = recordToTheEnd(*recorder);
    ASSERT_EQ(snapshot.files.size(), 2u);
    EXPECT_EQ(snapshot.files[0].name, "One - First.aac");
    EXPECT_EQ(snapshot.files[1].name, "Two - Second.aac");
    std::string audio;
    for (const auto& file : snapshot.files) {
        const std::string bytes = readFile(file.path);
        ASSERT_EQ(bytes.compare(0, 4, std::string("ID3\x04", 4)), 0) << file.name;
        audio += bytes.substr(testsupport::id3v2TagSize(bytes));
    }
    EXPECT_TRUE(audio == sent) << "after the tags, the songs hold exactly the ADTS frames sent";
    EXPECT_EQ(tagsOf(snapshot.files[1].path).find("TAG:title=Second\nTAG:artist=Two\nTAG:album=AAC FM\n"), 0u)
        << tagsOf(snapshot.files[1].path);
}

} // namespace
