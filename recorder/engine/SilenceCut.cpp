#include "recorder/engine/SilenceCut.h"

#include "recorder/engine/FrameHeader.h"
#include "recorder/engine/Mpglib.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace recorder {

int decode_buffer(const std::uint8_t* d, std::int32_t n, std::vector<std::int16_t>* pcm, std::uint32_t* samples) {
    const std::size_t cap = 50 * static_cast<std::size_t>(n > 0 ? n : 0);
    std::vector<std::uint8_t> area(cap, 0);
    std::size_t c = 0;
    bool started = false;
    int result = MP3_ERR;
    int done = 0;

    auto space = [&] { return static_cast<int>(std::min<std::size_t>(cap - c, 0x7fffffff)); };

    mpstr mp;
    InitMP3(&mp);
    decodeMP3(&mp, d, n, area.data(), space(), &done);
    do {
        result = decodeMP3(&mp, nullptr, 0, area.data() + c, space(), &done);
        if (result == MP3_ERR) {
            // Re-synchronise on the next run of consistent frames after what was used.
            const int consumed = n - mp.bsize();
            std::printf("\nmpglib error at: %d\n", mp.bsize());
            std::fflush(stdout);
            d += consumed;
            n -= consumed;
            std::int32_t h = 0;
            if (mpeg_find_first_header(d, n, 5, &h) != 0)
                h = 0;
            d += h;
            n -= h;
            ExitMP3(&mp);
            InitMP3(&mp);
            result = decodeMP3(&mp, d, n, area.data() + c, space(), &done);
            if (mp.framesize == 0 && h == 0 && done == 0 && result == MP3_ERR)
                break;
        } else {
            if (started) {
                c += static_cast<std::size_t>(done);
            } else if (done >= 2) {
                std::int16_t first;
                std::memcpy(&first, area.data(), sizeof first);
                // Leading frames whose first sample lies in 0..255 are a decoder warming up.
                if (static_cast<std::uint16_t>(first) > 255)
                    started = true;
            }
            if (c > cap) {
                ExitMP3(&mp);
                return CUT_OUTPUT_TOO_BIG;
            }
        }
    } while (mp.bsize() > 0 && result != MP3_NEED_MORE);
    ExitMP3(&mp);

    try {
        pcm->assign(reinterpret_cast<const std::int16_t*>(area.data()),
                    reinterpret_cast<const std::int16_t*>(area.data()) + c / 2);
    } catch (const std::bad_alloc&) {
        if (c != 0)
            return CUT_SHRINK_FAILED;
    }
    *samples = static_cast<std::uint32_t>(c / 2);
    return 0;
}

void convert_to_mono(std::vector<std::int16_t>* pcm, std::uint32_t n, std::uint32_t* mono) {
    std::int16_t* s = pcm->data();
    const std::uint32_t m = n / 2;
    // In place: mono sample j is written after samples 2j and 2j + 1 were read.
    for (std::uint32_t j = 0; j < m; ++j)
        s[j] = static_cast<std::int16_t>((static_cast<int>(s[2 * j]) + static_cast<int>(s[2 * j + 1])) / 2);
    std::fill(s + m, s + pcm->size(), std::int16_t{0});
    *mono = m;
}

std::int32_t find_silence(const std::int16_t* samples, std::uint32_t m, int windows) {
    if (windows <= 0)
        return 0;
    const std::uint32_t w = m / static_cast<std::uint32_t>(windows);
    if (w == 0)
        return 0;
    const std::uint32_t k = m / w;
    double quietestRms = 0;
    std::uint32_t centre = 0;
    for (std::uint32_t t = 0; t < k; ++t) {
        double sum = 0;
        for (std::uint32_t i = t * w; i < (t + 1) * w; ++i)
            sum += static_cast<double>(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / w);
        if (t == 0 || rms < quietestRms) {
            quietestRms = rms;
            centre = (t + 1) * w - w / 2;
        }
    }
    std::uint32_t best = centre;
    int lowest = 0x7fffffff;
    for (std::uint32_t i = centre; i < centre + w; ++i) {
        const int value = i < m ? samples[i] : 0;
        if (value < lowest) {
            lowest = value;
            best = i;
        }
    }
    return static_cast<std::int32_t>(best);
}

int findsep_silence(const std::uint8_t* block, std::int32_t length, std::uint32_t* cut) {
    std::int32_t first = 0;
    if (length <= 0 || mpeg_find_first_header(block, length, 6, &first) != 0) {
        *cut = 0;
        return CUT_NO_HEADERS;
    }
    std::vector<std::int16_t> pcm;
    std::uint32_t n = 0;
    if (const int error = decode_buffer(block + first, length - first, &pcm, &n); error != 0) {
        *cut = static_cast<std::uint32_t>(first);
        return error;
    }
    std::uint32_t m = 0;
    convert_to_mono(&pcm, n, &m);

    const auto len = static_cast<std::uint32_t>(length);
    std::uint32_t offset = len;
    if (m > 0) {
        const std::int32_t quietest = find_silence(pcm.data(), m, 1000);
        // Single precision, as the samples are spread over the whole block, the bytes before
        // the first header included.
        const float ratio = static_cast<float>(length) / static_cast<float>(m);
        const float mapped = static_cast<float>(quietest) * ratio;
        offset = mapped >= static_cast<float>(len) ? len : static_cast<std::uint32_t>(mapped);
    }
    if (offset < len) {
        std::int32_t next = 0;
        if (mpeg_find_first_header(block + offset, length - static_cast<std::int32_t>(offset), 3, &next) == 0)
            offset += static_cast<std::uint32_t>(next);
    }
    *cut = offset > len ? len : offset;
    return 0;
}

} // namespace recorder
