// A station that fails the way real ones do: it stalls with the connection open, closes in the
// middle of a block, comes back with a burst that repeats what was sent before, refuses
// connections for a while, sends blank titles; and a disk that fills up. In every case the song
// files, in the order they were made, hold every audio byte the station sent once.
#include "platform/core/Files.h"
#include "recorder/engine/Stream.h"
#include "tests/support/Audio.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Icy.h"
#include "tests/support/Loopback.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <thread>

using namespace recorder;
using testsupport::LoopbackServer;
using testsupport::titleBlock;
using testsupport::readFile;
using testsupport::TempDir;
using namespace std::chrono_literals;

namespace {

const int metaint = 8000;

const std::string header = "ICY 200 OK\r\nicy-name:Test FM\r\nicy-br:128\r\nicy-metaint:8000\r\n\r\n";

// The audio as the station sends it: blocks of `metaint` bytes, each followed by its metadata
// (the title after the block `titleAfter` of the map, an empty block otherwise). The last block
// may be short: the station then closes in its middle.
std::string interleave(const std::string& audio, const std::map<std::size_t, std::string>& titles) {
    std::string out;
    for (std::size_t block = 0; block * metaint < audio.size(); ++block) {
        const std::string piece = audio.substr(block * metaint, metaint);
        out += piece;
        if (piece.size() < std::size_t(metaint))
            break;
        const auto title = titles.find(block);
        out += title == titles.end() ? std::string(1, '\0') : titleBlock(title->second);
    }
    return out;
}

// A station served over several connections, each with a script of its own. Before a
// connection it may stop listening for a while, so that connects to it are refused.
class FaultyStation {
public:
    struct Connection {
        std::function<void(int fd)> script;
        std::chrono::milliseconds refusedFor{0};
    };
    explicit FaultyStation(std::vector<Connection> connections) {
        int fd = testsupport::listenOnLoopback(&port_);
        thread_ = std::thread([this, fd, connections = std::move(connections)]() mutable {
            for (auto& connection : connections) {
                if (connection.refusedFor.count() > 0) {
                    ::close(fd);
                    std::this_thread::sleep_for(connection.refusedFor);
                    fd = testsupport::listenOnLoopback(&port_, 8, /*reusePort=*/true);
                }
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 30000) <= 0)
                    break;
                const int client = ::accept(fd, nullptr, nullptr);
                if (client < 0)
                    break;
                LoopbackServer::readUntil(client, "\r\n\r\n");
                connection.script(client);
                ::close(client);
                ++served;
            }
            ::close(fd);
        });
    }
    ~FaultyStation() { thread_.join(); }
    std::string url() const { return "127.0.0.1:" + std::to_string(port_) + "/live"; }

    std::atomic<int> served{0};
    std::atomic<bool> sentAll{false}; // scripts may set it when their last byte is out

private:
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// A connection's script: the header, the audio with the title after its first block, then the
// connection stays open (and `sent`, when given, says that everything went out).
std::function<void(int)> sendAndHold(const std::string& audio, const std::string& title,
                                     std::atomic<bool>* sent = nullptr) {
    return [audio, title, sent](int fd) {
        LoopbackServer::sendAll(fd, header + interleave(audio, {{0, title}}));
        if (sent)
            *sent = true;
        LoopbackServer::readAll(fd);
    };
}

std::shared_ptr<Stream> streamFor(const std::string& url, const std::string& folder) {
    return Stream::create(StationDescriptor::make({{"serverURL", url}}), folder);
}

// Watches the stream's snapshots until `done` holds (or 30 s pass), remembering the states it saw.
struct Watch {
    std::vector<Stream::Snapshot> seen;
    bool until(Stream& stream, const std::function<bool(const Stream::Snapshot&)>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            auto snapshot = stream.snapshot();
            if (seen.empty() || seen.back().state != snapshot.state ||
                seen.back().reconnectAttempt != snapshot.reconnectAttempt)
                seen.push_back(snapshot);
            if (done(snapshot))
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    std::optional<Stream::Snapshot> first(Stream::State state) const {
        for (const auto& s : seen)
            if (s.state == state)
                return s;
        return std::nullopt;
    }
};

std::string recorded(const Stream::Snapshot& snapshot) {
    std::string bytes;
    for (const auto& file : snapshot.files) {
        const std::string content = readFile(file.path);
        EXPECT_EQ(file.bytes, content.size()) << "the count is not what the file holds: " << file.name;
        bytes += content;
    }
    return bytes;
}

void stopAndWait(Stream& stream) {
    stream.pause();
    ASSERT_TRUE(stream.waitUntilStopped(10s));
}

class StreamFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TempDir dir;
        mp3 = new std::string(testsupport::encodeMp3({{12.0, 440}}, 128, dir.path())); // 192 kB
    }
    static void TearDownTestSuite() { delete mp3; }
    static std::string* mp3;
    TempDir dir;
};
std::string* StreamFaults::mp3 = nullptr;

