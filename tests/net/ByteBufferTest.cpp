#include "net/ByteBuffer.h"
#include "tests/support/ExpectException.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

using net::ByteBuffer;
using net::Bytes;
using testsupport::expectException;

namespace {

Bytes bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
std::string contents(const ByteBuffer& b) { return std::string(b.data(), b.data() + b.length()); }

TEST(ByteBuffer, GetBytesTooManyRaisesAndLeavesTheBufferAlone) {
    ByteBuffer buffer("abc");
    expectException([&] { buffer.getBytes(4); }, "not enough data",
                    "trying to get 4 bytes, only 3 bytes in data object");
    expectException([&] { buffer.getBytes(-1); }, "not enough data", "");
    EXPECT_EQ(contents(buffer), "abc");
    EXPECT_EQ(buffer.getBytes(3), bytes("abc"));
    EXPECT_TRUE(buffer.empty());
}

TEST(ByteBuffer, DelimitedRemoval) {
    ByteBuffer buffer("GET / HTTP/1.0\r\n\r\nrest");
    expectException([&] { buffer.getBytesUpToString("\n\n"); }, "pattern not found",
                    "NSMutableData object dos not contain the requested pattern");
    EXPECT_EQ(buffer.getBytesUpToString("\r\n\r\n"), bytes("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(contents(buffer), "rest");
}

TEST(ByteBuffer, SearchTable) {
    struct Case {
        const char* buffer;
        const char* pattern;
        std::int32_t index;
    } cases[] = {
        {"hello", "l", 2},
        {"hello", "lo", 3},
        {"hello", "hello", 0},
        {"hello", "hello!", -1},
        {"abc\r\n\r", "\r\n\r\n", -1}, // only partly fits at the end
        {"aab", "ab", 1},
        {"", "a", -1},
        {"xyz", "q", -1},
        {"a\r\n\r\n", "\r\n\r\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.buffer) + " / " + c.pattern);
        ByteBuffer buffer(c.buffer);
        EXPECT_EQ(buffer.indexOfData(bytes(c.pattern)), c.index);
        EXPECT_EQ(buffer.indexOfString(c.pattern), c.index);
        EXPECT_EQ(buffer.containsData(bytes(c.pattern)), c.index != -1);
    }
    ByteBuffer buffer("ab");
    EXPECT_EQ(buffer.indexOfString(std::string_view("b\0a", 3)), 1); // the string ends at its zero byte
}

// Many small appends and front removals, checked against a plain queue of bytes.
TEST(ByteBuffer, BehavesLikeAQueueOfBytes) {
    ByteBuffer buffer;
    std::deque<std::uint8_t> model;
    std::mt19937 random(3);
    for (int round = 0; round < 20000; ++round) {
        if (random() % 2) {
            Bytes chunk(random() % 300);
            for (auto& b : chunk)
                b = static_cast<std::uint8_t>(random());
            buffer.append(chunk);
            model.insert(model.end(), chunk.begin(), chunk.end());
        } else {
            const auto n = static_cast<std::int32_t>(random() % (model.size() + 1));
            const Bytes got = buffer.getBytes(n);
            ASSERT_TRUE(std::equal(got.begin(), got.end(), model.begin()));
            model.erase(model.begin(), model.begin() + n);
        }
        ASSERT_EQ(buffer.length(), model.size());
    }
    EXPECT_TRUE(std::equal(model.begin(), model.end(), buffer.data()));
}

} // namespace
