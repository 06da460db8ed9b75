#include "net/BufferedSocket.h"
#include "net/Socket.h"
#include "tests/support/ExpectException.h"
#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

using net::ByteBuffer;
using net::Socket;
using testsupport::expectException;
using testsupport::LoopbackServer;

namespace {

std::unique_ptr<Socket> connectedTo(std::uint16_t port) {
    auto socket = Socket::socket();
    socket->connectToHostName("127.0.0.1", port);
    return socket;
}

std::unique_ptr<Socket> closedSocket() {
    auto socket = Socket::socket();
    socket->close();
    return socket;
}

// A port on which nothing listens: bound by a socket that is then closed.
std::uint16_t unusedPort() {
    Socket probe;
    probe.bindTo(htonl(INADDR_LOOPBACK), 0);
    return probe.localPort();
}

struct FailureCase {
    const char* what;
    std::function<std::unique_ptr<Socket>()> make;
    std::function<void(Socket&)> operation;
    const char* name;
    const char* reason; // "*" at the end: the reason starts so
};

TEST(Socket, FailuresCarryTheirNameAndReasonInCheckOrder) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); }, 1);
    auto connected = [&] { return connectedTo(server.port()); };
    auto fresh = [] { return Socket::socket(); };
    const std::uint16_t nobody = unusedPort();
    ByteBuffer buffer;

    const FailureCase cases[] = {
        {"read without a buffer comes first", closedSocket, [](Socket& s) { s.readData(nullptr); },
         "Socket: Invalid buffer", "Socket: Invalid buffer"},
        {"read on a closed socket", closedSocket, [&](Socket& s) { s.readData(&buffer); },
         "Socket: Bad socket descriptor", "Socket: Bad socket descriptor"},
        {"read before connecting", fresh, [&](Socket& s) { s.readData(&buffer); }, "Socket: Not connected",
         "Socket: Not connected"},
        {"write on a closed socket", closedSocket, [](Socket& s) { s.writeString("x"); },
         "Socket: Bad socket descriptor", "Socket: Bad socket descriptor"},
        {"write before connecting", fresh, [](Socket& s) { s.writeString("x"); }, "Socket: Not connected",
         "Socket: Not connected"},
        {"poll on a closed socket", closedSocket, [](Socket& s) { s.isReadable(); }, "Socket: Bad socket descriptor",
         "Socket: Bad socket descriptor"},
        {"poll before connecting", fresh, [](Socket& s) { s.isWritable(); }, "Socket: Not connected",
         "Socket: Not connected"},
        {"connect on a closed socket", closedSocket, [](Socket& s) { s.connectToHostName("127.0.0.1", 1); },
         "Socket: Bad socket descriptor", "Socket: Bad socket descriptor"},
        // The host does not resolve: the check must come before any lookup.
        {"connect when connected", connected, [](Socket& s) { s.connectToHostName("no-such-host.invalid", 1); },
         "Socket: Already connected", "Socket: Already connected"},
        {"connect to a name that does not resolve", fresh,
         [](Socket& s) { s.connectToHostName("no-such-host.invalid", 80); }, "Socket: Host not found",
         "Socket: Host not found: *"},
        {"connect refused", fresh, [&](Socket& s) { s.connectToHostName("127.0.0.1", nobody); },
         "Socket: Connect failed", "Socket: Connect failed: Connection refused"},
        {"accept on a closed socket", closedSocket, [](Socket& s) { s.acceptConnection(); },
         "Socket: Bad socket descriptor", "Socket: Bad socket descriptor"},
        {"accept when connected", connected, [](Socket& s) { s.acceptConnectionAndKeepListening(); },
         "Socket: Already connected", "Socket: Already connected"},
        {"accept without listening", fresh, [](Socket& s) { s.acceptConnection(); }, "Socket: Not listening",
         "Socket: Not listening"},
        {"fcntl on a closed socket", closedSocket, [](Socket& s) { s.setBlocking(false); }, "Socket: Fcntl failed",
         "Socket: Fcntl failed: Bad file descriptor"},
        {"bind to a port in use", fresh, [&](Socket& s) { s.bindTo(htonl(INADDR_LOOPBACK), server.port()); },
         "Socket: Bind failed", "Socket: Bind failed: Address already in use"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto socket = c.make();
        expectException([&] { c.operation(*socket); }, c.name, c.reason);
    }
}

TEST(Socket, HostNotFoundCarriesTheResolverText) {
    Socket socket;
    try {
        socket.connectToHostName("no-such-host.invalid", 80);
        FAIL() << "connected to a host that does not exist";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.reason().find("Success"), std::string::npos) << e.reason();
        EXPECT_GT(e.reason().size(), std::string("Socket: Host not found: ").size());
    }
}

