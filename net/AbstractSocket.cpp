#include "net/AbstractSocket.h"

#include "platform/core/Exception.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <new>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {
namespace {

[[noreturn]] void raise(const std::string& name) { throw platform::Exception(name); }

// Raises `name` with the system's text for the error number of the failed call.
[[noreturn]] void raiseWithError(const std::string& name, int error) {
    throw platform::Exception(name, name + ": " + std::strerror(error));
}

// One TLS context for the program: the system's trust store, and the extra CA file a test may
// name. Made once; OpenSSL's contexts may be shared between threads.
SSL_CTX* tlsContext() {
    static SSL_CTX* context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (!made)
            return made;
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_default_verify_paths(made);
        if (const char* extra = std::getenv("AIRCASK_EXTRA_CA_FILE"); extra && *extra)
            SSL_CTX_load_verify_locations(made, extra, nullptr);
        // A server that drops the connection without a close notify has ended the stream, as a
        // plain connection's close does.
        SSL_CTX_set_options(made, SSL_OP_IGNORE_UNEXPECTED_EOF);
        // OpenSSL writes with write(), which a peer that has gone away answers with SIGPIPE:
        // that must be a send failure, not the end of the program.
        std::signal(SIGPIPE, SIG_IGN);
        return made;
    }();
    return context;
}

std::string tlsErrorText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "the connection ended during the handshake";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

namespace {

std::unique_ptr<std::mutex> makeLock(CloseLock closeLock) {
    return closeLock == CloseLock::On ? std::make_unique<std::mutex>() : nullptr;
}

// Holds the socket's close lock, when it has one, for the rest of the scope.
class OptionalLockGuard {
public:
    explicit OptionalLockGuard(std::mutex* mutex) : mutex_(mutex) {
        if (mutex_)
            mutex_->lock();
    }
    ~OptionalLockGuard() {
        if (mutex_)
            mutex_->unlock();
    }
    OptionalLockGuard(const OptionalLockGuard&) = delete;
    OptionalLockGuard& operator=(const OptionalLockGuard&) = delete;

private:
    std::mutex* mutex_;
};

} // namespace

AbstractSocket::AbstractSocket(CloseLock closeLock) : lock_(makeLock(closeLock)) {
    socketfd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketfd_ == -1)
        raiseWithError("Socket: Can't create socket", errno);
    try {
        allocReadBuffer();
    } catch (...) {
        ::close(socketfd_);
        throw;
    }
}

AbstractSocket::AbstractSocket(int fd, const sockaddr_in& remote, CloseLock closeLock)
    : connected_(true), remoteHostName_(dottedIPFromAddress(remote.sin_addr)), remotePort_(ntohs(remote.sin_port)),
      socketfd_(fd), lock_(makeLock(closeLock)) {
    allocReadBuffer();
}

AbstractSocket::~AbstractSocket() { close(); }

