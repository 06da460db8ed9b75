#include "recorder/engine/FrameHeader.h"

namespace recorder {
namespace {

// kbit/s by [MPEG-1 or MPEG-2/2.5][layer - 1][bitrate_index]; index 15 is forbidden.
constexpr unsigned bitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};

// Units of 50 Hz by [version][sampling_index]. MPEG-2.5 gets the MPEG-2 rates (twice its real
// ones) and, below, twice the MPEG-2 Layer III coefficient, so its frame sizes come out right.
constexpr unsigned samplingRates[3][3] = {{882, 960, 640}, {441, 480, 320}, {441, 480, 320}};

// By [layer - 2][version]; Layer I frames are never usable here.
constexpr unsigned coefficients[2][3] = {{2880, 2880, 2880}, {2880, 1440, 2880}};

} // namespace

int get_header(const std::uint8_t* b, frame_header* h) {
    h->layer = 0;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return 0;
    const int versionCode = (b[1] >> 3) & 3;
    if (versionCode == 1)
        return -1;
    h->layer = 4 - ((b[1] >> 1) & 3);
    h->version = versionCode == 3 ? 0 : versionCode == 2 ? 1 : 2;
    h->crc_present = (b[1] & 1) == 0 ? 1 : 0;
    h->bitrate_index = b[2] >> 4;
    h->sampling_index = (b[2] >> 2) & 3;
    h->padding_bit = (b[2] >> 1) & 1;
    h->private_bit = b[2] & 1;
    h->mode = b[3] >> 6;
    h->mode_extension = (b[3] >> 4) & 3;
    h->copy_bit = (b[3] >> 3) & 1;
    h->home_bit = (b[3] >> 2) & 1;
    h->emphasis = b[3] & 3;
    h->channels = h->mode == 3 ? 1 : 2;
    return 1;
}

int header_sane(const frame_header* h) {
    return (h->layer == 2 || h->layer == 3) && h->bitrate_index >= 1 && h->bitrate_index <= 14 &&
                   h->sampling_index >= 0 && h->sampling_index <= 2 && h->version >= 0 && h->version <= 2
               ? 1
               : 0;
}

int sameHeader(const frame_header* a, const frame_header* b) {
    return a->layer == b->layer && a->version == b->version && a->crc_present == b->crc_present &&
                   a->bitrate_index == b->bitrate_index && a->sampling_index == b->sampling_index &&
                   a->private_bit == b->private_bit && a->mode == b->mode && a->mode_extension == b->mode_extension &&
                   a->copy_bit == b->copy_bit && a->home_bit == b->home_bit && a->emphasis == b->emphasis &&
                   a->channels == b->channels
               ? 1
               : 0;
}

unsigned decode_bitrate(const frame_header* h) {
    if (h->layer < 1 || h->layer > 3 || h->version < 0 || h->version > 2 || h->bitrate_index < 0 ||
        h->bitrate_index > 14)
        return 0;
    return bitrates[h->version == 0 ? 0 : 1][h->layer - 1][h->bitrate_index];
}

unsigned get_frame_size(const frame_header* h) {
    const unsigned bitrate = decode_bitrate(h);
    if (bitrate == 0 || !header_sane(h))
        return 0;
    const unsigned coefficient = coefficients[h->layer - 2][h->version];
    const unsigned rate = samplingRates[h->version][h->sampling_index];
    return coefficient * bitrate / rate + static_cast<unsigned>(h->padding_bit);
}

int layer3_global_gain(const std::uint8_t* frame, std::uint32_t size, const frame_header* h) {
    if (h->layer != 3)
        return LAYER3_UNKNOWN;
    const bool mpeg1 = h->version == 0;
    const int channels = h->channels;
    const std::uint32_t sideInfo = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    const std::uint32_t start = 4 + (h->crc_present ? 2 : 0);
    if (size < start + sideInfo)
        return LAYER3_UNKNOWN;
    const std::uint8_t* bits = frame + start;
    std::uint32_t at = 0; // in bits
    const auto read = [&](int n) {
        unsigned value = 0;
        for (int i = 0; i < n; ++i, ++at)
            value = (value << 1) | ((bits[at >> 3] >> (7 - (at & 7))) & 1u);
        return value;
    };
    at += mpeg1 ? (channels == 1 ? 9 + 5 + 4 : 9 + 3 + 8) : (channels == 1 ? 8 + 1 : 8 + 2);
    int loudest = LAYER3_SILENT;
    for (int granule = 0; granule < (mpeg1 ? 2 : 1); ++granule) {
        for (int channel = 0; channel < channels; ++channel) {
            const unsigned part23 = read(12);
            const unsigned bigValues = read(9);
            const int gain = static_cast<int>(read(8));
            at += mpeg1 ? 4 : 9; // scalefac_compress
            at += 1 + 22;        // window switching and what depends on it
            at += mpeg1 ? 3 : 2;
            // A granule with no big values holds single steps at most: next to nothing.
            if (part23 > 0 && bigValues > 0 && gain > loudest)
                loudest = gain;
        }
    }
    return loudest;
}

int mpeg_find_first_header(const std::uint8_t* buffer, std::int32_t length, int run, std::int32_t* position) {
    for (std::int32_t i = 0; i < length && length - i >= 4; ++i) {
        if (buffer[i] != 0xFF)
            continue;
        frame_header first;
        if (get_header(buffer + i, &first) != 1 || !header_sane(&first))
            continue;
        const unsigned size = get_frame_size(&first);
        if (size <= 20)
            continue;
        const auto step = static_cast<std::int64_t>(size);
        std::int64_t next = i + step;
        std::int64_t left = length - i - step;
        int count = 1;
        while (count < run && left > 3) {
            frame_header following;
            if (get_header(buffer + next, &following) != 1 || !header_sane(&following) ||
                !sameHeader(&first, &following))
                break;
            next += step;
            left -= step;
            ++count;
        }
        if (count == run) {
            *position = i;
            return 0;
        }
    }
    return MPEG_NO_HEADER;
}

} // namespace recorder
