#include "recorder/engine/Mpglib.h"

#include "recorder/engine/FrameHeader.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

namespace recorder {
namespace {

mpg123_handle* newDecoder() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (!handle)
        return nullptr;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_format_none(handle);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle) != MPG123_OK) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

} // namespace

void InitMP3(mpstr* mp) {
    mp->queue.clear();
    mp->used = 0;
    mp->framesize = 0;
    if (mp->decoder)
        mpg123_delete(mp->decoder);
    mp->decoder = newDecoder();
}

void ExitMP3(mpstr* mp) {
    mp->queue.clear();
    mp->queue.shrink_to_fit();
    mp->used = 0;
    mp->framesize = 0;
    if (mp->decoder)
        mpg123_delete(mp->decoder);
    mp->decoder = nullptr;
}

int decodeMP3(mpstr* mp, const std::uint8_t* in, int isize, std::uint8_t* out, int osize, int* done) {
    *done = 0;
    if (osize < MP3_MIN_OUTPUT || !mp->decoder)
        return MP3_ERR;
    if (in && isize > 0)
        mp->queue.insert(mp->queue.end(), in, in + isize);

    if (mp->framesize == 0) {
        if (mp->bsize() < 4)
            return MP3_NEED_MORE;
        frame_header header;
        if (get_header(mp->queue.data() + mp->used, &header) != 1 || !header_sane(&header))
            return MP3_ERR;
        const unsigned size = get_frame_size(&header);
        if (size < 4)
            return MP3_ERR;
        mp->framesize = static_cast<int>(size);
    }
    if (mp->bsize() < mp->framesize)
        return MP3_NEED_MORE;

    const std::uint8_t* frame = mp->queue.data() + mp->used;
    const auto frameSize = static_cast<std::size_t>(mp->framesize);
    mp->used += frameSize;
    mp->framesize = 0;
    if (mpg123_feed(mp->decoder, frame, frameSize) != MPG123_OK)
        return MP3_ERR;

    for (;;) {
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(mp->decoder, &frameNumber, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result == MPG123_OK) {
            const size_t n = std::min(bytes, static_cast<size_t>(osize));
            if (n && audio)
                std::memcpy(out, audio, n);
            *done = static_cast<int>(n);
            return MP3_OK;
        }
        if (result == MPG123_NEED_MORE)
            return MP3_OK; // the frame was taken but gave no output yet (a decoder warming up)
        return MP3_ERR;
    }
}

} // namespace recorder
