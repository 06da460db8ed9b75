#include "recorder/engine/FrameHeader.h"
#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace recorder;

namespace {

TEST(FrameHeader, ParsesTheHeaderTable) {
    struct Case {
        std::uint8_t bytes[4];
        int parsed;
        int sane;
        int layer, version, crc, bitrateIndex, samplingIndex, padding, mode;
        unsigned kbps, size;
    } cases[] = {
        // MPEG-1 Layer III 128 kbit/s 44.1 kHz joint stereo
        {{0xFF, 0xFB, 0x90, 0x64}, 1, 1, 3, 0, 0, 9, 0, 0, 1, 128, 417},
        {{0xFF, 0xFB, 0x92, 0x64}, 1, 1, 3, 0, 0, 9, 0, 1, 1, 128, 418}, // padded
        {{0xFF, 0xFD, 0x90, 0x44}, 1, 1, 2, 0, 0, 9, 0, 0, 1, 160, 522}, // MPEG-1 Layer II, no CRC
        {{0xFF, 0xFF, 0x90, 0x44}, 1, 0, 1, 0, 0, 9, 0, 0, 1, 288, 0},   // Layer I: rejected
        {{0xFF, 0xEB, 0x90, 0x44}, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},    // reserved version code
        {{0xFF, 0xF3, 0x90, 0xC4}, 1, 1, 3, 1, 0, 9, 0, 0, 3, 80, 261},  // MPEG-2 22.05 kHz mono
        {{0xFF, 0xE3, 0x90, 0xC4}, 1, 1, 3, 2, 0, 9, 0, 0, 3, 80, 522},  // MPEG-2.5 11.025 kHz
        {{0xFF, 0xFB, 0x00, 0x64}, 1, 0, 3, 0, 0, 0, 0, 0, 1, 0, 0},     // free format
        {{0xFF, 0xFB, 0xF0, 0x64}, 1, 0, 3, 0, 0, 15, 0, 0, 1, 0, 0},    // forbidden bit rate
        {{0xFF, 0xFB, 0x9C, 0x64}, 1, 0, 3, 0, 0, 9, 3, 0, 1, 128, 0},   // reserved sampling rate
        {{0xFE, 0xFB, 0x90, 0x64}, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},     // no sync
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << int(c.bytes[0]) << " " << int(c.bytes[1]) << " "
                                          << int(c.bytes[2]) << " " << int(c.bytes[3]));
        frame_header h{};
        h.layer = 99;
        EXPECT_EQ(get_header(c.bytes, &h), c.parsed);
        EXPECT_EQ(header_sane(&h), c.sane);
        EXPECT_EQ(h.layer, c.layer);
        if (c.parsed != 1)
            continue;
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(h.crc_present, c.crc);
        EXPECT_EQ(h.bitrate_index, c.bitrateIndex);
        EXPECT_EQ(h.sampling_index, c.samplingIndex);
        EXPECT_EQ(h.padding_bit, c.padding);
        EXPECT_EQ(h.mode, c.mode);
        EXPECT_EQ(h.channels, c.mode == 3 ? 1 : 2);
        EXPECT_EQ(decode_bitrate(&h), c.kbps);
        EXPECT_EQ(get_frame_size(&h), c.size);
    }
}

// `count` frames of `header` with the frame size as the distance, filler bytes between.
std::vector<std::uint8_t> frames(std::vector<std::uint8_t> header, std::size_t size, int count) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        bytes.insert(bytes.end(), header.begin(), header.end());
        bytes.resize(bytes.size() + size - 4, 0x55);
    }
    return bytes;
}

TEST(FrameHeader, SearchNeedsTheWholeRun) {
    auto five = frames({0xFF, 0xFB, 0x90, 0x64}, 417, 5);
    five.insert(five.begin(), {0x00, 0xFF, 0x12}); // a lone 0xFF before the run
    std::int32_t position = -1;
    EXPECT_EQ(mpeg_find_first_header(five.data(), std::int32_t(five.size()), 6, &position), MPEG_NO_HEADER);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(mpeg_find_first_header(five.data(), std::int32_t(five.size()), 5, &position), 0);
    EXPECT_EQ(position, 3);

    // The last header must lie wholly in the buffer, its body may run past the end.
    auto cut = frames({0xFF, 0xFB, 0x90, 0x64}, 417, 3);
    cut.resize(2 * 417 + 4);
    EXPECT_EQ(mpeg_find_first_header(cut.data(), std::int32_t(cut.size()), 3, &position), 0);
    cut.resize(2 * 417 + 3);
    EXPECT_EQ(mpeg_find_first_header(cut.data(), std::int32_t(cut.size()), 3, &position), MPEG_NO_HEADER);
}

