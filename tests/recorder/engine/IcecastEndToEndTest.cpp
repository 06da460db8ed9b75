// A real Icecast 2 server on loopback, fed by ffmpeg with a tone that falls silent for 1.5 s
// every 10 s; titles change through Icecast's admin URL, one 3 s before a silence and one 1 s
// after a silence ended, as real stations' titles come early or late. A Stream records three
// titles: each cut lies in the silence, and every file decodes cleanly.
#include "platform/core/Files.h"
#include "recorder/engine/AdtsCut.h"
#include "recorder/engine/Stream.h"
#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

using namespace recorder;
using namespace std::chrono_literals;

namespace {

bool have(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null").c_str()) == 0;
}

int run(const std::string& command) { return std::system(command.c_str()); }

class IcecastPeer {
public:
    // `environment` is put before the script's command: "ICECAST_CODEC=aac " and the like.
    explicit IcecastPeer(const std::string& folder, const std::string& environment = {}) : folder_(folder) {
        started_ = run(environment + std::string(PEERS_DIR) + "/icecast.sh start '" + folder_ + "' > '" + folder_ +
                       "/port'") == 0;
        if (started_)
            port_ = std::stoi(testsupport::readFile(folder_ + "/port"));
    }
    ~IcecastPeer() { run(std::string(PEERS_DIR) + "/icecast.sh stop '" + folder_ + "'"); }
    bool started() const { return started_; }
    int port() const { return port_; }
    // Sleeps until the source has played `seconds` of its signal.
    void waitForSourceTime(double seconds) const {
        const double start = std::stod(testsupport::readFile(folder_ + "/source.start"));
        const auto at = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(start + seconds)));
        std::this_thread::sleep_until(at);
    }
    void stop() { run(std::string(PEERS_DIR) + "/icecast.sh stop '" + folder_ + "'"); }
    bool relaunch() { return run(std::string(PEERS_DIR) + "/icecast.sh relaunch '" + folder_ + "' >/dev/null") == 0; }
    bool setTitle(const std::string& title) {
        return run(std::string(PEERS_DIR) + "/icecast.sh title '" + folder_ + "' '" + title + "'") == 0;
    }

private:
    std::string folder_;
    bool started_ = false;
    int port_ = 0;
};

