#pragma once

#include "net/AbstractSocket.h"

#include <memory>

namespace net {

class Socket : public AbstractSocket {
public:
    explicit Socket(CloseLock closeLock = CloseLock::Off) : AbstractSocket(closeLock) {}
    Socket(int fd, const sockaddr_in& remote, CloseLock closeLock = CloseLock::Off)
        : AbstractSocket(fd, remote, closeLock) {}

    static std::unique_ptr<Socket> socket(CloseLock closeLock = CloseLock::Off) {
        return std::make_unique<Socket>(closeLock);
    }

    // Accepts one connection into a new socket of this object's own class (with its close lock
    // setting); this one keeps listening.
    std::unique_ptr<Socket> acceptConnectionAndKeepListening();

protected:
    // Makes the accepted connection's object; subclasses answer with their own class.
    virtual std::unique_ptr<Socket> makeAccepted(int fd, const sockaddr_in& remote) const;
};

} // namespace net
