#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The small decoder interface the cut search is written against (queue input, decode one
// frame at a time), met on top of libmpg123's feed interface. Frames are split here with our
// own header parser and handed to libmpg123 whole, so that "input bytes held" and "pending
// frame size" mean exactly what the cut search expects. libmpg123 itself prints nothing.

struct mpg123_handle_struct;

namespace recorder {

constexpr int MP3_ERR = -1;
constexpr int MP3_OK = 0;
constexpr int MP3_NEED_MORE = 1;
// The least output space decodeMP3 accepts: one frame of 1152 samples x 2 channels x 2 bytes.
constexpr int MP3_MIN_OUTPUT = 4608;

struct mpstr {
    std::vector<std::uint8_t> queue; // input fed and not yet released
    std::size_t used = 0;            // bytes of `queue` already decoded
    int framesize = 0;               // size of the frame whose header was read and body is awaited; 0 when none
    mpg123_handle_struct* decoder = nullptr;

    // Input bytes held and not yet used.
    int bsize() const { return static_cast<int>(queue.size() - used); }
};

// Resets `mp`: no input held, no frame pending, a fresh decoder.
void InitMP3(mpstr* mp);
// Releases the input and the decoder held by `mp`.
void ExitMP3(mpstr* mp);
// Appends `in` (may be null) to the queue and decodes at most one frame into `out`.
// MP3_OK with *done PCM bytes (signed 16-bit, interleaved), MP3_NEED_MORE when the queue holds
// less than a header or a whole frame, MP3_ERR on a bad frame or when `osize` is below
// MP3_MIN_OUTPUT (then the input is not taken).
int decodeMP3(mpstr* mp, const std::uint8_t* in, int isize, std::uint8_t* out, int osize, int* done);

} // namespace recorder
