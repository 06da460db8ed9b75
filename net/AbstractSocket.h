#pragma once

#include "net/ByteBuffer.h"

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;

namespace net {

// One IPv4 TCP socket with blocking reads and writes. Every failure raises a
// platform::Exception whose name is fixed ("Socket: Connect failed") and whose reason adds the
// system's error text. Two outcomes come back as values: a read that finds the peer gone (0,
// and the socket closes itself) and a non-blocking read with nothing to read (0, still open).
//
// Thread safety: a socket is used by one thread at a time. A socket made with CloseLock::On
// (Aircask's) runs close() and interrupt() under its own lock, so that another thread may
// interrupt or close it; no other operation takes the lock. Discwell's sockets have none.
enum class CloseLock { Off, On };

class AbstractSocket {
public:
    explicit AbstractSocket(CloseLock closeLock = CloseLock::Off);
    // For a descriptor that is already connected to `remote`.
    AbstractSocket(int fd, const sockaddr_in& remote, CloseLock closeLock = CloseLock::Off);
    virtual ~AbstractSocket();

    AbstractSocket(const AbstractSocket&) = delete;
    AbstractSocket& operator=(const AbstractSocket&) = delete;

    static std::string dottedIPFromAddress(in_addr address);

    void allocReadBuffer();
    void setReadBufferSize(std::uint32_t size);
    std::uint32_t readBufferSize() const { return readBufferSize_; }

    virtual void connectToHostName(const std::string& host, std::uint16_t port);
    // The same, giving up after `timeoutMilliseconds` (negative: no limit) with the failure
    // "Socket: Connect timed out".
    void connectToHostName(const std::string& host, std::uint16_t port, int timeoutMilliseconds);
    bool isConnected() const { return connected_; }
    // Speaks TLS over the connection from here on. The server's certificate must chain to the
    // system's trust store (or to the extra CA file named by AIRCASK_EXTRA_CA_FILE, a way for
    // tests to trust a CA of their own) and name `host`, which also goes to the server (SNI).
    // Raises "TLS: Certificate not trusted" (the reason names the host) or "TLS: Handshake
    // failed"; the handshake gives up after `timeoutMilliseconds`.
    void startTls(const std::string& host, int timeoutMilliseconds);
    bool isSecure() const { return ssl_ != nullptr; }
    bool isListening() const { return listening_; }
    const std::optional<std::string>& remoteHostName() const { return remoteHostName_; }
    std::uint16_t remotePort() const { return remotePort_; }
    int socketfd() const { return socketfd_; }
    // The local port this socket is bound to (useful after listening on port 0); 0 when unknown.
    std::uint16_t localPort() const;

    // One receive of at most readBufferSize() bytes, appended to `buffer`; the count received.
    std::int32_t readData(ByteBuffer* buffer);
    void writeData(const void* bytes, std::size_t length);
    void writeData(const Bytes& block) { writeData(block.data(), block.size()); }
    void writeString(std::string_view text);

    // Waits up to `timeoutMilliseconds` until a read would not block (data, or the peer gone).
    bool waitUntilReadable(int timeoutMilliseconds);
    bool isReadable();
    bool isWritable();
    void setBlocking(bool blocking);

    // `address` is an IPv4 address in network byte order, 0 for any local address.
    void bindTo(std::uint32_t address, std::uint16_t port);
    void listenOnPort(std::uint16_t port);
    void listenOnPort(std::uint16_t port, std::uint32_t maxPendingConnections);
    // Turns this listening socket into the accepted connection.
    void acceptConnection();

    void close();
    // Wakes a thread blocked in a receive on this socket: both directions are shut down, so
    // the receive returns as if the peer had closed. With the close lock on it may be called
    // from another thread: the descriptor cannot be closed under it.
    void interrupt();

protected:
    // Checks shared by accept's two forms; returns the accepted descriptor and peer address.
    int acceptDescriptor(sockaddr_in& peer);
    void requireOpenAndConnected() const;
    CloseLock closeLock() const { return lock_ ? CloseLock::On : CloseLock::Off; }

private:
    bool poll(bool forWriting);
    void connectWithin(const sockaddr_in& address, int timeoutMilliseconds);

    bool connected_ = false;
    bool listening_ = false;
    std::unique_ptr<std::uint8_t[]> readBuffer_;
    std::uint32_t readBufferSize_ = 4096;
    std::optional<std::string> remoteHostName_;
    std::uint16_t remotePort_ = 0;
    int socketfd_ = -1;
    SSL* ssl_ = nullptr;               // a TLS connection's state, none for plain TCP
    std::unique_ptr<std::mutex> lock_; // none without the close lock
};

} // namespace net
