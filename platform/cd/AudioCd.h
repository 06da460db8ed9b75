#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// An audio CD in a drive, or a disc image (BIN/CUE, cdrdao TOC, NRG) read as if it were one,
// through libcdio; tracks are read with cdparanoia's error correction.
//
// Block numbers are counted as freedb counts them: from the start of the disc including the
// 2-second pregap, so the first track usually starts at block 150. libcdio's LSN counts from
// the first track's pregap end; block = LSN + 150 (= libcdio's LBA).
class AudioCd {
public:
    struct Track {
        int number;
        std::int64_t startBlock;
        bool audio;
    };
    struct Toc {
        std::vector<Track> tracks;
        std::int64_t leadoutBlock = 0;
    };

    // The drives that hold an audio CD now (device paths).
    static std::vector<std::string> audioCdDrives();

    // Opens a drive or an image; none with the reason in `error`.
    static std::unique_ptr<AudioCd> open(const std::string& deviceOrImage, std::string* error);
    ~AudioCd();
    AudioCd(const AudioCd&) = delete;
    AudioCd& operator=(const AudioCd&) = delete;

    const Toc& toc() const { return toc_; }

    // Called with sectors done and sectors in all; false asks to stop.
    using Progress = std::function<bool(long done, long total)>;

    // Writes the track as a 16-bit stereo 44.1 kHz AIFF file. False with the reason when the
    // track cannot be read or written, or when `progress` asked to stop; the file is then removed.
    bool extractTrack(int number, const std::string& aiffPath, const Progress& progress, std::string* error);

private:
    struct Handles;
    explicit AudioCd(std::unique_ptr<Handles> handles, Toc toc);
    std::unique_ptr<Handles> handles_;
    Toc toc_;
};

} // namespace platform
