#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One stretch of a synthesised stereo signal at 44.1 kHz: a sine tone, or silence when
// `frequency` is 0.
struct Stretch {
    double seconds;
    double frequency;
};

// Interleaved stereo 16-bit samples of the stretches, one after another.
std::vector<std::int16_t> synthesise(const std::vector<Stretch>& stretches, double amplitude = 12000);

// Writes a 16-bit stereo 44.1 kHz WAV file.
void writeWav(const std::string& path, const std::vector<std::int16_t>& samples);

// Encodes the stretches with the real `lame` at a constant bit rate (no info frame) and returns
// the MP3 bytes. Fails the test loudly when lame is missing or fails.
std::string encodeMp3(const std::vector<Stretch>& stretches, int kbps, const std::string& folder);

} // namespace testsupport
