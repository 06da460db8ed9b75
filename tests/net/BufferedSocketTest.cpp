#include "net/BufferedSocket.h"
#include "tests/support/ExpectException.h"
#include "tests/support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

using net::BufferedSocket;
using net::Bytes;
using testsupport::expectException;
using testsupport::LoopbackServer;

namespace {

std::string text(const std::optional<Bytes>& block) {
    return block ? std::string(block->begin(), block->end()) : "<none>";
}

std::unique_ptr<BufferedSocket> connectedTo(std::uint16_t port) {
    auto socket = BufferedSocket::bufferedSocket();
    socket->connectToHostName("127.0.0.1", port);
    return socket;
}

TEST(BufferedSocket, ZeroBytesNeedNoNetwork) {
    BufferedSocket unconnected; // any receive would raise "Not connected"
    auto block = unconnected.readData(0);
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->empty());
}

TEST(BufferedSocket, ExactReadsTakeFromOneReceiveInOrder) {
    LoopbackServer server([](int fd) {
        LoopbackServer::sendAll(fd, "abcdefgh");
        LoopbackServer::readAll(fd);
    });
    auto socket = connectedTo(server.port());
    EXPECT_EQ(text(socket->readData(3)), "abc");
    EXPECT_EQ(socket->buffer().length(), 5u); // the rest came with the same receive
    EXPECT_EQ(text(socket->readData(5)), "defgh");
    socket->close();
}

TEST(BufferedSocket, DelimiterSplitOverTwoReceives) {
    LoopbackServer server([](int fd) {
        LoopbackServer::sendAll(fd, "ICY 200 OK\r\nicy-metaint:8\r\n\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        LoopbackServer::sendAll(fd, "\nAUDIO");
        LoopbackServer::readAll(fd);
    });
    auto socket = connectedTo(server.port());
    EXPECT_EQ(socket->readStringUpToString("\r\n\r\n"), "ICY 200 OK\r\nicy-metaint:8\r\n\r\n");
    EXPECT_EQ(socket->readString(5), "AUDIO");
    socket->close();
}

TEST(BufferedSocket, PeerCloseMidReadKeepsThePartialBytes) {
    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, "only7by"); });
    auto socket = connectedTo(server.port());
    EXPECT_FALSE(socket->readData(10).has_value());
    EXPECT_EQ(socket->buffer().length(), 7u);
    EXPECT_FALSE(socket->isConnected());
    // What is buffered can still be read; more than that needs the closed socket.
    EXPECT_EQ(text(socket->readData(4)), "only");
    expectException([&] { socket->readData(4); }, "Socket: Bad socket descriptor", "Socket: Bad socket descriptor");
    EXPECT_EQ(socket->buffer().length(), 3u);
}

TEST(BufferedSocket, DelimitedReadThatNeverFindsItsDelimiterReturnsNone) {
    LoopbackServer server([](int fd) { LoopbackServer::sendAll(fd, "no end of header\r\n"); });
    auto socket = connectedTo(server.port());
    EXPECT_FALSE(socket->readStringUpToString("\r\n\r\n").has_value());
    EXPECT_EQ(socket->buffer().length(), 18u);
}

// Whatever sizes the network and the caller use, every byte comes out once and in order.
TEST(BufferedSocket, MixedReadSizesReassembleTheStreamExactly) {
    std::string sent;
    std::mt19937 random(7);
    for (int i = 0; i < (1 << 20); ++i)
        sent += static_cast<char>(random() & 0xff);
    LoopbackServer server([&](int fd) {
        std::mt19937 chunks(11);
        for (size_t at = 0; at < sent.size();) {
            const size_t n = std::min<size_t>(1 + chunks() % 9000, sent.size() - at);
            LoopbackServer::sendAll(fd, std::string_view(sent).substr(at, n));
            at += n;
        }
    });
    auto socket = connectedTo(server.port());
    std::string received;
    std::mt19937 sizes(13);
    while (received.size() < sent.size()) {
        const auto n = static_cast<std::int32_t>(std::min<size_t>(sizes() % 20000, sent.size() - received.size()));
        auto block = socket->readData(n);
        ASSERT_TRUE(block) << "stream ended after " << received.size() << " bytes";
        received.append(block->begin(), block->end());
    }
    EXPECT_TRUE(received == sent);
    EXPECT_FALSE(socket->readData(1).has_value());
}

} // namespace