TEST_F(StreamFaults, AStationThatClosesMidBlockAndComesBackWithABurst) {
    const std::string before = mp3->substr(0, 100000); // 12.5 blocks: closes in the middle of one
    const std::string burst = before.substr(before.size() - 65536);
    const std::string after = mp3->substr(100000, 40000);
    FaultyStation station({
        {[&](int fd) { LoopbackServer::sendAll(fd, header + interleave(before, {{0, "One"}})); }},
        {[&](int fd) {
             LoopbackServer::sendAll(fd, header + interleave(burst + after, {{0, "Two"}}));
             station.sentAll = true;
             LoopbackServer::readAll(fd);
         }},
    });
    auto stream = streamFor(station.url(), dir.path());
    stream->rip();
    Watch watch;
    ASSERT_TRUE(watch.until(*stream, [&](const auto& s) { return station.sentAll && s.state == Stream::Recording; }));
    std::this_thread::sleep_for(300ms);
    stopAndWait(*stream);

    const auto reconnecting = watch.first(Stream::Reconnecting);
    ASSERT_TRUE(reconnecting) << "the lost connection was not reconnected";
    EXPECT_EQ(reconnecting->errorString, "Station closed the connection");
    EXPECT_EQ(reconnecting->reconnectAttempt, 1);
    const auto snapshot = stream->snapshot();
    EXPECT_EQ(snapshot.state, Stream::Idle);
    EXPECT_FALSE(snapshot.errorString) << "the error went with the reconnect";
    ASSERT_EQ(snapshot.files.size(), 2u);
    // Both partial: the first cut short by the station, the second the first of its connection.
    for (const auto& file : snapshot.files)
        EXPECT_TRUE(file.incomplete && file.first && !file.current) << file.name;
    EXPECT_EQ(snapshot.files[0].name, "One.mp3");
    EXPECT_EQ(snapshot.files[1].name, "Two.mp3");
    const std::string all = recorded(snapshot);
    EXPECT_EQ(all.size(), before.size() + after.size()) << "bytes lost or the burst doubled";
    EXPECT_TRUE(all == before + after);
}

TEST_F(StreamFaults, AStallIsALostConnection) {
    const std::string first = mp3->substr(0, 24000), second = mp3->substr(24000, 24000);
    std::atomic<std::chrono::steady_clock::time_point::rep> lastSent{0};
    FaultyStation station({
        {[&](int fd) {
             LoopbackServer::sendAll(fd, header + interleave(first, {{0, "One"}}));
             lastSent = std::chrono::steady_clock::now().time_since_epoch().count();
             LoopbackServer::readAll(fd); // the connection stays open; nothing more comes
         }},
        {sendAndHold(second, "Two", &station.sentAll)},
    });
    auto stream = streamFor(station.url(), dir.path());
    stream->setCutWindow(0, 0);
    stream->setStallTimeout(1);
    stream->rip();
    Watch watch;
    std::chrono::steady_clock::time_point detected{};
    ASSERT_TRUE(watch.until(*stream, [&](const auto& s) {
        if (s.state == Stream::Reconnecting && detected == std::chrono::steady_clock::time_point{})
            detected = std::chrono::steady_clock::now();
        return station.sentAll && s.state == Stream::Recording;
    }));
    std::this_thread::sleep_for(300ms);
    stopAndWait(*stream);
    const auto reconnecting = watch.first(Stream::Reconnecting);
    ASSERT_TRUE(reconnecting);
    EXPECT_EQ(reconnecting->errorString, "The station sent nothing for 1 s.");
    const auto waited = detected - std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastSent));
    std::printf("stall of a 1 s limit noticed after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 3s) << "the stall was not noticed within the limit";
    const auto snapshot = stream->snapshot();
    ASSERT_EQ(snapshot.files.size(), 2u);
    EXPECT_TRUE(recorded(snapshot) == first + second);
}

