#pragma once

#include <cstdint>
#include <vector>

// The cut between two songs: the quietest spot of an audio block, as a byte offset on a frame
// boundary. Plain functions without state; each call allocates and releases its own memory.

namespace recorder {

constexpr int CUT_NO_HEADERS = -48;     // no run of 6 consistent frame headers; the cut is 0
constexpr int CUT_OUTPUT_TOO_BIG = -47; // decoded output beyond 50 times the input
constexpr int CUT_SHRINK_FAILED = -16;  // the decoded output could not be shrunk to its size

// Finds the cut in `block` of `length` bytes; the offset lies between 0 and `length` in every
// case. Returns 0 or one of the codes above.
int findsep_silence(const std::uint8_t* block, std::int32_t length, std::uint32_t* cut);

// Decodes `bytes` (starting at a frame header) to signed 16-bit PCM, interleaved as decoded.
// Returns 0, CUT_OUTPUT_TOO_BIG or CUT_SHRINK_FAILED.
int decode_buffer(const std::uint8_t* bytes, std::int32_t length, std::vector<std::int16_t>* pcm,
                  std::uint32_t* samples);

// Averages neighbouring samples in place (truncating toward zero); the area past the mono
// samples is cleared. `*mono` is n / 2.
void convert_to_mono(std::vector<std::int16_t>* pcm, std::uint32_t n, std::uint32_t* mono);

// Index of the quietest sample: the most negative sample within one window's width from the
// centre of the window of lowest RMS. Positions at or beyond m read as 0.
std::int32_t find_silence(const std::int16_t* samples, std::uint32_t m, int windows);

} // namespace recorder
