#include "recorder/engine/OverlapTrimmer.h"

#include <gtest/gtest.h>

#include <random>

using recorder::OverlapTrimmer;

namespace {

std::string noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Passes `bytes` in pieces of `piece` bytes, as blocks arrive.
std::string passAll(OverlapTrimmer& trimmer, const std::string& bytes, std::size_t piece) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::string part = bytes.substr(at, piece);
        out += trimmer.pass(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
    }
    return out;
}

TEST(OverlapTrimmer, TheRepeatedBurstGoesOnceAndNothingElse) {
    const std::string before = noise(300000, 1), after = noise(50000, 2);
    struct Case {
        const char* what;
        std::string second; // what the new connection sends
        std::string expected;
        std::size_t piece;
    } cases[] = {
        {"a burst of the last 64 KiB", before.substr(before.size() - 65536) + after, after, 8000},
        {"a burst of one byte less than the tail", before.substr(before.size() - OverlapTrimmer::tailBytes + 1) + after,
         after, 16000},
        {"no burst", after, after, 8000},
        {"audio that only starts like the tail", before.substr(before.size() - 10000, 5000) + after,
         before.substr(before.size() - 10000, 5000) + after, 1000},
        {"a burst in one-byte pieces", before.substr(before.size() - 5000) + after.substr(0, 9000), after.substr(0, 9000),
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OverlapTrimmer trimmer;
        EXPECT_TRUE(passAll(trimmer, before, 16000) == before) << "the first connection passes whole";
        trimmer.reconnected();
        std::string out = passAll(trimmer, c.second, c.piece);
        out += trimmer.flush();
        EXPECT_EQ(out.size(), c.expected.size());
        EXPECT_TRUE(out == c.expected);
    }
}

TEST(OverlapTrimmer, AConnectionThatEndsWhileUndecided) {
    const std::string before = noise(100000, 3);
    OverlapTrimmer trimmer;
    passAll(trimmer, before, 4096);
    trimmer.reconnected();
    // 3000 bytes of the tail's end: fewer than a probe, the flush decides on what came.
    const std::string burst = before.substr(before.size() - 3000);
    EXPECT_EQ(passAll(trimmer, burst, 1000), "");
    EXPECT_EQ(trimmer.flush(), "");
    // 3000 new bytes: nothing like the tail, all of it passes at the flush.
    trimmer.reconnected();
    const std::string fresh = noise(3000, 4);
    EXPECT_EQ(passAll(trimmer, fresh, 1000), "");
    EXPECT_TRUE(trimmer.flush() == fresh);
}

} // namespace