TEST(FrameHeader, PaddingMayDifferOnlyWhereTheStepStillFits) {
    // Second frame padded (418 bytes): its header still lies at i + 417, the third one byte later.
    std::vector<std::uint8_t> bytes = frames({0xFF, 0xFB, 0x90, 0x64}, 417, 1);
    auto padded = frames({0xFF, 0xFB, 0x92, 0x64}, 418, 1);
    bytes.insert(bytes.end(), padded.begin(), padded.end());
    auto rest = frames({0xFF, 0xFB, 0x90, 0x64}, 417, 3);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    std::int32_t position = -1;
    EXPECT_EQ(mpeg_find_first_header(bytes.data(), std::int32_t(bytes.size()), 2, &position), 0);
    EXPECT_EQ(position, 0);
    // The third header is one byte beyond 2 x 417: the run from 0 fails, so does the one from the
    // padded frame (its step of 418 misses the fourth header); the unpadded frames after it qualify.
    EXPECT_EQ(mpeg_find_first_header(bytes.data(), std::int32_t(bytes.size()), 3, &position), 0);
    EXPECT_EQ(position, 417 + 418);
    EXPECT_EQ(mpeg_find_first_header(bytes.data(), std::int32_t(bytes.size()), 4, &position), MPEG_NO_HEADER);
}

TEST(FrameHeader, BuffersWithoutARunLeaveThePositionAlone) {
    std::int32_t position = 7;
    EXPECT_EQ(mpeg_find_first_header(nullptr, 0, 6, &position), MPEG_NO_HEADER);
    std::vector<std::uint8_t> zeros(5000, 0);
    EXPECT_EQ(mpeg_find_first_header(zeros.data(), 5000, 6, &position), MPEG_NO_HEADER);
    std::vector<std::uint8_t> syncs(5000, 0xFF); // sync everywhere, but Layer I and bit rate 15
    EXPECT_EQ(mpeg_find_first_header(syncs.data(), 5000, 2, &position), MPEG_NO_HEADER);
    EXPECT_EQ(position, 7);
}

TEST(FrameHeader, Layer3GainFollowsLoudness) {
    // The median gain of the frames of a second of lame's output at each level. A quieter sound
    // gets a finer step, though not as much finer as it is quieter: the encoder spends its bits
    // on larger quantised values instead (46 dB less sound is 10 to 20 units, 15 to 30 dB, less).
    testsupport::TempDir dir;
    const auto medianGain = [&](double level, int kbps) {
        std::string mp3 = testsupport::encodeMp3({{1.0, level > 0 ? 440.0 : 0.0, level}}, kbps, dir.path());
        std::vector<int> gains;
        for (std::size_t at = 0; at + 4 <= mp3.size();) {
            frame_header header;
            const auto* frame = reinterpret_cast<const std::uint8_t*>(mp3.data()) + at;
            if (get_header(frame, &header) != 1 || !header_sane(&header))
                break;
            const unsigned size = get_frame_size(&header);
            if (at + size > mp3.size())
                break;
            gains.push_back(layer3_global_gain(frame, size, &header));
            at += size;
        }
        EXPECT_GT(gains.size(), 30u);
        std::sort(gains.begin(), gains.end());
        return gains[gains.size() / 2];
    };
    for (const int kbps : {64, 128, 320}) {
        SCOPED_TRACE(kbps);
        const int loud = medianGain(1.0, kbps), quiet = medianGain(0.005, kbps);
        EXPECT_GT(loud, 0);
        EXPECT_GE(loud - quiet, 8);
        EXPECT_LE(loud - quiet, 31);
        EXPECT_EQ(medianGain(0, kbps), LAYER3_SILENT);
    }
    frame_header layer2{};
    layer2.layer = 2;
    const std::uint8_t frame[64] = {};
    EXPECT_EQ(layer3_global_gain(frame, 64, &layer2), LAYER3_UNKNOWN);
    frame_header layer3{};
    layer3.layer = 3;
    layer3.channels = 2;
    EXPECT_EQ(layer3_global_gain(frame, 20, &layer3), LAYER3_UNKNOWN) << "shorter than its side information";
}

} // namespace
