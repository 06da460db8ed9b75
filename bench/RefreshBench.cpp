// The station outline's once-a-second refresh with 20 stations of many recorded files each:
// a refresh with nothing changed, and one with one new file. Prints milliseconds per refresh
// for 100 and for 1000 files a station, so that growth with the number of files shows.
#include "recorder/window/ControllerDataSource.h"
#include "tests/support/Loopback.h"

#include <QApplication>
#include <QTreeView>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int metaint = 16;

std::string pass(int title) {
    std::string meta = "StreamTitle='Song " + std::to_string(title) + "';";
    meta.resize((meta.size() + 15) / 16 * 16, '\0');
    return std::string(metaint, 'x') + static_cast<char>(meta.size() / 16) + meta;
}

void sendAll(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        at += static_cast<std::size_t>(n);
    }
}

// A station that sends `titles` songs at once, then one more song each time `more` grows,
// until `done`.
struct Station {
    std::uint16_t port = 0;
    std::thread thread;
    Station(int titles, std::atomic<int>* more, std::atomic<bool>* done) {
        const int listener = testsupport::listenOnLoopback(&port, 1);
        thread = std::thread([=] {
            const int fd = ::accept(listener, nullptr, nullptr);
            char request[2048];
            (void)::recv(fd, request, sizeof request, 0);
            sendAll(fd, "ICY 200 OK\r\nicy-name:Bench\r\nicy-metaint:" + std::to_string(metaint) + "\r\n\r\n");
            std::string burst;
            for (int t = 0; t < titles; ++t)
                burst += pass(t);
            sendAll(fd, burst);
            int sent = 0;
            while (!done->load()) { // the connection stays open: the stations keep recording
                if (more && more->load() > sent)
                    sendAll(fd, pass(titles + sent++));
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ::close(fd);
            ::close(listener);
        });
    }
};

std::size_t fileCount(const recorder::Stream& stream) { return stream.files().size(); }

void measure(int filesPerStation, const std::string& folder) {
    std::atomic<int> more{0};
    std::atomic<bool> done{false};
    std::vector<std::unique_ptr<Station>> servers;
    std::vector<std::shared_ptr<recorder::Stream>> streams;
    for (int i = 0; i < 20; ++i) {
        servers.push_back(std::make_unique<Station>(filesPerStation, i == 0 ? &more : nullptr, &done));
        auto stream = recorder::Stream::create(
            recorder::StationDescriptor::make({{"serverURL", "127.0.0.1:" + std::to_string(servers.back()->port)},
                                               {"stationName", "Bench " + std::to_string(i)}}),
            folder);
        std::filesystem::create_directories(folder);
        stream->rip();
        streams.push_back(stream);
    }
    for (auto& stream : streams)
        while (fileCount(*stream) < static_cast<std::size_t>(filesPerStation))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));

    recorder::ControllerDataSource model;
    QTreeView view;
    view.setModel(&model);
    view.resize(800, 600);
    view.show();
    model.refresh(streams);
    for (int i = 0; i < 20; ++i)
        view.expand(model.index(i, 0));
    QApplication::processEvents();

    double unchanged = 1e9, oneNew = 1e9;
    for (int round = 0; round < 50; ++round) {
        auto start = Clock::now();
        model.refresh(streams);
        unchanged = std::min(unchanged, std::chrono::duration<double, std::milli>(Clock::now() - start).count());

        const std::size_t before = fileCount(*streams[0]);
        ++more;
        while (fileCount(*streams[0]) == before)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        start = Clock::now();
        model.refresh(streams);
        oneNew = std::min(oneNew, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        QApplication::processEvents();
    }
    std::printf("20 stations x %4d files: refresh with no change %.3f ms, with one new file %.3f ms\n", filesPerStation,
                unchanged, oneNew);
    done = true;
    for (auto& stream : streams)
        stream->pause();
    for (auto& stream : streams)
        stream->waitUntilStopped(std::chrono::seconds(10));
    for (auto& server : servers)
        server->thread.join();
}

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    char pattern[] = "/tmp/aircask-refresh-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    for (int files : {100, 1000})
        measure(files, folder + "/" + std::to_string(files));
    std::filesystem::remove_all(folder);
}
