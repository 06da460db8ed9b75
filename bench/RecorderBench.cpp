// Recorder benchmarks; each prints its figures and a ratio against a baseline measured in the
// same run.
//   recorder_bench cut            the cut search over a 10-second window against decoding the
//                                 same bytes with libmpg123 alone
//   recorder_bench record [h]     one hour (or h) of 128 kbit/s recorded, against curl fetching it
//   recorder_bench record-https [h]  the same over TLS (a certificate made for the run), against
//                                 curl fetching it over TLS
//   recorder_bench stations [s]   100 real-time 320 kbit/s stations for s seconds (default 60)
#include "recorder/engine/SilenceCut.h"
#include "recorder/engine/Stream.h"
#include "tests/support/Tls.h"
#include "tests/support/Loopback.h"

#include <mpg123.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// ---- audio ---------------------------------------------------------------------------------

// `seconds` of a tone with a short silence every 3 seconds (or none), encoded by lame at `kbps`.
std::string encodedAudio(int kbps, double seconds, const std::string& folder, bool gaps = true) {
    const std::string wav = folder + "/bench.wav", mp3 = folder + "/bench.mp3";
    const auto samples = static_cast<std::size_t>(seconds * 44100);
    std::vector<std::int16_t> pcm(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const bool quiet = gaps && std::fmod(static_cast<double>(i) / 44100, 3.0) > 2.7;
        const auto v = quiet ? 0 : static_cast<std::int16_t>(9000 * std::sin(2 * std::numbers::pi * 440 * i / 44100.0));
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(v);
    }
    {
        std::ofstream out(wav, std::ios::binary);
        const auto bytes = static_cast<std::uint32_t>(pcm.size() * 2);
        const std::uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746d66, 16,   0x00020001,
                                        44100,      44100 * 4,  0x00100004, 0x61746164, bytes};
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
    }
    const std::string command = "lame --quiet -t --cbr -b " + std::to_string(kbps) + " " + wav + " " + mp3;
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "lame failed\n");
        std::exit(1);
    }
    std::ifstream in(mp3, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Decodes the bytes from their first frame with libmpg123 alone: the baseline of the cut search.
std::size_t decodeOnly(const std::uint8_t* bytes, std::size_t length) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(h);
    mpg123_feed(h, bytes, length);
    std::size_t total = 0;
    for (;;) {
        off_t frame;
        unsigned char* audio;
        size_t done;
        const int r = mpg123_decode_frame(h, &frame, &audio, &done);
        if (r == MPG123_OK)
            total += done;
        else if (r != MPG123_NEW_FORMAT)
            break;
    }
    mpg123_delete(h);
    return total;
}

double secondsOf(const std::function<void()>& work, int repeats) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < repeats; ++i)
            work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count() / repeats);
    }
    return best;
}

int benchCut(const std::string& folder) {
    mpg123_init();
    for (const bool gaps : {true, false}) {
        for (const int kbps : {128, 320}) {
            // A window of 5 s before a title change and 5 s after it, not starting on a frame.
            const std::string mp3 = encodedAudio(kbps, 12.0, folder, gaps);
            const std::uint32_t windowBytes = static_cast<std::uint32_t>(10 * kbps * 125);
            const auto* window = reinterpret_cast<const std::uint8_t*>(mp3.data()) + 1000;
            volatile std::uint32_t sink = 0;
            const double cut = secondsOf(
                [&] {
                    std::uint32_t offset = 0;
                    recorder::findsep_silence(window, windowBytes, 0, windowBytes / 2, &offset);
                    sink = offset;
                },
                10);
            const double decode =
                secondsOf([&] { sink = static_cast<std::uint32_t>(decodeOnly(window, windowBytes)); }, 10);
            std::printf("%3d kbit/s, 10 s window %s: cut search %.3f ms, decode only %.3f ms, ratio %.2f "
                        "(goal: at most 1.30)\n",
                        kbps, gaps ? "with silences   " : "without silences", cut * 1e3, decode * 1e3,
                        cut / decode);
        }
    }
    return 0;
}

// ---- a station in another process --------------------------------------------------------

struct Station {
    pid_t pid;
    std::uint16_t port;
};