// Waits until the stream holds `count` file records (or the time runs out).
bool waitForFiles(Stream& stream, std::size_t count, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto snapshot = stream.snapshot();
        if (snapshot.files.size() >= count && snapshot.files.back().bytes > 16000)
            return true;
        if (snapshot.state == Stream::Error)
            return false;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// Records three titles from the peer: the first at once, one 3 s before the silence from 18.5 s
// to 20 s, one 1 s after the silence from 28.5 s to 30 s, as real stations' titles come early or
// late. Ends once the third song has started; the snapshot after the stop.
Stream::Snapshot recordThreeTitles(IcecastPeer& icecast, Stream& stream, const std::string& firstTitle) {
    EXPECT_TRUE(icecast.setTitle(firstTitle));
    stream.rip();
    EXPECT_TRUE(waitForFiles(stream, 1, 20s)) << stream.errorString().value_or("no file");
    icecast.waitForSourceTime(15.5);
    EXPECT_TRUE(icecast.setTitle("Title Two"));
    icecast.waitForSourceTime(31.0);
    EXPECT_TRUE(icecast.setTitle("Title Three"));
    // The third song starts once 5 s have come after its title.
    EXPECT_TRUE(waitForFiles(stream, 3, 20s)) << stream.errorString().value_or("no third file");
    stream.pause();
    EXPECT_TRUE(stream.waitUntilStopped(10s));
    return stream.snapshot();
}

// Each cut lies in a silence: the 100 ms on either side of it are silent (the tone is at -11 dB),
// and the song between the two cuts is one period of the source, 10 s.
void expectCutsInTheSilences(const std::vector<std::vector<std::int16_t>>& decoded) {
    const std::size_t tenth = 4410;
    ASSERT_EQ(decoded.size(), 3u);
    ASSERT_GT(decoded[1].size(), 5 * 44100u);
    EXPECT_LT(testsupport::levelOf(decoded[0], decoded[0].size() - tenth, tenth), -50) << "end of the first song";
    EXPECT_LT(testsupport::levelOf(decoded[1], 0, tenth), -50) << "start of the early title's song";
    EXPECT_LT(testsupport::levelOf(decoded[1], decoded[1].size() - tenth, tenth), -50) << "end of that song";
    EXPECT_LT(testsupport::levelOf(decoded[2], 0, tenth), -50) << "start of the late title's song";
    EXPECT_NEAR(double(decoded[1].size()) / 44100, 10.0, 0.6);
}

TEST(IcecastEndToEnd, TitlesEarlyAndLateAreCutInTheSilence) {
    if (!have("icecast2") || !have("ffmpeg"))
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed (scripts/install-deps.sh installs both)";
    testsupport::TempDir dir;
    IcecastPeer icecast(dir.path());
    ASSERT_TRUE(icecast.started()) << testsupport::readFile(dir.file("peer.log"));
    const std::string music = dir.file("Music");
    platform::createDirectory(music);
    auto stream = Stream::create(
        StationDescriptor::make({{"serverURL", "http://127.0.0.1:" + std::to_string(icecast.port()) + "/live"}}),
        music);
    const auto snapshot = recordThreeTitles(icecast, *stream, "Title One");
    EXPECT_EQ(snapshot.state, Stream::Idle);
    EXPECT_EQ(snapshot.descriptor.at("stationName"), "Aircask Test Station");
    const std::string station = music + "/Aircask Test Station";
    ASSERT_EQ(snapshot.files.size(), 3u);
    EXPECT_EQ(snapshot.files[0].path, station + "/incomplete/Title One.mp3");
    EXPECT_EQ(snapshot.files[1].path, station + "/Title Two.mp3");
    EXPECT_EQ(snapshot.files[2].path, station + "/incomplete/Title Three.mp3");
    std::vector<std::vector<std::int16_t>> decoded;
    for (const auto& file : snapshot.files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(file.bytes, std::filesystem::file_size(file.path));
        // ffmpeg prints nothing at error level for a file that decodes cleanly. A file that
        // starts at a cut may begin with a frame whose bit reservoir lay in the frames before
        // it ("invalid new backstep"): every cut of a stream at a frame boundary can, players
        // pass over that one frame, and here it lies in the silence. Anything else is a fault.
        const std::string errors = dir.file("decode-errors.txt");
        ASSERT_EQ(run("ffmpeg -nostdin -v error -i '" + file.path + "' -f null - 2> '" + errors + "'"), 0);
        std::string other;
        std::istringstream lines(testsupport::readFile(errors));
        for (std::string line; std::getline(lines, line);)
            if (line.find("invalid new backstep") == std::string::npos)
                other += line + "\n";
        EXPECT_EQ(other, "");
        decoded.push_back(testsupport::decodeToMono(file.path));
    }
    expectCutsInTheSilences(decoded);
}

// The server and its source go away and come back: the recording resumes by itself into a new
// file, and the file it was writing keeps what it had.
TEST(IcecastEndToEnd, TheRecordingResumesWhenTheServerComesBack) {
    if (!have("icecast2") || !have("ffmpeg"))
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed (scripts/install-deps.sh installs both)";
    testsupport::TempDir dir;
    IcecastPeer icecast(dir.path());
    ASSERT_TRUE(icecast.started()) << testsupport::readFile(dir.file("peer.log"));
    ASSERT_TRUE(icecast.setTitle("Before"));
    const std::string music = dir.file("Music");
    auto stream = Stream::create(
        StationDescriptor::make({{"serverURL", "http://127.0.0.1:" + std::to_string(icecast.port()) + "/live"}}),
        music);
    stream->setCutWindow(0, 0);
    stream->rip();
    ASSERT_TRUE(waitForFiles(*stream, 1, 20s)) << stream->errorString().value_or("no file");
    icecast.stop();
    const auto lostBy = std::chrono::steady_clock::now() + 20s;
    while (stream->state() != Stream::Reconnecting && std::chrono::steady_clock::now() < lostBy)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(stream->state(), Stream::Reconnecting);
    const auto before = stream->snapshot().files;
    ASSERT_EQ(before.size(), 1u);
    ASSERT_TRUE(icecast.relaunch()) << testsupport::readFile(dir.file("peer.log"));
    ASSERT_TRUE(icecast.setTitle("After"));
    ASSERT_TRUE(waitForFiles(*stream, 2, 40s)) << stream->errorString().value_or("no file after the restart");
    EXPECT_EQ(stream->state(), Stream::Recording);
    stream->pause();
    ASSERT_TRUE(stream->waitUntilStopped(10s));

    const auto files = stream->snapshot().files;
    ASSERT_GE(files.size(), 2u);
    EXPECT_EQ(files[0].path, music + "/Aircask Test Station/incomplete/Before.mp3");
    EXPECT_EQ(files[0].bytes, before[0].bytes) << "the file of the lost connection was written into later";
    EXPECT_EQ(std::filesystem::file_size(files[0].path), before[0].bytes);
    EXPECT_TRUE(files[1].first) << "the new connection starts a new partial song";
    for (const auto& file : files)
        EXPECT_EQ(file.bytes, std::filesystem::file_size(file.path)) << file.name;
}

// The same station sending AAC in ADTS frames: the songs are .aac files, tagged, cut at frame
// boundaries in the silence, and each decodes cleanly.
TEST(IcecastEndToEnd, AnAacStationIsCutInTheSilenceIntoAacFiles) {
    if (!have("icecast2") || !have("ffmpeg"))
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed (scripts/install-deps.sh installs both)";
    testsupport::TempDir dir;
    IcecastPeer icecast(dir.path(), "ICECAST_CODEC=aac ");
    ASSERT_TRUE(icecast.started()) << testsupport::readFile(dir.file("peer.log"));
    const std::string music = dir.file("Music");
    auto stream = Stream::create(
        StationDescriptor::make({{"serverURL", "http://127.0.0.1:" + std::to_string(icecast.port()) + "/live"}}),
        music);
    stream->setWritesTags(true);
    const auto snapshot = recordThreeTitles(icecast, *stream, "Tacvba - Title One");
    const std::string station = music + "/Aircask Test Station";
    ASSERT_EQ(snapshot.files.size(), 3u);
    EXPECT_EQ(snapshot.files[0].path, station + "/incomplete/Tacvba - Title One.aac");
    EXPECT_EQ(snapshot.files[1].path, station + "/Title Two.aac");
    EXPECT_EQ(snapshot.files[2].path, station + "/incomplete/Title Three.aac");
    std::vector<std::vector<std::int16_t>> decoded;
    for (const auto& file : snapshot.files) {
        SCOPED_TRACE(file.name);
        const std::string bytes = testsupport::readFile(file.path);
        EXPECT_EQ(file.bytes, bytes.size());
        const std::size_t tag = testsupport::id3v2TagSize(bytes);
        ASSERT_GT(tag, 10u);
        const std::string errors = dir.file("decode-errors.txt");
        ASSERT_EQ(run("ffmpeg -nostdin -v error -i '" + file.path + "' -f null - 2> '" + errors + "'"), 0);
        // A song that begins at a cut begins with a whole ADTS frame; one that also ends at a
        // cut decodes cleanly. The first song begins where the server began sending, which
        // Icecast does not align to AAC frames, and the last ends where the recording was
        // stopped: their outer frames may be pieces, which are kept (every byte the station sent
        // is written) and which decoders pass over.
        if (!file.first) {
            EXPECT_TRUE(adtsHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()) + tag, bytes.size() - tag))
                << "the audio does not start at a frame";
        }
        if (&file == &snapshot.files[1]) {
            EXPECT_EQ(testsupport::readFile(errors), "");
        }
        decoded.push_back(testsupport::decodeToMono(file.path));
    }
    expectCutsInTheSilences(decoded);
}

