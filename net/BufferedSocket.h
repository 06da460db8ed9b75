#pragma once

#include "net/Socket.h"

#include <optional>
#include <string>

namespace net {

// A socket with a read-ahead buffer: exact-count reads and reads up to a delimiter, whatever
// sizes the network delivers. Bytes are handed out once, in arrival order; what a read does
// not need stays buffered for the next one. After a read that yields none (the peer closed,
// or a non-blocking socket had nothing yet) every byte received so far is still buffered.
class BufferedSocket : public Socket {
public:
    explicit BufferedSocket(CloseLock closeLock = CloseLock::Off) : Socket(closeLock) {}
    BufferedSocket(int fd, const sockaddr_in& remote, CloseLock closeLock = CloseLock::Off)
        : Socket(fd, remote, closeLock) {}

    static std::unique_ptr<BufferedSocket> bufferedSocket(CloseLock closeLock = CloseLock::Off) {
        return std::make_unique<BufferedSocket>(closeLock);
    }

    using AbstractSocket::readData;
    // Exactly n bytes, or none when the connection delivered too few.
    virtual std::optional<Bytes> readData(std::int32_t n);
    // Everything up to and including the first occurrence of the delimiter, or none.
    virtual std::optional<Bytes> readDataUpToData(const Bytes& delimiter);
    std::optional<Bytes> readDataUpToString(std::string_view delimiter);

    // The ReadString operations (BufferedSocket+ReadString.cpp). The text holds the block's bytes
    // unchanged: bytes above 127 are left for the caller to interpret.
    std::optional<std::string> readString(std::int32_t n);
    std::optional<std::string> readStringUpToString(std::string_view delimiter);

    // One receive appended to the buffer (the core read); the count received, 0 when none.
    std::int32_t fillBuffer() { return AbstractSocket::readData(&buffer_); }

    // The bytes received and not yet handed out.
    const ByteBuffer& buffer() const { return buffer_; }

protected:
    std::unique_ptr<Socket> makeAccepted(int fd, const sockaddr_in& remote) const override;

private:
    ByteBuffer buffer_;
};

} // namespace net
