#include "recorder/engine/CutPlanner.h"

#include "platform/core/Log.h"
#include "recorder/engine/AdtsCut.h"
#include "recorder/engine/FrameHeader.h"
#include "recorder/engine/SilenceCut.h"

#include <algorithm>
#include <cstdio>

namespace recorder {
namespace {

// Audio kept ahead of a window to settle the decoder: a few of the largest frames.
constexpr std::uint64_t preroll = 8192;
constexpr std::uint32_t fallbackRate = 16000; // 128 kbit/s

} // namespace

CutPlanner::CutPlanner(Write write, StartSong startSong, double beforeSeconds, double afterSeconds,
                       std::uint32_t bytesPerSecond, Frames frames)
    : write_(std::move(write)), startSong_(std::move(startSong)), beforeSeconds_(std::max(0.0, beforeSeconds)),
      afterSeconds_(std::max(0.0, afterSeconds)), announcedRate_(bytesPerSecond), frames_(frames) {}

void CutPlanner::addAudio(const std::uint8_t* bytes, std::size_t length) {
    buffer_.insert(buffer_.end(), bytes, bytes + length);
    process(false);
}

void CutPlanner::titleChanged(std::string title) {
    if (!hasSong_) {
        hasSong_ = true;
        startSong_(title);
    } else {
        changes_.push_back({received(), std::move(title)});
    }
    process(false);
}

void CutPlanner::finish() { process(true); }

void CutPlanner::decideRate() {
    if (rateKnown_)
        return;
    if (beforeSeconds_ == 0 && afterSeconds_ == 0) { // no window: the rate does not matter
        rate_ = announcedRate_ ? announcedRate_ : fallbackRate;
        rateKnown_ = true;
        return;
    }
    std::uint32_t rate = 0;
    std::int32_t first = 0;
    const std::size_t live = buffer_.size() - dead_;
    if (frames_ == Frames::Adts) {
        rate = adtsBytesPerSecond(buffer_.data() + dead_, std::min<std::size_t>(live, 1 << 20));
        if (rate == 0 && live < 16384)
            return; // too little to tell yet
    } else if (mpeg_find_first_header(buffer_.data() + dead_, static_cast<std::int32_t>(std::min<std::size_t>(live, 1 << 20)),
                                      3, &first) == 0) {
        frame_header header;
        get_header(buffer_.data() + dead_ + first, &header);
        rate = decode_bitrate(&header) * 125;
    } else if (live < 16384) {
        return; // too little to tell yet
    }
    if (rate == 0)
        rate = announcedRate_ ? announcedRate_ : fallbackRate;
    rate_ = rate;
    before_ = static_cast<std::uint64_t>(beforeSeconds_ * rate);
    after_ = static_cast<std::uint64_t>(afterSeconds_ * rate);
    rateKnown_ = true;
}

void CutPlanner::process(bool ending) {
    decideRate();
    if (!rateKnown_ && !ending)
        return;
    while (!changes_.empty()) {
        const TitleChange& change = changes_.front();
        std::uint64_t windowEnd = change.position + after_;
        if (changes_.size() > 1)
            windowEnd = std::min(windowEnd, changes_[1].position); // a song ends before the next title
        if (!ending && received() < windowEnd)
            break;
        cutAt(change, std::min(windowEnd, received()));
        changes_.pop_front();
    }
    if (!hasSong_)
        return;
    // What no later search can reach is written: all but the last `before` bytes, and nothing
    // of a title change's window that is still open.
    std::uint64_t limit = received();
    if (!ending) {
        const std::uint64_t horizon = changes_.empty() ? received() : changes_.front().position;
        limit = horizon > before_ ? horizon - before_ : 0;
    }
    writeUpTo(std::max(limit, written_));

    // Drop what neither a write nor a window's pre-roll needs; move the rest down now and then.
    const std::uint64_t keepFrom = std::max(start_, written_ > preroll ? written_ - preroll : 0);
    dead_ += static_cast<std::size_t>(keepFrom - start_);
    start_ = keepFrom;
    if (dead_ > buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(dead_));
        dead_ = 0;
    }
}

void CutPlanner::cutAt(const TitleChange& change, std::uint64_t windowEnd) {
    const std::uint64_t windowStart = std::max(written_, change.position > before_ ? change.position - before_ : 0);
    const std::uint64_t searchStart = std::max(start_, windowStart > preroll ? windowStart - preroll : 0);
    std::uint32_t cut = 0;
    const auto find = frames_ == Frames::Adts ? findAdtsCut : findsep_silence;
    const int result = find(at(searchStart), static_cast<std::uint32_t>(windowEnd - searchStart),
                                       static_cast<std::uint32_t>(windowStart - searchStart),
                                       static_cast<std::uint32_t>(std::min(change.position, windowEnd) - searchStart),
                                       &cut);
    const std::uint64_t position = std::clamp<std::uint64_t>(searchStart + cut, windowStart, windowEnd);
    char line[160];
    std::snprintf(line, sizeof line, "Cut %+.2f s from the title change (%s)",
                  (static_cast<double>(position) - static_cast<double>(change.position)) / (rate_ ? rate_ : fallbackRate),
                  result == 0 ? "quietest stretch" : result == CUT_NOT_QUIETER ? "nothing quieter" : "no frames");
    platform::log(line);
    writeUpTo(position);
    startSong_(change.title);
}

void CutPlanner::writeUpTo(std::uint64_t position) {
    if (position <= written_)
        return;
    const std::uint8_t* bytes = at(written_);
    const auto length = static_cast<std::size_t>(position - written_);
    // Counted as written before the write: bytes a failed write may have lost are never
    // written twice.
    written_ = position;
    write_(bytes, length);
}

} // namespace recorder
