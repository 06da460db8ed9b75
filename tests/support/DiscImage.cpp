#include "tests/support/DiscImage.h"

#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"

#include <cstdio>

namespace testsupport {

std::string makeDiscImage(const std::string& folder, const std::vector<double>& frequencies, double seconds,
                          std::vector<std::string>* pcm) {
    std::string bin, cue = "FILE \"disc.bin\" BINARY\n";
    for (std::size_t t = 0; t < frequencies.size(); ++t) {
        const long sector = static_cast<long>(bin.size() / 2352);
        char index[160];
        std::snprintf(index, sizeof index, "  TRACK %02zu AUDIO\n    INDEX 01 %02ld:%02ld:%02ld\n", t + 1,
                      sector / (75 * 60), (sector / 75) % 60, sector % 75);
        cue += index;
        std::string track;
        for (std::int16_t sample : synthesise({{seconds, frequencies[t]}})) {
            track += static_cast<char>(sample & 0xff);
            track += static_cast<char>((sample >> 8) & 0xff);
        }
        track.resize((track.size() + 2351) / 2352 * 2352, '\0');
        if (pcm)
            pcm->push_back(track);
        bin += track;
    }
    writeFile(folder + "/disc.bin", bin);
    writeFile(folder + "/disc.cue", cue);
    return folder + "/disc.cue";
}

} // namespace testsupport
