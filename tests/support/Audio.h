#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One stretch of a synthesised stereo signal at 44.1 kHz: a sine tone, or silence when
// `frequency` is 0. `level` scales the amplitude (1: the amplitude given to synthesise()).
struct Stretch {
    double seconds;
    double frequency;
    double level = 1.0;
};

// Interleaved stereo 16-bit samples of the stretches, one after another.
std::vector<std::int16_t> synthesise(const std::vector<Stretch>& stretches, double amplitude = 12000);

// Writes a 16-bit stereo 44.1 kHz WAV file.
void writeWav(const std::string& path, const std::vector<std::int16_t>& samples);

// Encodes the stretches with the real `lame` at a constant bit rate (no info frame) and returns
// the MP3 bytes. Fails the test loudly when lame is missing or fails.
std::string encodeMp3(const std::vector<Stretch>& stretches, int kbps, const std::string& folder);

// Decodes an MP3 file with ffmpeg into mono 16-bit samples at 44.1 kHz. Fails the test loudly
// when ffmpeg is missing or cannot decode the file.
std::vector<std::int16_t> decodeToMono(const std::string& path);

// The size of the ID3v2 tag at the start of a file's bytes (header included); 0 when none.
std::size_t id3v2TagSize(const std::string& bytes);

// The RMS level in dB below full scale of `count` samples from `from` (clipped to the samples
// there are); -100 for digital silence or no samples.
double levelOf(const std::vector<std::int16_t>& mono, std::size_t from, std::size_t count);

} // namespace testsupport
