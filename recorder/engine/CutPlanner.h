#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace recorder {

// Decides where a station's songs begin and end. Audio is held back so that each title change
// can be cut where the songs really change, which on real stations lies seconds before or after
// the title's arrival: the search window runs from `before` seconds ahead of the arrival to
// `after` seconds past it. The files therefore lag behind the stream by `before` seconds, and by
// up to `before` + `after` while a title change waits for its window. Memory stays within about
// twice the window, whatever the station's metadata interval. Every byte given to addAudio() is
// written exactly once, in order. Thread ownership: the recording worker's alone.
class CutPlanner {
public:
    // Writes bytes to the current song.
    using Write = std::function<void(const std::uint8_t* bytes, std::size_t length)>;
    // Ends the current song (when there is one) and starts the next under this title.
    using StartSong = std::function<void(const std::string& title)>;

    // The station's frames: MPEG audio (MP3) or AAC in ADTS frames.
    enum class Frames { Mpeg, Adts };

    // `bytesPerSecond` is the station's rate as it announces it (0 when it does not); the first
    // frames found decide when there are some.
    CutPlanner(Write write, StartSong startSong, double beforeSeconds, double afterSeconds,
               std::uint32_t bytesPerSecond = 0, Frames frames = Frames::Mpeg);

    void addAudio(const std::uint8_t* bytes, std::size_t length);
    // A new title at the current position of the audio. The first one starts the first song at
    // once, with every byte received before it.
    void titleChanged(std::string title);
    // The recording ends: the title changes still waiting are cut within what has arrived, and
    // everything held back is written.
    void finish();

    bool hasSong() const { return hasSong_; }
    // Bytes received and not yet written.
    std::size_t heldBack() const { return static_cast<std::size_t>(received() - written_); }

private:
    struct TitleChange {
        std::uint64_t position;
        std::string title;
    };

    std::uint64_t received() const { return start_ + (buffer_.size() - dead_); }
    void decideRate();
    void process(bool ending);
    void cutAt(const TitleChange& change, std::uint64_t windowEnd);
    void writeUpTo(std::uint64_t position);
    const std::uint8_t* at(std::uint64_t position) const { return buffer_.data() + dead_ + (position - start_); }

    Write write_;
    StartSong startSong_;
    double beforeSeconds_, afterSeconds_;
    std::uint32_t announcedRate_;
    Frames frames_;
    std::uint32_t rate_ = 0;                // bytes per second, once known
    std::uint64_t before_ = 0, after_ = 0; // the window in bytes, once the rate is known
    bool rateKnown_ = false;

    std::vector<std::uint8_t> buffer_; // audio from `start_` on; its first `dead_` bytes are no longer needed
    std::size_t dead_ = 0;
    std::uint64_t start_ = 0;   // the stream position of the first live byte
    std::uint64_t written_ = 0; // every byte before this position has been written
    std::deque<TitleChange> changes_;
    bool hasSong_ = false;
};

} // namespace recorder
