#include "recorder/engine/FrameHeader.h"
#include "recorder/engine/SilenceCut.h"
#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace recorder;
using testsupport::Stretch;

namespace {

const std::uint8_t* bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(SilenceCut, CutLandsOnAFrameBoundaryInsideTheSilence) {
    testsupport::TempDir dir;
    // 128 kbit/s is 16000 bytes a second: the silence lies at bytes 8000 to 12800 of the file.
    const std::string mp3 = testsupport::encodeMp3({{0.5, 440}, {0.3, 0}, {0.5, 660}}, 128, dir.path());
    ASSERT_GT(mp3.size(), 20000u);
    for (const std::size_t start : {1000u, 2345u, 3000u}) {
        SCOPED_TRACE(start);
        const std::string block = mp3.substr(start, 16000);
        std::uint32_t cut = 0;
        ASSERT_EQ(findsep_silence(bytes(block), std::int32_t(block.size()), &cut), 0);
        // Inside the silence, give or take a frame: the quiet sample is mapped to bytes by the
        // block's average ratio, and the encoder delays the audio by about a frame.
        EXPECT_GE(start + cut, 8000u - 418);
        EXPECT_LE(start + cut, 12800u + 2 * 418);
        std::int32_t next = -1;
        ASSERT_EQ(mpeg_find_first_header(bytes(block) + cut, std::int32_t(block.size() - cut), 3, &next), 0);
        EXPECT_EQ(next, 0) << "the cut is not on a frame boundary";
    }
}

TEST(SilenceCut, ResultCodes) {
    testsupport::TempDir dir;
    std::uint32_t cut = 1;
    const std::string zeros(16000, '\0');
    EXPECT_EQ(findsep_silence(bytes(zeros), 16000, &cut), CUT_NO_HEADERS);
    EXPECT_EQ(cut, 0u);

    // Digital silence decodes to samples that never start the count: no samples, the cut at the end.
    const std::string silence = testsupport::encodeMp3({{1.0, 0}}, 128, dir.path()).substr(0, 8000);
    cut = 1;
    EXPECT_EQ(findsep_silence(bytes(silence), 8000, &cut), 0);
    EXPECT_EQ(cut, 8000u);

    // Garbage after a real run of frames: the decoder re-synchronises or stops, never runs away.
    std::string mixed = testsupport::encodeMp3({{0.3, 440}}, 128, dir.path()).substr(0, 4000);
    mixed += std::string(3000, '\xFF') + mixed;
    EXPECT_EQ(findsep_silence(bytes(mixed), std::int32_t(mixed.size()), &cut), 0);
    EXPECT_LE(cut, mixed.size());
}

TEST(SilenceCut, MonoMixTruncatesTowardZero) {
    std::vector<std::int16_t> pcm{3, -4, 5, 6, -7, -8, 9};
    std::uint32_t m = 0;
    convert_to_mono(&pcm, 7, &m);
    EXPECT_EQ(m, 3u);
    EXPECT_EQ(pcm, (std::vector<std::int16_t>{0, 5, -7, 0, 0, 0, 0}));
}

TEST(SilenceCut, FindSilenceArithmetic) {
    // 1999 samples: windows of one sample, centre t + 1: the index after the quietest sample.
    std::vector<std::int16_t> loud(1999, 1000);
    loud[700] = 0;
    loud[701] = 500;
    EXPECT_EQ(find_silence(loud.data(), 1999, 1000), 701);

    // 2500 samples: windows of two, 1250 of them; the first of two equally quiet windows wins,
    // and the scan from its centre takes the most negative sample, not the one nearest zero.
    std::vector<std::int16_t> s(2500, 3000);
    s[1000] = s[1001] = 0; // window 500, centre 1001
    s[1002] = -3;          // in the scan after the centre
    s[2000] = s[2001] = 0; // an equally quiet later window
    EXPECT_EQ(find_silence(s.data(), 2500, 1000), 1002);

    // Equal lowest samples in the scan: the earlier index.
    std::vector<std::int16_t> ties(3000, 5000);
    for (int i = 1500; i < 1505; ++i)
        ties[i] = -1; // window 500 is the quietest, centre 1502; the scan sees -1 three times
    EXPECT_EQ(find_silence(ties.data(), 3000, 1000), 1502);

    // Too few samples for a window.
    EXPECT_EQ(find_silence(loud.data(), 999, 1000), 0);

    // Quietest in the last window with positive samples after it: the scan reads zeros past m.
    std::vector<std::int16_t> tail(2000, 4000);
    tail[1998] = tail[1999] = 1;
    EXPECT_EQ(find_silence(tail.data(), 2000, 1000), 2000);
}

} // namespace