TEST_F(StreamFaults, RefusedConnectionsAreRetriedWithGrowingPauses) {
    const std::string first = mp3->substr(0, 24000), second = mp3->substr(24000, 24000);
    FaultyStation station({
        {[&](int fd) { LoopbackServer::sendAll(fd, header + interleave(first, {{0, "One"}})); }},
        {sendAndHold(second, "Two", &station.sentAll), 3500ms}, // refused for 3.5 s: two attempts more fail
    });
    auto stream = streamFor(station.url(), dir.path());
    stream->setCutWindow(0, 0);
    stream->rip();
    Watch watch;
    ASSERT_TRUE(watch.until(*stream, [&](const auto& s) { return station.sentAll && s.state == Stream::Recording; }));
    std::this_thread::sleep_for(300ms);
    stopAndWait(*stream);
    std::int32_t mostAttempts = 0;
    for (const auto& s : watch.seen)
        if (s.state == Stream::Reconnecting) {
            mostAttempts = std::max(mostAttempts, s.reconnectAttempt);
            if (s.reconnectAttempt > 1) { // the error of the attempt before: refused
                EXPECT_NE(s.errorString.value_or("").find("refused the connection (Connection refused)"),
                          std::string::npos)
                    << s.errorString.value_or("");
            }
        }
    EXPECT_GE(mostAttempts, 2);
    EXPECT_LE(mostAttempts, 4) << "the pauses do not grow";
    const auto snapshot = stream->snapshot();
    ASSERT_EQ(snapshot.files.size(), 2u);
    EXPECT_TRUE(recorded(snapshot) == first + second);
}

