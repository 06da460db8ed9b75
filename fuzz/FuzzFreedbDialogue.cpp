// The whole CDDB dialogue against a loopback server that answers with the input: the input's
// first byte picks the match the "user" chooses, the rest is cut at zero bytes into the
// greeting and the replies to hello, query and read. The lookup must end, report or succeed,
// and never raise.
#include "ripper/freedb/FreedbAccess.h"
#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Delegate : ripper::FreedbDelegate {
    std::int32_t choice = 0;
    std::string getChosenCDName() override { return "/nonexistent"; }
    void runAlertWithTitle(const std::string&, const std::string&) override {}
    std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>&) override { return choice; }
};

int listener(std::uint16_t* port) {
    static int fd = -1;
    static std::uint16_t bound = 0;
    if (fd == -1)
        fd = testsupport::listenOnLoopback(&bound, 8);
    *port = bound;
    return fd;
}

void serve(int listenFd, std::vector<std::string> replies) {
    pollfd p{listenFd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0)
        return;
    const int fd = ::accept(listenFd, nullptr, nullptr);
    if (fd < 0)
        return;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        if (i > 0) { // every reply after the greeting answers one command line
            char c = 0;
            do {
                pollfd q{fd, POLLIN, 0};
                if (::poll(&q, 1, 1000) <= 0 || ::recv(fd, &c, 1, 0) != 1) {
                    ::close(fd);
                    return;
                }
            } while (c != '\n');
        }
        (void)::send(fd, replies[i].data(), replies[i].size(), MSG_NOSIGNAL);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 1 << 16)
        return 0;
    std::vector<std::string> replies(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0 && replies.size() < 4)
            replies.emplace_back();
        else
            replies.back() += static_cast<char>(data[i]);
    }
    std::uint16_t port = 0;
    const int fd = listener(&port);
    std::thread server(serve, fd, replies);

    Delegate delegate;
    delegate.choice = static_cast<std::int8_t>(data[0]);
    ripper::TableOfContents toc;
    toc.numTracks = 2;
    toc.totalTime = 600;
    toc.trackOffsets = {150, 20000};
    ripper::FreedbAccess access(delegate, toc);
    access.setPort(port);
    access.setTimeout(std::chrono::milliseconds(200));
    access.lookupCDInformation("127.0.0.1");
    server.join();
    return 0;
}
