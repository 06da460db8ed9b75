#pragma once

#include "net/BufferedSocket.h"

namespace net {

// A buffered socket whose connect and reads give up after a time limit. It polls: while a try
// yields nothing it sleeps 0.1 s and tries again until the limit has passed, then raises
// "ZNSocket: Timeout waiting for data". The polling bounds the wait only on a socket switched
// to non-blocking mode; on a blocking socket each try blocks in the receive. A limit of 0 (the
// initial value) or less makes a read return none and a connect return at once, untried.
class ZNBufferedSocket : public BufferedSocket {
public:
    explicit ZNBufferedSocket(CloseLock closeLock = CloseLock::Off) : BufferedSocket(closeLock) {}
    ZNBufferedSocket(int fd, const sockaddr_in& remote, CloseLock closeLock = CloseLock::Off)
        : BufferedSocket(fd, remote, closeLock) {}

    void setTimeout(double seconds) { timeout_ = seconds; }
    double timeout() const { return timeout_; }

    using BufferedSocket::connectToHostName;
    void connectToHostName(const std::string& host, std::uint16_t port) override;
    using BufferedSocket::readData;
    std::optional<Bytes> readData(std::int32_t n) override;
    std::optional<Bytes> readDataUpToData(const Bytes& delimiter) override;

protected:
    std::unique_ptr<Socket> makeAccepted(int fd, const sockaddr_in& remote) const override;

private:
    template <typename Try> std::optional<Bytes> timed(Try attempt);

    double timeout_ = 0.0;
};

} // namespace net