TEST_F(StreamFaults, BlankTitlesKeepTheSongGoing) {
    struct Case {
        const char* what;
        std::map<std::size_t, std::string> titles;
        std::vector<std::string> names;
    } cases[] = {
        {"blank between songs", {{0, "One"}, {2, "   "}, {3, ""}, {4, "Two"}}, {"One.mp3", "Two.mp3"}},
        {"blank first", {{0, " "}, {3, "Two"}}, {"Test FM.mp3", "Two.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder;
        const std::string audio = mp3->substr(0, 6 * metaint);
        LoopbackServer server([&](int fd) {
            LoopbackServer::readUntil(fd, "\r\n\r\n");
            LoopbackServer::sendAll(fd, header + interleave(audio, c.titles));
            LoopbackServer::readAll(fd);
        });
        auto stream = streamFor("127.0.0.1:" + std::to_string(server.port()), folder.path());
        stream->setCutWindow(0, 0);
        stream->rip();
        Watch watch;
        ASSERT_TRUE(watch.until(*stream, [&](const auto& s) {
            return s.files.size() >= c.names.size() && s.files.back().bytes > 0;
        }));
        std::this_thread::sleep_for(200ms);
        stopAndWait(*stream);
        const auto snapshot = stream->snapshot();
        EXPECT_EQ(snapshot.state, Stream::Idle);
        std::vector<std::string> names;
        for (const auto& file : snapshot.files)
            names.push_back(file.name);
        EXPECT_EQ(names, c.names);
        EXPECT_TRUE(recorded(snapshot) == audio);
    }
}

TEST_F(StreamFaults, RecordWhileStoppingStartsAgainOnceStopped) {
    const std::string first = mp3->substr(0, 24000), second = mp3->substr(24000, 24000);
    FaultyStation station({
        {sendAndHold(first, "One")},
        {sendAndHold(second, "Two", &station.sentAll)},
    });
    auto stream = streamFor(station.url(), dir.path());
    stream->setCutWindow(0, 0);
    stream->rip();
    Watch watch;
    ASSERT_TRUE(watch.until(*stream, [](const auto& s) { return !s.files.empty() && s.files[0].bytes > 0; }));
    stream->pause();
    stream->rip(); // the worker is still stopping
    ASSERT_TRUE(watch.until(*stream, [&](const auto& s) { return station.sentAll && s.files.size() == 2; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(stream->state(), Stream::Recording);
    stopAndWait(*stream);
    const auto snapshot = stream->snapshot();
    ASSERT_EQ(snapshot.files.size(), 2u);
    EXPECT_EQ(readFile(snapshot.files[1].path), second);
}

TEST_F(StreamFaults, ANewDownloadFolderTakesEffectAtTheNextSong) {
    const std::string audio = mp3->substr(0, 8 * metaint);
    std::atomic<bool> moved{false};
    LoopbackServer server([&](int fd) {
        LoopbackServer::readUntil(fd, "\r\n\r\n");
        LoopbackServer::sendAll(fd, header + interleave(audio.substr(0, 4 * metaint), {{0, "One"}, {2, "Two"}}));
        while (!moved)
            std::this_thread::sleep_for(5ms);
        LoopbackServer::sendAll(fd, interleave(audio.substr(4 * metaint), {{1, "Three"}}));
        LoopbackServer::readAll(fd);
    });
    const std::string old = dir.file("old"), fresh = dir.file("new");
    auto stream = streamFor("127.0.0.1:" + std::to_string(server.port()), old);
    stream->setCutWindow(0, 0);
    stream->rip();
    Watch watch;
    ASSERT_TRUE(watch.until(*stream, [](const auto& s) { return s.files.size() == 2; }));
    stream->setDownloadPath(fresh);
    stream->createDirectories();
    moved = true;
    ASSERT_TRUE(watch.until(*stream, [](const auto& s) { return s.files.size() == 3; }));
    std::this_thread::sleep_for(200ms);
    stopAndWait(*stream);
    const auto snapshot = stream->snapshot();
    ASSERT_EQ(snapshot.state, Stream::Idle) << snapshot.errorString.value_or("");
    ASSERT_EQ(snapshot.files.size(), 3u);
    EXPECT_EQ(snapshot.files[0].path, old + "/Test FM/incomplete/One.mp3");
    EXPECT_EQ(snapshot.files[1].path, old + "/Test FM/Two.mp3") << "a song finishes where it started";
    EXPECT_EQ(snapshot.files[2].path, fresh + "/Test FM/incomplete/Three.mp3");
    EXPECT_TRUE(recorded(snapshot) == audio);
}

TEST_F(StreamFaults, AFullDiskEndsTheRecordingWithWhatIsOnDisk) {
    // A file-size limit stands in for a full disk: writes past it fail as a full disk's do.
    const std::string audio = mp3->substr(0, 20 * metaint);
    LoopbackServer server([&](int fd) {
        LoopbackServer::readUntil(fd, "\r\n\r\n");
        LoopbackServer::sendAll(fd, header + interleave(audio, {{0, "Big Song"}}));
        LoopbackServer::readAll(fd);
    });
    auto stream = streamFor("127.0.0.1:" + std::to_string(server.port()), dir.path());
    stream->setCutWindow(0, 0);
    bool failed = false;
    {
        testsupport::FileSizeLimit limit(50000);
        ASSERT_TRUE(limit.set());
        stream->rip();
        Watch watch;
        failed = watch.until(*stream, [](const auto& s) { return s.state == Stream::Error; });
    }
    ASSERT_TRUE(failed);
    stopAndWait(*stream);
    const auto snapshot = stream->snapshot();
    EXPECT_NE(snapshot.errorString.value_or("").find("(File too large)"), std::string::npos)
        << snapshot.errorString.value_or("");
    ASSERT_EQ(snapshot.files.size(), 1u);
    const std::string onDisk = readFile(snapshot.files[0].path);
    EXPECT_LE(onDisk.size(), 50000u);
    EXPECT_EQ(snapshot.files[0].bytes, onDisk.size()) << "counted what is not on disk";
    EXPECT_TRUE(audio.compare(0, onDisk.size(), onDisk) == 0) << "the file holds other bytes than were sent";
    // What is on disk plays: ffmpeg decodes it without an error.
    const std::string errors = dir.file("errors.txt");
    EXPECT_EQ(std::system(("ffmpeg -nostdin -v error -i '" + snapshot.files[0].path + "' -f null - 2> '" + errors +
                           "'")
                              .c_str()),
              0);
    EXPECT_EQ(readFile(errors), "");
}

} // namespace
