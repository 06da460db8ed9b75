#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>

#include <cstdint>

namespace testsupport {

// A plain POSIX socket listening on 127.0.0.1 at an ephemeral port, for the servers that tests,
// benchmarks and fuzz targets start. Returns the descriptor and sets `port`; raises when the
// socket cannot listen. With `reusePort` it listens at `*port` again (a server coming back).
inline int listenOnLoopback(std::uint16_t* port, int backlog = 16, bool reusePort = false) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = reusePort ? htons(*port) : 0;
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    *port = ntohs(address.sin_port);
    return fd;
}

} // namespace testsupport
