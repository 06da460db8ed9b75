#include "tests/support/LoopbackServer.h"

#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

LoopbackServer::LoopbackServer(Script script, int connections) {
    listenFd_ = listenOnLoopback(&port_);
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            pollfd p{listenFd_, POLLIN, 0};
            // A test that never connects must not hang the server: give up after 30 s.
            if (::poll(&p, 1, 30000) <= 0)
                return;
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0)
                return;
            script(fd);
            ::close(fd);
        }
    });
}

LoopbackServer::~LoopbackServer() {
    join();
    ::close(listenFd_);
}

void LoopbackServer::join() {
    if (thread_.joinable())
        thread_.join();
}

void LoopbackServer::sendAll(int fd, std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

void LoopbackServer::sendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    sendAll(fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string LoopbackServer::readUntil(int fd, std::string_view until) {
    std::string text;
    char chunk[4096];
    while (until.empty() || text.find(until) == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

std::string LoopbackServer::readAll(int fd) { return readUntil(fd, {}); }

} // namespace testsupport
