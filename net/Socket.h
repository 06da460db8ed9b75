#pragma once

#include "net/AbstractSocket.h"

#include <memory>

namespace net {

class Socket : public AbstractSocket {
public:
    Socket() = default;
    Socket(int fd, const sockaddr_in& remote) : AbstractSocket(fd, remote) {}

    static std::unique_ptr<Socket> socket() { return std::make_unique<Socket>(); }

    // Accepts one connection into a new socket of this object's own class; this one keeps listening.
    std::unique_ptr<Socket> acceptConnectionAndKeepListening();

protected:
    // Makes the accepted connection's object; subclasses answer with their own class.
    virtual std::unique_ptr<Socket> makeAccepted(int fd, const sockaddr_in& remote) const;
};

} // namespace net
