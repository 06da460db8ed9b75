#pragma once

#include "recorder/engine/SilenceCut.h"

#include <cstdint>
#include <optional>
#include <vector>

// The cut between two songs of a station's AAC audio, sent as ADTS frames (each with a 7-byte
// header of its own). The same choice as for MP3: the quietest stretch of the search window,
// measured by decoding the frames (libavcodec) with one decoder across the window; the cut is
// an ADTS frame boundary.

namespace recorder {

struct AdtsHeader {
    std::uint32_t frameLength; // the whole frame, header included
    std::uint32_t sampleRate;  // of the core AAC stream (HE-AAC doubles it when decoded)
    std::uint32_t key;         // what stays the same from frame to frame of one stream
};

// The header at `bytes`, or none when no valid ADTS header starts there.
std::optional<AdtsHeader> adtsHeader(const std::uint8_t* bytes, std::size_t length);

// The bytes a second of the stream at `bytes` takes (its first frames' sizes against their
// playing time); 0 when it holds no run of ADTS frames.
std::uint32_t adtsBytesPerSecond(const std::uint8_t* bytes, std::size_t length);

// The level of each ADTS frame of `window`, from its first run of consistent headers to its
// last whole frame; the first two settle the decoder and are left out.
std::vector<FrameLevel> adtsFrameLevels(const std::uint8_t* window, std::uint32_t length);

// As findsep_silence, for ADTS frames.
int findAdtsCut(const std::uint8_t* window, std::uint32_t length, std::uint32_t from, std::uint32_t titleAt,
                std::uint32_t* cut);

} // namespace recorder
