#include "net/Socket.h"

#include <unistd.h>

namespace net {

std::unique_ptr<Socket> Socket::acceptConnectionAndKeepListening() {
    sockaddr_in peer{};
    const int fd = acceptDescriptor(peer);
    try {
        return makeAccepted(fd, peer);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::unique_ptr<Socket> Socket::makeAccepted(int fd, const sockaddr_in& remote) const {
    return std::make_unique<Socket>(fd, remote, closeLock());
}

} // namespace net
