#include "net/ZNBufferedSocket.h"
#include "tests/support/ExpectException.h"
#include "tests/support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using net::ZNBufferedSocket;
using testsupport::expectException;
using testsupport::LoopbackServer;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

TEST(ZNBufferedSocket, ZeroTimeoutNeitherTriesNorRaises) {
    ZNBufferedSocket socket; // not connected: a real try would raise "Not connected"
    EXPECT_FALSE(socket.readData(10).has_value());
    EXPECT_FALSE(socket.readStringUpToString("\r\n").has_value());
    socket.connectToHostName("no-such-host.invalid", 80); // untried, so no lookup failure
    EXPECT_FALSE(socket.isConnected());
    socket.setTimeout(-1);
    EXPECT_FALSE(socket.readData(1).has_value());
}

TEST(ZNBufferedSocket, NonBlockingReadGivesUpAtTheLimit) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); });
    ZNBufferedSocket socket;
    socket.setTimeout(1.0);
    socket.connectToHostName("127.0.0.1", server.port());
    socket.setBlocking(false);
    const auto start = Clock::now();
    expectException([&] { socket.readStringUpToString("\r\n\r\n"); }, "ZNSocket: Timeout waiting for data",
                    "ZNSocket: Timeout waiting for data");
    EXPECT_GE(secondsSince(start), 0.9);
    socket.close();
}

TEST(ZNBufferedSocket, DataArrivingDuringTheWaitIsReturned) {
    LoopbackServer server([](int fd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        LoopbackServer::sendAll(fd, "late data");
        LoopbackServer::readAll(fd);
    });
    ZNBufferedSocket socket;
    socket.setTimeout(10.0);
    socket.connectToHostName("127.0.0.1", server.port());
    socket.setBlocking(false);
    auto block = socket.readData(9);
    ASSERT_TRUE(block);
    EXPECT_EQ(std::string(block->begin(), block->end()), "late data");
    socket.close();
}

TEST(ZNBufferedSocket, PeerCloseDuringATimedReadIsABadDescriptor) {
    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, "ab"); });
    ZNBufferedSocket socket;
    socket.setTimeout(5.0);
    socket.connectToHostName("127.0.0.1", server.port());
    expectException([&] { socket.readData(5); }, "Socket: Bad socket descriptor", "");
    EXPECT_EQ(socket.buffer().length(), 2u);
}

TEST(ZNBufferedSocket, ConnectFailuresPassThroughAndAcceptKeepsTheClass) {
    ZNBufferedSocket refused;
    refused.setTimeout(2.0);
    expectException([&] { refused.connectToHostName("no-such-host.invalid", 80); }, "Socket: Host not found", "");

    ZNBufferedSocket listener;
    listener.listenOnPort(0);
    const auto port = listener.localPort();
    std::thread client([port] {
        ZNBufferedSocket s;
        s.setTimeout(2.0);
        s.connectToHostName("127.0.0.1", port);
    });
    auto accepted = listener.acceptConnectionAndKeepListening();
    client.join();
    EXPECT_NE(dynamic_cast<ZNBufferedSocket*>(accepted.get()), nullptr);
}

} // namespace
