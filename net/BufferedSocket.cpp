#include "net/BufferedSocket.h"

#include "platform/core/Exception.h"

namespace net {

std::optional<Bytes> BufferedSocket::readData(std::int32_t n) {
    if (n < 0)
        return buffer_.getBytes(n); // raises "not enough data"
    while (buffer_.length() < static_cast<std::size_t>(n)) {
        if (AbstractSocket::readData(&buffer_) == 0)
            return std::nullopt;
    }
    return buffer_.getBytes(n);
}

std::optional<Bytes> BufferedSocket::readDataUpToData(const Bytes& delimiter) {
    while (!buffer_.containsData(delimiter)) {
        if (AbstractSocket::readData(&buffer_) == 0)
            return std::nullopt;
    }
    return buffer_.getBytesUpToData(delimiter);
}

std::optional<Bytes> BufferedSocket::readDataUpToString(std::string_view delimiter) {
    return readDataUpToData(Bytes(delimiter.begin(), delimiter.end()));
}

std::unique_ptr<Socket> BufferedSocket::makeAccepted(int fd, const sockaddr_in& remote) const {
    return std::make_unique<BufferedSocket>(fd, remote, closeLock());
}

} // namespace net