std::string AbstractSocket::dottedIPFromAddress(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

void AbstractSocket::allocReadBuffer() {
    if (readBuffer_)
        return;
    readBuffer_.reset(new (std::nothrow) std::uint8_t[readBufferSize_ ? readBufferSize_ : 1]);
    if (!readBuffer_)
        raise("Socket: Malloc failed");
}

void AbstractSocket::setReadBufferSize(std::uint32_t size) {
    readBufferSize_ = size;
    readBuffer_.reset();
    allocReadBuffer();
}

std::uint16_t AbstractSocket::localPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (socketfd_ == -1 || ::getsockname(socketfd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void AbstractSocket::connectToHostName(const std::string& host, std::uint16_t port) {
    connectToHostName(host, port, -1);
}

void AbstractSocket::connectToHostName(const std::string& host, std::uint16_t port, int timeoutMilliseconds) {
    if (socketfd_ == -1)
        raise("Socket: Bad socket descriptor");
    if (connected_)
        raise("Socket: Already connected");

    // getaddrinfo is thread-safe, unlike the old resolver. It does not report through errno,
    // so the reason carries its own text.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || !found) {
        const int error = errno;
        if (found)
            ::freeaddrinfo(found);
        const std::string text = status == EAI_SYSTEM ? std::strerror(error) : ::gai_strerror(status);
        throw platform::Exception("Socket: Host not found", "Socket: Host not found: " + text);
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, std::min<std::size_t>(found->ai_addrlen, sizeof address));
    ::freeaddrinfo(found);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);

    if (timeoutMilliseconds < 0) {
        int result;
        do {
            result = ::connect(socketfd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        } while (result == -1 && errno == EINTR);
        if (result == -1)
            raiseWithError("Socket: Connect failed", errno);
    } else {
        connectWithin(address, timeoutMilliseconds);
    }

    remoteHostName_ = host;
    remotePort_ = port;
    connected_ = true;
}

void AbstractSocket::connectWithin(const sockaddr_in& address, int timeoutMilliseconds) {
    const int flags = ::fcntl(socketfd_, F_GETFL);
    ::fcntl(socketfd_, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (::connect(socketfd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd p{socketfd_, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&p, 1, timeoutMilliseconds);
            } while (ready == -1 && errno == EINTR);
            if (ready == 0) {
                ::fcntl(socketfd_, F_SETFL, flags);
                raiseWithError("Socket: Connect timed out", ETIMEDOUT);
            }
            socklen_t length = sizeof error;
            ::getsockopt(socketfd_, SOL_SOCKET, SO_ERROR, &error, &length);
        }
    }
    ::fcntl(socketfd_, F_SETFL, flags);
    if (error != 0)
        raiseWithError("Socket: Connect failed", error);
}

void AbstractSocket::startTls(const std::string& host, int timeoutMilliseconds) {
    requireOpenAndConnected();
    SSL_CTX* context = tlsContext();
    SSL* ssl = context ? SSL_new(context) : nullptr;
    if (!ssl)
        throw platform::Exception("TLS: Handshake failed", "TLS could not start: " + tlsErrorText());
    SSL_set_fd(ssl, socketfd_);
    // The certificate must name the host: its address, for an address; its name otherwise.
    in_addr literal{};
    if (::inet_pton(AF_INET, host.c_str(), &literal) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(ssl, host.c_str());
    }
    // The handshake's reads and writes give up after the time limit.
    if (timeoutMilliseconds > 0) {
        timeval limit{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
        ::setsockopt(socketfd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(socketfd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    ERR_clear_error();
    if (SSL_connect(ssl) != 1) {
        const long verified = SSL_get_verify_result(ssl);
        const std::string problem = tlsErrorText();
        SSL_free(ssl);
        if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH)
            throw platform::Exception("TLS: Certificate not trusted",
                                      "The certificate of " + host + " was made out for another host name");
        if (verified != X509_V_OK)
            throw platform::Exception("TLS: Certificate not trusted", "The certificate of " + host +
                                                                          " is not trusted: " +
                                                                          X509_verify_cert_error_string(verified));
        throw platform::Exception("TLS: Handshake failed", "No secure connection to " + host + ": " + problem);
    }
    timeval none{};
    ::setsockopt(socketfd_, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
    OptionalLockGuard guard(lock_.get());
    ssl_ = ssl;
}

bool AbstractSocket::waitUntilReadable(int timeoutMilliseconds) {
    requireOpenAndConnected();
    // TLS may hold bytes already decrypted that no poll of the descriptor would show.
    if (ssl_ && SSL_pending(ssl_) > 0)
        return true;
    pollfd p{socketfd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeoutMilliseconds);
    } while (ready == -1 && errno == EINTR);
    if (ready == -1)
        raiseWithError("Socket: Select failed", errno);
    return ready > 0;
}

void AbstractSocket::requireOpenAndConnected() const {
    if (socketfd_ == -1)
        raise("Socket: Bad socket descriptor");
    if (!connected_)
        raise("Socket: Not connected");
}

std::int32_t AbstractSocket::readData(ByteBuffer* buffer) {
    if (!buffer)
        raise("Socket: Invalid buffer");
    requireOpenAndConnected();
    // Received straight into the caller's buffer: the same bytes as receiving into the
    // receive area and appending them, without the copy.
    std::uint8_t* tail = buffer->prepareTail(readBufferSize_);
    if (ssl_) {
        ERR_clear_error();
        const int got = SSL_read(ssl_, tail, static_cast<int>(readBufferSize_));
        if (got > 0) {
            buffer->commitTail(static_cast<std::size_t>(got));
            return got;
        }
        const int error = SSL_get_error(ssl_, got);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return 0; // the receive time limit passed: still open
        if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && errno == 0) ||
            (error == SSL_ERROR_SSL && ERR_peek_error() == 0)) {
            close();
            return 0;
        }
        if (error == SSL_ERROR_SYSCALL)
            raiseWithError("Socket: Recv failed", errno);
        throw platform::Exception("Socket: Recv failed", "Socket: Recv failed: " + tlsErrorText());
    }
    ssize_t received;
    do {
        received = ::recv(socketfd_, tail, readBufferSize_, 0);
    } while (received == -1 && errno == EINTR);
    if (received > 0) {
        buffer->commitTail(static_cast<std::size_t>(received));
        return static_cast<std::int32_t>(received);
    }
    if (received == 0) {
        close();
        return 0;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        return 0;
    raiseWithError("Socket: Recv failed", errno);
}

void AbstractSocket::writeData(const void* bytes, std::size_t length) {
    requireOpenAndConnected();
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t sent = 0;
    if (ssl_) {
        while (sent < length) {
            ERR_clear_error();
            const int n = SSL_write(ssl_, p + sent, static_cast<int>(std::min<std::size_t>(length - sent, 1 << 30)));
            if (n <= 0)
                throw platform::Exception("Socket: Send failed", "Socket: Send failed: " + tlsErrorText());
            sent += static_cast<std::size_t>(n);
        }
        return;
    }
    while (sent < length) {
        // MSG_NOSIGNAL: a peer that has gone away is a send failure, not the end of the process.
        const ssize_t n = ::send(socketfd_, p + sent, length - sent, MSG_NOSIGNAL);
        if (n == -1) {
            if (errno == EINTR)
                continue;
            raiseWithError("Socket: Send failed", errno);
        }
        sent += static_cast<std::size_t>(n);
    }
}

void AbstractSocket::writeString(std::string_view text) {
    if (text.empty())
        return;
    writeData(text.data(), text.size());
}

bool AbstractSocket::poll(bool forWriting) {
    requireOpenAndConnected();
    if (socketfd_ >= FD_SETSIZE) // select cannot watch it; a set beyond its size would be memory corruption
        raiseWithError("Socket: Select failed", EBADF);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socketfd_, &set);
    timeval zero{0, 0};
    const int ready = ::select(socketfd_ + 1, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr, &zero);
    if (ready == -1)
        raiseWithError("Socket: Select failed", errno);
    return ready == 1;
}

bool AbstractSocket::isReadable() { return poll(false); }
bool AbstractSocket::isWritable() { return poll(true); }

void AbstractSocket::setBlocking(bool blocking) {
    const int flags = ::fcntl(socketfd_, F_GETFL);
    if (flags == -1)
        raiseWithError("Socket: Fcntl failed", errno);
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (::fcntl(socketfd_, F_SETFL, wanted) == -1)
        raiseWithError("Socket: Fcntl failed", errno);
}

void AbstractSocket::bindTo(std::uint32_t address, std::uint16_t port) {
    const int yes = 1;
    if (::setsockopt(socketfd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == -1)
        raiseWithError("Socket: Setsockopt failed", errno);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = address;
    local.sin_port = htons(port);
    if (::bind(socketfd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == -1)
        raiseWithError("Socket: Bind failed", errno);
}

void AbstractSocket::listenOnPort(std::uint16_t port) { listenOnPort(port, 5); }

void AbstractSocket::listenOnPort(std::uint16_t port, std::uint32_t maxPendingConnections) {
    bindTo(0, port);
    if (::listen(socketfd_, static_cast<int>(maxPendingConnections)) == -1)
        raiseWithError("Socket: Listen failed", errno);
    listening_ = true;
}

int AbstractSocket::acceptDescriptor(sockaddr_in& peer) {
    if (socketfd_ == -1)
        raise("Socket: Bad socket descriptor");
    if (connected_)
        raise("Socket: Already connected");
    if (!listening_)
        raise("Socket: Not listening");
    socklen_t length = sizeof peer;
    int fd;
    do {
        fd = ::accept4(socketfd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1)
        raiseWithError("Socket: Accept failed", errno);
    return fd;
}

void AbstractSocket::acceptConnection() {
    sockaddr_in peer{};
    const int fd = acceptDescriptor(peer);
    close();
    remotePort_ = ntohs(peer.sin_port);
    remoteHostName_ = dottedIPFromAddress(peer.sin_addr);
    socketfd_ = fd;
    connected_ = true;
    listening_ = false;
}

void AbstractSocket::close() {
    OptionalLockGuard guard(lock_.get());
    if (ssl_) {
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (socketfd_ != -1) {
        ::close(socketfd_);
        socketfd_ = -1;
    }
    remoteHostName_.reset();
    connected_ = false;
    listening_ = false;
    remotePort_ = 0;
}

void AbstractSocket::interrupt() {
    OptionalLockGuard guard(lock_.get());
    if (socketfd_ != -1)
        ::shutdown(socketfd_, SHUT_RDWR);
}

} // namespace net