// Serves `connections` clients, one process each: an ICY header (for the recorder) and then
// `totalBytes` of audio in `metaint` blocks with a title every `titleEvery` blocks, as fast as
// the socket takes it, or paced at `bytesPerSecond` when that is not 0.
Station startStation(const std::string& audio, int metaint, int titleEvery, std::size_t totalBytes, int connections,
                     double bytesPerSecond, bool secure = false) {
    std::uint16_t port = 0;
    const int listener = testsupport::listenOnLoopback(&port, 128);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (int c = 0; c < connections; ++c) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0)
                _exit(1);
            if (::fork() != 0) {
                ::close(fd);
                continue;
            }
            std::unique_ptr<testsupport::TlsConnection> tls;
            if (secure) {
                const auto& certificates = testsupport::testCertificates();
                tls = std::make_unique<testsupport::TlsConnection>(fd, certificates.serverCertificate,
                                                                   certificates.serverKey);
            }
            const auto sendAll = [&](const std::string& bytes) {
                return tls ? tls->sendAll(bytes) : ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0;
            };
            if (tls) {
                tls->readUntil("\r\n\r\n");
            } else {
                char request[4096];
                (void)::recv(fd, request, sizeof request, 0);
            }
            const std::string head = "HTTP/1.0 200 OK\r\nicy-name:Bench FM " + std::to_string(c) +
                                     "\r\nicy-metaint:" + std::to_string(metaint) + "\r\n\r\n";
            sendAll(head);
            std::size_t sent = 0, at = 0;
            const auto start = Clock::now();
            for (long block = 0; sent < totalBytes; ++block) {
                std::string pass;
                while (pass.size() < static_cast<std::size_t>(metaint)) {
                    const std::size_t n = std::min(audio.size() - at, metaint - pass.size());
                    pass.append(audio, at, n);
                    at = (at + n) % audio.size();
                }
                if (block % titleEvery == 0) {
                    std::string meta = "StreamTitle='Song " + std::to_string(block / titleEvery) + "';";
                    const std::size_t units = (meta.size() + 15) / 16;
                    meta.resize(units * 16, '\0');
                    pass += static_cast<char>(units);
                    pass += meta;
                } else {
                    pass += '\0';
                }
                if (!sendAll(pass))
                    break;
                sent += static_cast<std::size_t>(metaint);
                if (bytesPerSecond > 0)
                    std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                              std::chrono::duration<double>(sent / bytesPerSecond)));
            }
            tls.reset();
            ::close(fd);
            _exit(0);
        }
        while (::wait(nullptr) > 0) {
        }
        _exit(0);
    }
    ::close(listener);
    return {pid, port};
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

