#pragma once

#include <cstdint>

// MPEG audio frame headers in a station's raw byte stream: parsing, usability, frame size, and
// the search for a position where several consistent frames follow each other. Plain
// functions without state.

namespace recorder {

struct frame_header {
    std::int32_t layer;          // 3 Layer III, 2 Layer II, 1 Layer I, 4 reserved; 0 after a failed parse
    std::int32_t version;        // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    std::int32_t crc_present;    // 1 when the protection bit is 0
    std::int32_t bitrate_index;  // 0 free format .. 15 forbidden
    std::int32_t sampling_index; // 0..2, 3 reserved
    std::int32_t padding_bit;
    std::int32_t private_bit;
    std::int32_t mode; // 3 single channel
    std::int32_t mode_extension;
    std::int32_t copy_bit;
    std::int32_t home_bit;
    std::int32_t emphasis;
    std::int32_t channels; // 1 when mode is 3, else 2
};

// Parses the four bytes at `bytes`: 1 parsed, 0 no sync, -1 reserved version code.
// Only `layer` is cleared first; after 0 or -1 it is 0, so header_sane rejects the record.
int get_header(const std::uint8_t* bytes, frame_header* header);
// 1 when the header is Layer II or III with a real bit rate and sampling rate.
int header_sane(const frame_header* header);
// 1 when every field but the padding bit is equal.
int sameHeader(const frame_header* a, const frame_header* b);
// Bit rate in kbit/s; 0 for free format or a record outside the tables.
unsigned decode_bitrate(const frame_header* header);
// Frame length in bytes of a usable header; 0 when the bit rate is 0.
unsigned get_frame_size(const frame_header* header);

// The largest global gain among the granules of a Layer III frame that carry audio data (values
// beyond a single quantiser step), read
// from the frame's side information (`size` bytes at `frame`). The gain sets the quantiser's
// step, 1.5 dB a unit; a quieter sound gets a finer step, so the gain follows loudness (though
// over a narrower range than the sound's) without decoding the frame.
// LAYER3_SILENT when no granule carries audio data; LAYER3_UNKNOWN for other layers or a frame
// too short for its side information.
constexpr int LAYER3_SILENT = -1;
constexpr int LAYER3_UNKNOWN = -2;
int layer3_global_gain(const std::uint8_t* frame, std::uint32_t size, const frame_header* header);

constexpr int MPEG_NO_HEADER = -27;

// Finds the first position in `buffer` where `run` (2 or more) consistent frames follow each
// other at the first frame's size. 0 and `position` set, or MPEG_NO_HEADER and `position` unchanged.
int mpeg_find_first_header(const std::uint8_t* buffer, std::int32_t length, int run, std::int32_t* position);

} // namespace recorder
