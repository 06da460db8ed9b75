#pragma once

#include <cstdint>
#include <vector>

// The cut between two songs of a station's MP3 audio: the quietest stretch of a search window
// around the title change. The window is decoded as one continuous stretch with one decoder, so
// every frame's sound is measured where it really is; the cut is a frame boundary. Plain
// functions without state.

namespace recorder {

constexpr int CUT_NO_HEADERS = -48;  // no run of consistent frame headers: the cut is the title change
constexpr int CUT_NOT_QUIETER = -46; // nothing clearly quieter than the rest: the cut is the frame at the title change

// The sound of one frame.
struct FrameLevel {
    std::uint32_t offset; // where the frame starts in the window
    double level;         // mean square of the mono signal, in dB below full scale; -100 for digital silence
    bool measured = true; // false: not decoded, the level of a decoded frame near it in a loud stretch
};

// The level of each frame of `window`, from its first run of consistent frame headers to its
// last whole frame, in order. Every frame that may be among the quietest is decoded, with one
// decoder across each stretch of consecutive frames, so that each level is the sound of that
// frame; the two frames before a stretch settle the decoder and are not given unless measured
// in another stretch. Frames whose side information shows them far louder than the quietest
// are only sampled (a few frames a second) and take the level of their sample; when a sample
// is not as loud as the side information said, the whole window is decoded instead.
std::vector<FrameLevel> frameLevels(const std::uint8_t* window, std::uint32_t length);

struct CutChoice {
    std::uint32_t offset; // a frame's start
    bool quiet;           // false: nothing was clearly quieter, the frame at the title change
};

// Chooses among the frames at or after `from`: the centre of the longest run of frames under a
// level close to the quietest one (of equal runs, the one nearest `titleAt`). Where the quietest
// frame is not clearly below the window's typical level (a crossfade, talk over music) it is the
// first frame at or after `titleAt` instead. None when no frame starts at or after `from`.
bool chooseCut(const std::vector<FrameLevel>& levels, std::uint32_t from, std::uint32_t titleAt, CutChoice* choice);

// The cut for a title change at `titleAt` in `window` (`length` bytes): a frame boundary at or
// after `from` (the bytes before it only settle the decoder) and at most `length`. Returns 0, or
// CUT_NOT_QUIETER or CUT_NO_HEADERS with the cut at the title change.
int findsep_silence(const std::uint8_t* window, std::uint32_t length, std::uint32_t from, std::uint32_t titleAt,
                    std::uint32_t* cut);

} // namespace recorder