int benchRecord(const std::string& folder, bool secure, int hours) {
    if (secure)
        testsupport::testCertificates(); // made before the stations fork, and trusted by the recorder
    const int metaint = 16000;
    const std::size_t hour = static_cast<std::size_t>(std::max(1, hours)) * 3600u * 16000u; // 128 kbit/s
    const int titleEvery = 180;              // a title every 3 minutes
    const std::string audio = encodedAudio(128, 30.0, folder);

    // curl fetching the same stream.
    Station forCurl = startStation(audio, metaint, titleEvery, hour, 1, 0, secure);
    const double curlBefore = cpuSeconds(RUSAGE_CHILDREN);
    const std::string curlCommand =
        secure ? "curl -s --cacert " + testsupport::testCertificates().caFile + " -o " + folder +
                     "/curl.out https://localhost:" + std::to_string(forCurl.port) + "/live"
               : "curl -s -o " + folder + "/curl.out http://127.0.0.1:" + std::to_string(forCurl.port) + "/live";
    if (std::system(curlCommand.c_str()) != 0)
        std::fprintf(stderr, "curl ended with an error (the station closes without a length)\n");
    // Read before the station process is waited for, so that only curl (and its shell) count.
    const double curlCpu = cpuSeconds(RUSAGE_CHILDREN) - curlBefore;
    const auto curlBytes = fs::file_size(folder + "/curl.out");
    ::waitpid(forCurl.pid, nullptr, 0);

    Station forRecorder = startStation(audio, metaint, titleEvery, hour, 1, 0, secure);
    const std::string music = folder + "/Music";
    fs::create_directories(music);
    auto stream = recorder::Stream::create(
        recorder::StationDescriptor::make({{"serverURL", (secure ? "https://localhost:" : "127.0.0.1:") +
                                                             std::to_string(forRecorder.port)}}),
        music);
    const double before = cpuSeconds(RUSAGE_SELF);
    stream->rip();
    std::vector<long> rss;
    std::vector<int> fds;
    // The station closes after the hour; the recorder would reconnect to it: that is the end.
    while (!stream->waitUntilStopped(std::chrono::milliseconds(10))) {
        rss.push_back(residentKiB());
        fds.push_back(openDescriptors());
        if (stream->state() == recorder::Stream::Reconnecting)
            stream->pause();
    }
    const double recorderCpu = cpuSeconds(RUSAGE_SELF) - before;
    ::waitpid(forRecorder.pid, nullptr, 0);
    std::uint64_t recorded = 0;
    for (const auto& file : stream->files())
        recorded += fs::file_size(file.path);

    std::printf("recorder: %.2f CPU s for %.1f MB in %zu files; curl: %.2f CPU s for %.1f MB\n", recorderCpu,
                static_cast<double>(recorded) / 1e6, stream->files().size(), curlCpu,
                static_cast<double>(curlBytes) / 1e6);
    std::printf("CPU per byte, recorder / curl: %.2f (goal: at most 1.50)\n",
                (recorderCpu / static_cast<double>(recorded)) /
                    (std::max(curlCpu, 1e-3) / static_cast<double>(curlBytes)));
    if (!rss.empty())
        std::printf(
            "resident memory at 10%%, 50%%, 100%% of the hour: %ld, %ld, %ld KiB; open descriptors: %d, %d, %d\n",
            rss[rss.size() / 10], rss[rss.size() / 2], rss.back(), fds[fds.size() / 10], fds[fds.size() / 2],
            fds.back());
    return 0;
}

int benchStations(const std::string& folder, int seconds) {
    const int stations = 100, metaint = 16000;
    const double rate = 40000; // 320 kbit/s
    const std::string audio = encodedAudio(320, 20.0, folder);
    Station server = startStation(audio, metaint, 45, static_cast<std::size_t>(rate * (seconds + 5)), stations, rate);
    const std::string music = folder + "/Music";
    fs::create_directories(music);
    std::vector<std::shared_ptr<recorder::Stream>> streams;
    for (int i = 0; i < stations; ++i)
        streams.push_back(recorder::Stream::create(
            recorder::StationDescriptor::make({{"serverURL", "127.0.0.1:" + std::to_string(server.port)}}), music));
    const double before = cpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    for (auto& s : streams)
        s->rip();
    long peak = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        for (auto& s : streams)
            s->snapshot(); // what the window does once a second
        peak = std::max(peak, residentKiB());
    }
    const double cpu = cpuSeconds(RUSAGE_SELF) - before;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    int recording = 0;
    for (auto& s : streams)
        recording += s->state() == recorder::Stream::Recording;
    for (auto& s : streams)
        s->pause();
    for (auto& s : streams)
        s->waitUntilStopped(std::chrono::seconds(10));
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
    std::printf("%d stations at 320 kbit/s for %.0f s: %d recording, CPU %.2f s = %.1f%% of one core, "
                "peak resident memory %.1f MiB\n",
                stations, wall, recording, cpu, 100 * cpu / wall, peak / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "cut";
    char pattern[] = "/tmp/aircask-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    int result = 2;
    if (what == "cut")
        result = benchCut(folder);
    else if (what == "record" || what == "record-https")
        result = benchRecord(folder, what == "record-https", argc > 2 ? std::atoi(argv[2]) : 1);
    else if (what == "stations")
        result = benchStations(folder, argc > 2 ? std::atoi(argv[2]) : 60);
    else
        std::fprintf(stderr, "usage: %s cut | record [hours] | record-https [hours] | stations [seconds]\n", argv[0]);
    fs::remove_all(folder);
    return result;
}
