// Reading a disc image into a CD folder (paranoia reads, AIFF files) against a plain copy of
// the image's .bin file, in the same run: bytes per second of each and their ratio.
#include "ripper/CdFolder.h"
#include "tests/support/DiscImage.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdlib.h>

int main() {
    namespace fs = std::filesystem;
    using Clock = std::chrono::steady_clock;
    char pattern[] = "/tmp/discwell-cdbench-XXXXXX";
    const fs::path root = ::mkdtemp(pattern);
    const std::string cue = testsupport::makeDiscImage(root.string(), {220, 247, 262, 294, 330, 349, 392, 440}, 30.0);
    const auto bytes = static_cast<double>(fs::file_size(root / "disc.bin"));

    double copy = 1e9, extract = 1e9;
    for (int round = 0; round < 3; ++round) {
        fs::remove(root / "copy.bin");
        auto start = Clock::now();
        fs::copy_file(root / "disc.bin", root / "copy.bin");
        copy = std::min(copy, std::chrono::duration<double>(Clock::now() - start).count());

        fs::remove_all(root / "cache");
        std::string error;
        start = Clock::now();
        if (!ripper::prepareCdFolder(cue, (root / "cache").string(), {}, &error))
            std::fprintf(stderr, "extraction failed: %s\n", error.c_str());
        extract = std::min(extract, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("%.0f MB image: extraction %.0f MB/s, plain copy %.0f MB/s, ratio %.3f\n", bytes / 1e6,
                bytes / extract / 1e6, bytes / copy / 1e6, copy / extract);
    fs::remove_all(root);
}
