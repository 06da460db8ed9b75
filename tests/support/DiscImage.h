#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A BIN/CUE disc image of tones: one raw 16-bit little-endian stereo 44.1 kHz .bin holding the
// tracks one after another (each padded to whole 2352-byte sectors) and a .cue with their
// indexes. Returns the .cue's path; `pcm` gets each track's bytes as written to the .bin.
std::string makeDiscImage(const std::string& folder, const std::vector<double>& frequencies, double seconds,
                          std::vector<std::string>* pcm = nullptr);

} // namespace testsupport