TEST(Socket, PeerCloseReturnsZeroClosesAndTheNextReadFails) {
    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, "hello"); });
    auto socket = connectedTo(server.port());
    EXPECT_EQ(socket->remoteHostName(), "127.0.0.1");
    EXPECT_EQ(socket->remotePort(), server.port());
    ByteBuffer buffer;
    std::int32_t total = 0, n;
    while ((n = socket->readData(&buffer)) > 0)
        total += n;
    EXPECT_EQ(total, 5);
    EXPECT_EQ(std::string(buffer.data(), buffer.data() + buffer.length()), "hello");
    EXPECT_FALSE(socket->isConnected());
    EXPECT_EQ(socket->socketfd(), -1);
    EXPECT_FALSE(socket->remoteHostName().has_value());
    EXPECT_EQ(socket->remotePort(), 0);
    expectException([&] { socket->readData(&buffer); }, "Socket: Bad socket descriptor", "");
    socket->close();         // a second close is harmless
    socket->writeString(""); // an empty string sends and checks nothing, even when closed
}

TEST(Socket, NonBlockingReadWithNothingToReadStaysConnected) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    auto socket = connectedTo(server.port());
    EXPECT_FALSE(socket->isReadable());
    EXPECT_TRUE(socket->isWritable());
    socket->setBlocking(false);
    ByteBuffer buffer;
    EXPECT_EQ(socket->readData(&buffer), 0);
    EXPECT_TRUE(socket->isConnected());
    EXPECT_TRUE(buffer.empty());
    socket->setBlocking(true);
    socket->close();
}

TEST(Socket, WriteToAVanishedPeerIsASendFailureNotASignal) {
    LoopbackServer server([](int) {}); // closes at once
    auto socket = connectedTo(server.port());
    server.join();
    const std::string block(1 << 16, 'x');
    try {
        for (int i = 0; i < 200; ++i) // the first sends may still be taken by the kernel
            socket->writeString(block);
        FAIL() << "writing to a closed peer never failed";
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), "Socket: Send failed");
        EXPECT_EQ(e.reason().rfind("Socket: Send failed: ", 0), 0u) << e.reason();
    }
}

TEST(Socket, AcceptConnectionTurnsTheListenerIntoTheConnection) {
    Socket listener;
    listener.listenOnPort(0);
    EXPECT_TRUE(listener.isListening());
    const std::uint16_t port = listener.localPort();
    ASSERT_NE(port, 0);
    std::thread client([port] {
        auto s = connectedTo(port);
        s->writeString("ping");
    });
    listener.acceptConnection();
    client.join();
    EXPECT_TRUE(listener.isConnected());
    EXPECT_FALSE(listener.isListening());
    EXPECT_EQ(listener.remoteHostName(), "127.0.0.1");
    EXPECT_NE(listener.remotePort(), 0);
    ByteBuffer buffer;
    while (listener.readData(&buffer) > 0) {
    }
    EXPECT_EQ(std::string(buffer.data(), buffer.data() + buffer.length()), "ping");
}

TEST(Socket, AcceptAndKeepListeningMakesTheReceiversOwnClass) {
    auto check = [](Socket& listener, bool buffered) {
        listener.listenOnPort(0);
        const std::uint16_t port = listener.localPort();
        for (int i = 0; i < 2; ++i) {
            std::thread client([port] { connectedTo(port); });
            auto accepted = listener.acceptConnectionAndKeepListening();
            client.join();
            ASSERT_TRUE(accepted);
            EXPECT_TRUE(accepted->isConnected());
            EXPECT_EQ(accepted->remoteHostName(), "127.0.0.1");
            EXPECT_EQ(dynamic_cast<net::BufferedSocket*>(accepted.get()) != nullptr, buffered);
            EXPECT_TRUE(listener.isListening());
        }
    };
    Socket plain;
    check(plain, false);
    net::BufferedSocket buffered;
    check(buffered, true);
}

} // namespace

namespace {

// Aircask stops a recording by interrupting its socket from the main thread while the worker
// is blocked in a receive; the worker's read then ends as if the station had closed.
TEST(Socket, InterruptWakesABlockedReaderFromAnotherThread) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    Socket socket(net::CloseLock::On);
    socket.connectToHostName("127.0.0.1", server.port());
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        socket.interrupt();
    });
    ByteBuffer buffer;
    EXPECT_EQ(socket.readData(&buffer), 0);
    stopper.join();
    EXPECT_FALSE(socket.isConnected());
}

TEST(Socket, ConnectWithATimeLimit) {
    LoopbackServer server([](int) {});
    Socket socket;
    socket.connectToHostName("127.0.0.1", server.port(), 2000);
    EXPECT_TRUE(socket.isConnected());
    EXPECT_TRUE(socket.waitUntilReadable(2000)); // the server closes: readable at once
    Socket refused;
    expectException([&] { refused.connectToHostName("127.0.0.1", unusedPort(), 2000); }, "Socket: Connect failed",
                    "Socket: Connect failed: Connection refused");
}

} // namespace