// Icecast's own TLS port, with a certificate made by the test for "localhost".
TEST(IcecastEndToEnd, RecordsOverIcecastsOwnTls) {
    if (!have("icecast2") || !have("ffmpeg"))
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed (scripts/install-deps.sh installs both)";
    const auto& certificates = testsupport::testCertificates();
    testsupport::TempDir dir;
    const std::string pem = dir.file("server-and-key.pem");
    testsupport::writeFile(pem, testsupport::readFile(certificates.serverCertificate) +
                                    testsupport::readFile(certificates.serverKey));
    IcecastPeer icecast(dir.path(), "ICECAST_TLS_PEM='" + pem + "' ");
    ASSERT_TRUE(icecast.started()) << testsupport::readFile(dir.file("peer.log"));
    ASSERT_TRUE(icecast.setTitle("Secure Title"));
    const std::string tlsPort = testsupport::readFile(dir.file("icecast.tls-port"));
    auto stream = Stream::create(
        StationDescriptor::make({{"serverURL", "https://localhost:" + tlsPort.substr(0, tlsPort.find('\n')) + "/live"}}),
        dir.file("Music"));
    stream->rip();
    const bool recorded = waitForFiles(*stream, 1, 20s);
    const auto snapshot = stream->snapshot();
    stream->pause();
    ASSERT_TRUE(stream->waitUntilStopped(10s));
    ASSERT_TRUE(recorded) << snapshot.errorString.value_or("no file") << "\n"
                          << testsupport::readFile(dir.file("icecast-log/error.log"));
    EXPECT_EQ(snapshot.descriptor.at("stationName"), "Aircask Test Station");
    EXPECT_EQ(snapshot.files[0].name, "Secure Title.mp3");
    EXPECT_EQ(run("ffmpeg -nostdin -v error -i '" + snapshot.files[0].path + "' -f null - 2>/dev/null"), 0);
}

} // namespace
