#include "net/ZNBufferedSocket.h"

#include "platform/core/Exception.h"

#include <chrono>
#include <thread>

namespace net {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto pollInterval = std::chrono::milliseconds(100);

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

[[noreturn]] void raiseTimeout() { throw platform::Exception("ZNSocket: Timeout waiting for data"); }

} // namespace

template <typename Try> std::optional<Bytes> ZNBufferedSocket::timed(Try attempt) {
    const auto deadline = deadlineAfter(timeout_);
    std::optional<Bytes> result;
    while (!result && Clock::now() < deadline) {
        result = attempt();
        if (!result)
            std::this_thread::sleep_for(pollInterval);
    }
    if (timeout_ > 0 && !result)
        raiseTimeout();
    return result;
}

std::optional<Bytes> ZNBufferedSocket::readData(std::int32_t n) {
    return timed([&] { return BufferedSocket::readData(n); });
}

std::optional<Bytes> ZNBufferedSocket::readDataUpToData(const Bytes& delimiter) {
    return timed([&] { return BufferedSocket::readDataUpToData(delimiter); });
}

void ZNBufferedSocket::connectToHostName(const std::string& host, std::uint16_t port) {
    const auto deadline = deadlineAfter(timeout_);
    while (!isConnected() && Clock::now() < deadline) {
        BufferedSocket::connectToHostName(host, port);
        if (!isConnected())
            std::this_thread::sleep_for(pollInterval);
    }
    if (timeout_ > 0 && !isConnected())
        raiseTimeout();
}

std::unique_ptr<Socket> ZNBufferedSocket::makeAccepted(int fd, const sockaddr_in& remote) const {
    return std::make_unique<ZNBufferedSocket>(fd, remote, closeLock());
}

} // namespace net
