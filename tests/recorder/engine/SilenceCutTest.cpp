#include "recorder/engine/FrameHeader.h"
#include "recorder/engine/SilenceCut.h"
#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace recorder;
using testsupport::Stretch;

namespace {

const std::uint8_t* bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// 128 kbit/s is 16000 bytes a second. lame and the decoder delay the sound by about 1105
// samples (25 ms), so a stretch of the input lies that much later in the frames.
constexpr double bytesPerSecond = 16000;
constexpr double codecDelay = 1105.0 / 44100;

// Whether a frame of the file starts at `at`, following the frames from the file's start (the
// joint-stereo mode may change from frame to frame, so no run of equal headers is asked for).
bool onFrameBoundary(const std::string& mp3, std::uint32_t at) {
    std::uint32_t offset = 0;
    while (offset < at && offset + 4 <= mp3.size()) {
        frame_header header;
        if (get_header(bytes(mp3) + offset, &header) != 1 || !header_sane(&header))
            return false;
        offset += get_frame_size(&header);
    }
    return offset == at;
}

TEST(SilenceCut, TheCutLandsInTheGapWhereverTheTitleArrives) {
    struct Gap {
        const char* what;
        Stretch stretch;
    } gaps[] = {
        {"0.3 s of silence", {0.3, 0}},
        {"1.5 s of silence", {1.5, 0}},
        {"a quiet gap, not silent (-46 dB)", {0.8, 300, 0.005}},
    };
    // Where the title arrives, in seconds from the gap's start (the gap lasts g seconds).
    const double arrivals[] = {-4.0, -1.0, 0.1, 0.2, 0.6, 1.25, 3.0};
    testsupport::TempDir dir;
    for (const Gap& gap : gaps) {
        const double songA = 6.0, g = gap.stretch.seconds;
        const std::string mp3 = testsupport::encodeMp3({{songA, 440}, gap.stretch, {6.0, 660}}, 128, dir.path());
        const double gapStart = songA + codecDelay, gapEnd = songA + g + codecDelay;
        for (const double arrival : arrivals) {
            const double title = gapStart + (arrival < 0 || arrival > 0.2 ? arrival : arrival * g / 0.2);
            SCOPED_TRACE(std::string(gap.what) + ", title at " + std::to_string(title - gapStart) + " s from the gap");
            // The window: 5 s either side of the title (or from the start), after a pre-roll of 8 KiB.
            const auto titleAt = static_cast<std::uint32_t>(title * bytesPerSecond);
            const std::uint32_t windowStart = std::max<std::uint32_t>(titleAt, 5 * 16000 + 8192) - 5 * 16000;
            const std::uint32_t searchStart = windowStart - 8192;
            const std::uint32_t windowEnd = std::min<std::uint32_t>(titleAt + 5 * 16000, std::uint32_t(mp3.size()));
            std::uint32_t cut = 0;
            ASSERT_EQ(findsep_silence(bytes(mp3) + searchStart, windowEnd - searchStart, windowStart - searchStart,
                                      titleAt - searchStart, &cut),
                      0);
            const double at = (searchStart + cut) / bytesPerSecond;
            // In the gap, and with the sound of neither song within 100 ms of it where the gap
            // leaves that much room (a frame is 26 ms).
            const double room = std::min(0.1, g / 2 - 0.03);
            EXPECT_GE(at, gapStart + room) << "cut at " << at << " s, gap " << gapStart << "–" << gapEnd;
            EXPECT_LE(at, gapEnd - room) << "cut at " << at << " s, gap " << gapStart << "–" << gapEnd;
            EXPECT_TRUE(onFrameBoundary(mp3, searchStart + cut));
        }
    }
}

TEST(SilenceCut, WithNothingClearlyQuieterTheCutIsAtTheTitleChange) {
    testsupport::TempDir dir;
    struct Case {
        const char* what;
        std::vector<Stretch> signal;
    } cases[] = {
        // A crossfade: the old song fades under the new one, a dip of 6 dB and no gap.
        {"crossfade", {{6.0, 440}, {1.0, 550, 0.5}, {6.0, 660}}},
        // The gap lies outside the window (8 s before the title).
        {"gap outside the window", {{1.0, 440}, {0.5, 0}, {12.0, 660}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string mp3 = testsupport::encodeMp3(c.signal, 128, dir.path());
        const std::uint32_t titleAt = static_cast<std::uint32_t>(9.5 * bytesPerSecond);
        const std::uint32_t searchStart = titleAt - 5 * 16000 - 8192, from = 8192;
        std::uint32_t cut = 0;
        ASSERT_EQ(findsep_silence(bytes(mp3) + searchStart, 10 * 16000 + 8192, from, titleAt - searchStart, &cut),
                  CUT_NOT_QUIETER);
        // The first frame at or after the title change.
        EXPECT_GE(searchStart + cut, titleAt);
        EXPECT_LT(searchStart + cut, titleAt + 420);
        EXPECT_TRUE(onFrameBoundary(mp3, searchStart + cut));
    }
}

TEST(SilenceCut, FrameLevelsFollowTheSoundFrameByFrame) {
    // Levels come from continuous decoding: the silence is not dropped as "warm-up", and each
    // level belongs to the frame at its offset. The silence is decoded frame by frame; the tone,
    // far louder, may be sampled.
    testsupport::TempDir dir;
    const std::string mp3 = testsupport::encodeMp3({{1.0, 0}, {1.0, 440}, {1.0, 0}}, 128, dir.path());
    const auto levels = frameLevels(bytes(mp3) + 1000, std::uint32_t(mp3.size() - 1000));
    ASSERT_GT(levels.size(), 100u);
    for (std::size_t i = 1; i < levels.size(); ++i)
        ASSERT_GT(levels[i].offset, levels[i - 1].offset);
    for (const auto& f : levels) {
        const double t = (1000 + f.offset) / bytesPerSecond - codecDelay; // the input time of the frame
        if ((t > 0.1 && t < 0.9) || (t > 2.1 && t < 2.9)) {
            EXPECT_LE(f.level, -90) << "silence at " << t << " s";
            EXPECT_TRUE(f.measured) << "silence at " << t << " s";
        } else if (t > 1.1 && t < 1.9) {
            // A sine at 12000/32768 has an RMS level of -11.7 dB; the decoder's quarter-rate
            // synthesis takes a little off.
            EXPECT_NEAR(f.level, -12.5, 1.5) << "a tone at " << t << " s";
        }
    }
}

TEST(SilenceCut, ChoosingAmongLevels) {
    const auto levels = [](std::initializer_list<double> dbs) {
        std::vector<FrameLevel> result;
        std::uint32_t offset = 0;
        for (double db : dbs)
            result.push_back({offset += 100, db});
        return result;
    };
    struct Case {
        const char* what;
        std::vector<FrameLevel> levels;
        std::uint32_t from, titleAt;
        CutChoice expected;
    } cases[] = {
        {"the centre of the longest quiet run", levels({-20, -20, -90, -20, -20, -95, -92, -91, -90, -20}), 0, 200,
         {800, true}},
        {"of equal runs, the nearer to the title", levels({-20, -90, -90, -20, -20, -20, -90, -90, -20}), 0, 700,
         {800, true}},
        {"frames before `from` are not candidates", levels({-90, -90, -90, -20, -20, -20, -85, -20}), 350, 500,
         {700, true}},
        {"a fade joins the silence after it", levels({-20, -20, -75, -85, -90, -90, -20, -20}), 0, 100, {500, true}},
        {"a dip of 6 dB is not quieter", levels({-20, -20, -26, -26, -20, -20}), 0, 350, {400, false}},
        {"title past the last frame", levels({-20, -20, -21}), 0, 5000, {300, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CutChoice choice{};
        ASSERT_TRUE(chooseCut(c.levels, c.from, c.titleAt, &choice));
        EXPECT_EQ(choice.offset, c.expected.offset);
        EXPECT_EQ(choice.quiet, c.expected.quiet);
    }
    CutChoice none{};
    EXPECT_FALSE(chooseCut(levels({-20, -90}), 1000, 0, &none));
    EXPECT_FALSE(chooseCut({}, 0, 0, &none));
}

TEST(SilenceCut, WindowsWithoutFramesOrWithGarbage) {
    testsupport::TempDir dir;
    std::uint32_t cut = 1;
    const std::string zeros(16000, '\0');
    EXPECT_EQ(findsep_silence(bytes(zeros), 16000, 100, 9000, &cut), CUT_NO_HEADERS);
    EXPECT_EQ(cut, 9000u) << "no frames: the cut is the title change";
    EXPECT_EQ(findsep_silence(bytes(zeros), 16000, 9500, 9000, &cut), CUT_NO_HEADERS);
    EXPECT_EQ(cut, 9500u) << "never before `from`";

    // Garbage between two runs of frames: the decoder re-synchronises and goes on.
    const std::string tone = testsupport::encodeMp3({{0.5, 440}}, 128, dir.path());
    const std::string quiet = testsupport::encodeMp3({{0.5, 0}}, 128, dir.path());
    const std::string mixed = tone.substr(0, 6000) + std::string(3000, '\xFF') + quiet + tone;
    ASSERT_EQ(findsep_silence(bytes(mixed), std::uint32_t(mixed.size()), 0, 0, &cut), 0);
    EXPECT_GT(cut, 9000u);
    EXPECT_LT(cut, 9000u + quiet.size());
}

} // namespace
