#include "tests/support/Audio.h"

#include "tests/support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace testsupport {
namespace {

void put16(std::ofstream& out, std::uint16_t v) { out.put(char(v & 0xff)).put(char(v >> 8)); }
void put32(std::ofstream& out, std::uint32_t v) {
    put16(out, std::uint16_t(v & 0xffff));
    put16(out, std::uint16_t(v >> 16));
}

} // namespace

std::vector<std::int16_t> synthesise(const std::vector<Stretch>& stretches, double amplitude) {
    constexpr double rate = 44100;
    std::vector<std::int16_t> samples;
    std::size_t t = 0;
    for (const auto& s : stretches) {
        const auto count = static_cast<std::size_t>(s.seconds * rate);
        for (std::size_t i = 0; i < count; ++i, ++t) {
            const double v =
                s.frequency > 0 ? s.level * amplitude * std::sin(2 * std::numbers::pi * s.frequency * t / rate) : 0;
            samples.push_back(static_cast<std::int16_t>(v));
            samples.push_back(static_cast<std::int16_t>(v));
        }
    }
    return samples;
}

void writeWav(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, 2);
    put32(out, 44100);
    put32(out, 44100 * 4);
    put16(out, 4);
    put16(out, 16);
    out.write("data", 4);
    put32(out, bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string encodeMp3(const std::vector<Stretch>& stretches, int kbps, const std::string& folder) {
    const std::string wav = folder + "/tone.wav", mp3 = folder + "/tone.mp3";
    writeWav(wav, synthesise(stretches));
    const std::string command =
        "lame --quiet -t -m j --cbr -b " + std::to_string(kbps) + " '" + wav + "' '" + mp3 + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("lame failed: " + command);
    return readFile(mp3);
}

std::vector<std::int16_t> decodeToMono(const std::string& path) {
    const std::string raw = path + ".pcm";
    const std::string command =
        "ffmpeg -nostdin -v error -y -i '" + path + "' -f s16le -ac 1 -ar 44100 '" + raw + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("ffmpeg could not decode " + path);
    const std::string bytes = readFile(raw);
    std::remove(raw.c_str());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

std::size_t id3v2TagSize(const std::string& bytes) {
    if (bytes.size() < 10 || bytes.compare(0, 3, "ID3") != 0)
        return 0;
    // The size is "syncsafe": seven bits a byte.
    return 10 + ((std::size_t(bytes[6] & 0x7f) << 21) | (std::size_t(bytes[7] & 0x7f) << 14) |
                 (std::size_t(bytes[8] & 0x7f) << 7) | std::size_t(bytes[9] & 0x7f));
}

double levelOf(const std::vector<std::int16_t>& mono, std::size_t from, std::size_t count) {
    from = std::min(from, mono.size());
    count = std::min(count, mono.size() - from);
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i)
        sum += double(mono[i]) * mono[i];
    if (count == 0 || sum == 0)
        return -100;
    return std::max(-100.0, 10 * std::log10(sum / double(count) / (32768.0 * 32768.0)));
}

} // namespace testsupport
