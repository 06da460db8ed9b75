#include "recorder/engine/SilenceCut.h"

#include "recorder/engine/FrameHeader.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>

namespace recorder {
namespace {

// A quiet stretch lies this far below the window's median level at least...
constexpr double clearlyQuieter = 12.0;
// ...and takes in the frames up to this far above the quietest one (or half the distance to the
// median, when that is less), so that a fade's last frames join the silence after it.
constexpr double quietMargin = 10.0;
// Frames decoded after a start or a jump, before their sound can be trusted.
constexpr std::size_t settlingFrames = 2;
// Frames whose side information puts them this far above the quietest are not decoded whole:
// a sample of `sampleFrames` frames is decoded every `sampleEvery` frames (about a second).
constexpr double loudAbove = 20.0;
constexpr std::size_t sampleEvery = 38, sampleFrames = 2;
constexpr double silentLevel = -100.0;
constexpr double silentEstimate = -1000.0; // below any frame that carries audio data

class Decoder {
public:
    Decoder() {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        handle_ = mpg123_new(nullptr, nullptr);
        if (!handle_)
            return;
        // Loudness needs neither both channels nor the high frequencies: one channel at a quarter
        // of the rate skips most of the decoder's work (the upper subbands are not synthesised).
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_FORCE_MONO, 0);
        mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
        mpg123_param(handle_, MPG123_DOWN_SAMPLE, 2, 0);
        mpg123_format_none(handle_);
        for (long rate : {2000L, 2756L, 3000L, 4000L, 5512L, 6000L, 8000L, 11025L, 12000L})
            mpg123_format(handle_, rate, MPG123_MONO, MPG123_ENC_SIGNED_16);
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

struct Frame {
    std::uint32_t offset, size;
    bool afterJump;                 // the frames before it are not its predecessors (a re-synchronisation)
    std::optional<double> estimate; // from the side information; none when it tells nothing
};

// The window's frames, following each frame's size from the first run of consistent headers
// and re-synchronising where a frame is not where one should be.
std::vector<Frame> splitFrames(const std::uint8_t* window, std::uint32_t length) {
    std::vector<Frame> frames;
    std::int32_t first = 0;
    if (length < 4 || mpeg_find_first_header(window, static_cast<std::int32_t>(length), 3, &first) != 0)
        return frames;
    bool jumped = true;
    for (std::uint32_t at = static_cast<std::uint32_t>(first); at + 4 <= length;) {
        frame_header header;
        const unsigned size =
            get_header(window + at, &header) == 1 && header_sane(&header) ? get_frame_size(&header) : 0;
        if (size < 4) {
            std::int32_t next = 0;
            if (mpeg_find_first_header(window + at + 1, static_cast<std::int32_t>(length - at - 1), 3, &next) != 0)
                break;
            at += 1 + static_cast<std::uint32_t>(next);
            jumped = true;
            continue;
        }
        if (at + size > length)
            break;
        const int gain = layer3_global_gain(window + at, size, &header);
        // Only differences between estimates count, and they understate the differences in
        // sound (a frame 46 dB quieter comes out 15 to 30 dB lower): the estimate only chooses
        // which frames need decoding, and the decoded samples check it.
        std::optional<double> estimate;
        if (gain == LAYER3_SILENT)
            estimate = silentEstimate;
        else if (gain >= 0)
            estimate = 1.5 * gain;
        frames.push_back({at, size, jumped, estimate});
        jumped = false;
        at += size;
    }
    return frames;
}

// Decodes frames [from, to] with a fresh decoder and measures those from `trustFrom` on.
void decodeFrames(const std::uint8_t* window, const std::vector<Frame>& frames, std::size_t from, std::size_t to,
                  std::size_t trustFrom, std::vector<std::optional<double>>& levels) {
    Decoder decoder;
    if (!decoder.usable())
        return;
    const auto keep = [&](off_t number, const std::int16_t* samples, std::size_t count, int channels) {
        if (number < 0)
            return;
        const std::size_t k = from + static_cast<std::size_t>(number);
        if (k <= to && k >= trustFrom)
            levels[k] = levelOf(samples, count, channels);
    };
    for (std::size_t k = from; k <= to; ++k)
        if (!decoder.feed(window + frames[k].offset, frames[k].size) || !decoder.drain(keep))
            return;
}

// Decodes frames [from, to], settled by up to `settlingFrames` frames before `from` that follow
// on without a jump; without them, the first frames only settle the decoder. A jump inside the
// stretch starts a new decoder there.
void decodeStretch(const std::uint8_t* window, const std::vector<Frame>& frames, std::size_t from, std::size_t to,
                   std::vector<std::optional<double>>& levels) {
    std::size_t start = from;
    while (start > 0 && from - start < settlingFrames && !frames[start].afterJump)
        --start;
    std::size_t trust = from - start < settlingFrames ? std::min(to + 1, start + settlingFrames) : from;
    for (std::size_t k = from + 1; k <= to; ++k) {
        if (frames[k].afterJump) {
            decodeFrames(window, frames, start, k - 1, trust, levels);
            start = k;
            trust = std::min(to + 1, k + settlingFrames);
        }
    }
    decodeFrames(window, frames, start, to, trust, levels);
}

} // namespace

std::vector<FrameLevel> frameLevels(const std::uint8_t* window, std::uint32_t length) {
    const std::vector<Frame> frames = splitFrames(window, length);
    const std::size_t n = frames.size();
    std::vector<std::optional<double>> measured(n);
    std::vector<std::optional<double>> sampled(n); // the levels given to loud frames that are not decoded

    // Frames that may be among the quietest: those whose estimate lies near the quietest one, and
    // any whose side information tells nothing.
    std::optional<double> quietestEstimate;
    for (const Frame& f : frames)
        if (f.estimate && (!quietestEstimate || *f.estimate < *quietestEstimate))
            quietestEstimate = f.estimate;
    std::vector<bool> candidate(n, true);
    if (quietestEstimate)
        for (std::size_t k = 0; k < n; ++k)
            candidate[k] = !frames[k].estimate || *frames[k].estimate <= *quietestEstimate + loudAbove;

    // Stretches of frames alike in being candidates or not, as [from, end).
    std::vector<std::pair<std::size_t, std::size_t>> stretches;
    for (std::size_t k = 0; k < n;) {
        std::size_t end = k;
        while (end < n && candidate[end] == candidate[k])
            ++end;
        stretches.emplace_back(k, end);
        k = end;
    }
    for (const auto& [from, end] : stretches) {
        if (candidate[from]) {
            decodeStretch(window, frames, from, end - 1, measured);
            continue;
        }
        // A loud stretch: a sample every `sampleEvery` frames stands for the frames after it.
        for (std::size_t s = from; s < end; s += sampleEvery) {
            std::optional<double> level;
            // A sample with no frames before it to settle the decoder is decoded longer.
            for (const std::size_t extra : {std::size_t{0}, settlingFrames}) {
                const std::size_t last = std::min(end - 1, s + sampleFrames - 1 + extra);
                decodeStretch(window, frames, s, last, sampled);
                for (std::size_t j = s; j <= last; ++j)
                    if (sampled[j] && (!level || *sampled[j] > *level))
                        level = sampled[j];
                if (level)
                    break;
            }
            for (std::size_t j = s; j < std::min(end, s + sampleEvery); ++j)
                sampled[j] = level;
        }
    }

    // The samples must bear the side information out: clearly louder than the quietest frame.
    // Where one does not, the loud stretches are decoded whole too; what was decoded stays.
    std::optional<double> quietest;
    for (const auto& level : measured)
        if (level && (!quietest || *level < *quietest))
            quietest = level;
    bool decodeAll = false;
    for (std::size_t k = 0; k < n && !decodeAll; ++k)
        decodeAll = !candidate[k] && (!sampled[k] || !quietest || *sampled[k] < *quietest + loudAbove);
    if (decodeAll)
        for (const auto& [from, end] : stretches)
            if (!candidate[from])
                decodeStretch(window, frames, from, end - 1, measured);

    std::vector<FrameLevel> levels;
    for (std::size_t k = 0; k < n; ++k) {
        if (measured[k])
            levels.push_back({frames[k].offset, *measured[k], true});
        else if (!decodeAll && !candidate[k] && sampled[k])
            levels.push_back({frames[k].offset, *sampled[k], false});
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
