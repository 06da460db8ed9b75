#include "recorder/engine/AdtsCut.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace recorder {
namespace {

constexpr std::uint32_t sampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                         22050, 16000, 12000, 11025, 8000,  7350};
constexpr std::size_t headerRun = 3; // consistent headers in a row that make a stream

struct Frame {
    std::uint32_t offset, length;
};

// The frames from the first run of consistent headers on, up to the last whole one.
std::vector<Frame> adtsFrames(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t start = 0; start + 7 <= length; ++start) {
        const auto first = adtsHeader(bytes + start, length - start);
        if (!first)
            continue;
        std::vector<Frame> frames;
        std::size_t at = start;
        while (at + 7 <= length) {
            const auto header = adtsHeader(bytes + at, length - at);
            if (!header || header->key != first->key || at + header->frameLength > length)
                break;
            frames.push_back({static_cast<std::uint32_t>(at), header->frameLength});
            at += header->frameLength;
        }
        if (frames.size() >= headerRun || (!frames.empty() && at + 7 > length))
            return frames;
    }
    return {};
}

struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// Mean square of the decoded frame's mono signal, in dB below full scale.
double levelOf(const AVFrame& frame) {
    const int channels = frame.ch_layout.nb_channels;
    if (frame.nb_samples <= 0 || channels <= 0)
        return -100;
    double sum = 0;
    for (int i = 0; i < frame.nb_samples; ++i) {
        double mono = 0;
        for (int c = 0; c < channels; ++c) {
            if (frame.format == AV_SAMPLE_FMT_FLTP)
                mono += reinterpret_cast<const float*>(frame.extended_data[c])[i];
            else if (frame.format == AV_SAMPLE_FMT_S16P)
                mono += reinterpret_cast<const std::int16_t*>(frame.extended_data[c])[i] / 32768.0;
            else if (frame.format == AV_SAMPLE_FMT_FLT)
                mono += reinterpret_cast<const float*>(frame.extended_data[0])[i * channels + c];
            else if (frame.format == AV_SAMPLE_FMT_S16)
                mono += reinterpret_cast<const std::int16_t*>(frame.extended_data[0])[i * channels + c] / 32768.0;
        }
        mono /= channels;
        sum += mono * mono;
    }
    const double meanSquare = sum / frame.nb_samples;
    return meanSquare <= 1e-10 ? -100 : 10 * std::log10(meanSquare);
}

} // namespace

std::optional<AdtsHeader> adtsHeader(const std::uint8_t* b, std::size_t length) {
    if (length < 7 || b[0] != 0xFF || (b[1] & 0xF6) != 0xF0) // sync word, layer 0
        return std::nullopt;
    const unsigned rateIndex = (b[2] >> 2) & 0x0F;
    const unsigned channels = ((b[2] & 0x01) << 2) | (b[3] >> 6);
    const std::uint32_t frameLength = ((b[3] & 0x03u) << 11) | (static_cast<std::uint32_t>(b[4]) << 3) | (b[5] >> 5);
    const bool protectionAbsent = b[1] & 0x01;
    if (rateIndex >= std::size(sampleRates) || frameLength < (protectionAbsent ? 7u : 9u))
        return std::nullopt;
    const std::uint32_t key = (static_cast<std::uint32_t>(b[1]) << 16) | ((b[2] & 0xFDu) << 8) | (channels & 7);
    return AdtsHeader{frameLength, sampleRates[rateIndex], key};
}

std::uint32_t adtsBytesPerSecond(const std::uint8_t* bytes, std::size_t length) {
    const auto frames = adtsFrames(bytes, length);
    if (frames.size() < headerRun)
        return 0;
    std::uint64_t total = 0;
    for (const Frame& f : frames)
        total += f.length;
    const auto header = adtsHeader(bytes + frames.front().offset, length - frames.front().offset);
    // Each frame holds 1024 samples of the core stream.
    return static_cast<std::uint32_t>(total * header->sampleRate / (1024.0 * static_cast<double>(frames.size())));
}

std::vector<FrameLevel> adtsFrameLevels(const std::uint8_t* window, std::uint32_t length) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); }); // a damaged frame is measured as silence, not logged
    const auto frames = adtsFrames(window, length);
    std::vector<FrameLevel> levels;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec || frames.empty())
        return levels;
    std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> decoded(av_frame_alloc());
    if (!context || !packet || !decoded || avcodec_open2(context.get(), codec, nullptr) < 0)
        return levels;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        av_packet_unref(packet.get());
        packet->data = const_cast<std::uint8_t*>(window + frames[k].offset);
        packet->size = static_cast<int>(frames[k].length);
        double level = -100;
        if (avcodec_send_packet(context.get(), packet.get()) == 0)
            while (avcodec_receive_frame(context.get(), decoded.get()) == 0)
                level = levelOf(*decoded);
        packet->data = nullptr;
        packet->size = 0;
        if (k >= 2) // the first two settle the decoder
            levels.push_back({frames[k].offset, level});
    }
    return levels;
}

int findAdtsCut(const std::uint8_t* window, std::uint32_t length, std::uint32_t from, std::uint32_t titleAt,
                std::uint32_t* cut) {
    CutChoice choice{};
    if (!chooseCut(adtsFrameLevels(window, length), from, titleAt, &choice)) {
        *cut = std::max(titleAt, std::min(from, length));
        return CUT_NO_HEADERS;
    }
    *cut = choice.offset;
    return choice.quiet ? 0 : CUT_NOT_QUIETER;
}

} // namespace recorder
