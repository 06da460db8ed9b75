#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

// A listening TCP socket on 127.0.0.1 (an ephemeral port) with a thread that accepts
// connections one after another and runs the script on each. Plain POSIX calls, so the
// tests of the socket classes do not test them with themselves.
class LoopbackServer {
public:
    using Script = std::function<void(int fd)>;

    // `connections` is how many connections the server accepts before its thread ends.
    explicit LoopbackServer(Script script, int connections = 1);
    ~LoopbackServer();

    std::uint16_t port() const { return port_; }
    // Waits until the thread has run every script.
    void join();

    // Helpers for scripts.
    static void sendAll(int fd, std::string_view bytes);
    static void sendAll(int fd, const std::vector<std::uint8_t>& bytes);
    // Reads until the text contains `until` or the peer closes; returns what was read.
    static std::string readUntil(int fd, std::string_view until);
    // Reads until the peer closes (or 10 s pass); returns what was read.
    static std::string readAll(int fd);

private:
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace testsupport
