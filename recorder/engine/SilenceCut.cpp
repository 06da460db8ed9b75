#include "recorder/engine/SilenceCut.h"

#include "recorder/engine/FrameHeader.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace recorder {
namespace {

// A quiet stretch lies this far below the window's median level at least...
constexpr double clearlyQuieter = 12.0;
// ...and takes in the frames up to this far above the quietest one (or half the distance to the
// median, when that is less), so that a fade's last frames join the silence after it.
constexpr double quietMargin = 10.0;
// Frames decoded after a start or a jump, before their sound can be trusted.
constexpr int settlingFrames = 2;
constexpr double silentLevel = -100.0;

class Decoder {
public:
    Decoder() {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        handle_ = mpg123_new(nullptr, nullptr);
        if (!handle_)
            return;
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
        mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
        mpg123_format_none(handle_);
        for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
            mpg123_format(handle_, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        if (mpg123_open_feed(handle_) != MPG123_OK) {
            mpg123_delete(handle_);
            handle_ = nullptr;
        }
    }
    ~Decoder() {
        if (handle_)
            mpg123_delete(handle_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool usable() const { return handle_ != nullptr; }
    bool feed(const std::uint8_t* frame, std::size_t size) { return mpg123_feed(handle_, frame, size) == MPG123_OK; }

    // Every frame decoded so far, with the decoder's number for it (counted from 0 in the order
    // fed), as interleaved samples. False when the decoder gave up.
    template <typename Sink> bool drain(Sink&& sink) {
        for (;;) {
            off_t number = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int result = mpg123_decode_frame(handle_, &number, &audio, &bytes);
            if (result == MPG123_NEED_MORE)
                return true;
            if (result == MPG123_NEW_FORMAT) {
                long rate = 0;
                int encoding = 0;
                mpg123_getformat(handle_, &rate, &channels_, &encoding);
                continue;
            }
            if (result != MPG123_OK)
                return false;
            if (audio && bytes >= 2)
                sink(number, reinterpret_cast<const std::int16_t*>(audio), bytes / 2, std::max(channels_, 1));
        }
    }

private:
    mpg123_handle* handle_ = nullptr;
    int channels_ = 2;
};

double levelOf(const std::int16_t* samples, std::size_t count, int channels) {
    const std::size_t frames = count / static_cast<std::size_t>(channels);
    if (frames == 0)
        return silentLevel;
    double sum = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        double mono = 0;
        for (int c = 0; c < channels; ++c)
            mono += samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
        mono /= channels;
        sum += mono * mono;
    }
    const double meanSquare = sum / static_cast<double>(frames) / (32768.0 * 32768.0);
    return std::max(silentLevel, 10.0 * std::log10(meanSquare + 1e-10));
}

} // namespace

std::vector<FrameLevel> frameLevels(const std::uint8_t* window, std::uint32_t length) {
    std::vector<FrameLevel> levels;
    std::int32_t first = 0;
    if (length < 4 || mpeg_find_first_header(window, static_cast<std::int32_t>(length), 3, &first) != 0)
        return levels;
    Decoder decoder;
    if (!decoder.usable())
        return levels;

    std::vector<std::uint32_t> fed;      // each frame's offset, by the decoder's number for it
    std::vector<bool> trusted;           // false for the frames that settle the decoder
    int settling = settlingFrames;
    const auto keep = [&](off_t number, const std::int16_t* samples, std::size_t count, int channels) {
        if (number >= 0 && static_cast<std::size_t>(number) < fed.size() && trusted[static_cast<std::size_t>(number)])
            levels.push_back({fed[static_cast<std::size_t>(number)], levelOf(samples, count, channels)});
    };
    std::uint32_t at = static_cast<std::uint32_t>(first);
    while (at + 4 <= length) {
        frame_header header;
        const unsigned size =
            get_header(window + at, &header) == 1 && header_sane(&header) ? get_frame_size(&header) : 0;
        if (size < 4) {
            // Not a frame where one should be: on to the next run of consistent frames.
            std::int32_t next = 0;
            if (mpeg_find_first_header(window + at + 1, static_cast<std::int32_t>(length - at - 1), 3, &next) != 0)
                break;
            at += 1 + static_cast<std::uint32_t>(next);
            settling = settlingFrames;
            continue;
        }
        if (at + size > length)
            break;
        fed.push_back(at);
        trusted.push_back(settling == 0);
        settling = std::max(0, settling - 1);
        if (!decoder.feed(window + at, size) || !decoder.drain(keep))
            break;
        at += size;
    }
    return levels;
}

bool chooseCut(const std::vector<FrameLevel>& levels, std::uint32_t from, std::uint32_t titleAt, CutChoice* choice) {
    const auto begin = std::find_if(levels.begin(), levels.end(), [&](const FrameLevel& f) { return f.offset >= from; });
    if (begin == levels.end())
        return false;
    const std::size_t start = static_cast<std::size_t>(begin - levels.begin());
    const std::size_t count = levels.size() - start;

    std::vector<double> sorted;
    sorted.reserve(count);
    for (std::size_t i = start; i < levels.size(); ++i)
        sorted.push_back(levels[i].level);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(count / 2), sorted.end());
    const double median = sorted[count / 2];
    const double quietest = *std::min_element(sorted.begin(), sorted.end());

    if (median - quietest < clearlyQuieter) {
        const auto at = std::find_if(begin, levels.end(), [&](const FrameLevel& f) { return f.offset >= titleAt; });
        *choice = {at == levels.end() ? levels.back().offset : at->offset, false};
        return true;
    }

    const double limit = quietest + std::min(quietMargin, (median - quietest) / 2);
    const auto distance = [&](std::uint32_t offset) {
        return offset > titleAt ? offset - titleAt : titleAt - offset;
    };
    std::size_t bestCentre = start, bestLength = 0;
    for (std::size_t i = start; i < levels.size();) {
        if (levels[i].level > limit) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < levels.size() && levels[end].level <= limit)
            ++end;
        const std::size_t length = end - i;
        const std::size_t centre = i + length / 2;
        if (length > bestLength ||
            (length == bestLength && distance(levels[centre].offset) < distance(levels[bestCentre].offset))) {
            bestLength = length;
            bestCentre = centre;
        }
        i = end;
    }
    *choice = {levels[bestCentre].offset, true};
    return true;
}

int findsep_silence(const std::uint8_t* window, std::uint32_t length, std::uint32_t from, std::uint32_t titleAt,
                    std::uint32_t* cut) {
    titleAt = std::min(titleAt, length);
    CutChoice choice{};
    if (!chooseCut(frameLevels(window, length), from, titleAt, &choice)) {
        *cut = std::max(titleAt, std::min(from, length));
        return CUT_NO_HEADERS;
    }
    *cut = choice.offset;
    return choice.quiet ? 0 : CUT_NOT_QUIETER;
}

} // namespace recorder
