// The read loop of Stream: audio blocks of `metaint` bytes, each followed by a length byte and a
// metadata block. A non-empty metadata block starts a new song; the cut between the songs lies
// at the quietest spot of the block received just before it. Songs are written into the
// station's "incomplete" folder and move into the station's folder when finished; the first
// song of a recording is partial and stays where it is.
#include "recorder/engine/Stream.h"

#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "platform/core/Log.h"
#include "recorder/engine/SilenceCut.h"

namespace recorder {
namespace {

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception("Stream", reason); }
[[noreturn]] void fileFailure(const std::error_code& error) { throw platform::Exception("File", error.message()); }

} // namespace

net::Bytes Stream::readExact(std::int32_t n) {
    auto block = socket_->readData(n);
    if (!block) // the station closed: this read needs the closed socket and says so
        block = socket_->readData(n);
    if (!block)
        throw platform::Exception("Socket: Bad socket descriptor");
    return std::move(*block);
}

void Stream::writeAudio(const std::uint8_t* bytes, std::size_t length) {
    if (length == 0)
        return;
    if (const auto error = file_->write(bytes, length))
        fileFailure(error);
}

void Stream::finishSong() {
    file_->close();
    std::lock_guard lock(mutex_);
    if (!file_->isFirst()) {
        if (const auto error = file_->moveTo(fileDir_))
            fileFailure(error);
        file_->setIsIncomplete(false);
    }
    file_->setIsCurrent(false);
    touch(*file_);
}

void Stream::startSong(const std::string& title, bool first) {
    std::string folder;
    {
        std::lock_guard lock(mutex_);
        folder = incompleteDir_;
    }
    std::shared_ptr<File> song;
    if (const auto error = File::create(folder, title, &song))
        fileFailure(error);
    std::lock_guard lock(mutex_);
    song->setIsFirst(first);
    song->setIsCurrent(true);
    song->setIsIncomplete(true);
    touch(*song);
    files_.push_back(song);
    file_ = std::move(song);
}

void Stream::readStream() {
    setState(Recording);
    while (!stopRequested()) {
        const net::Bytes audio = readExact(metaint_);
        const std::int32_t metaLength = readExact(1)[0] * 16;
        if (metaLength == 0 && !file_)
            fail("Station does not send song titles");

        std::size_t offset = 0;
        if (metaLength != 0) {
            const bool hadSong = file_ != nullptr;
            if (hadSong) {
                std::uint32_t cut = 0;
                findsep_silence(audio.data(), metaint_, &cut);
                platform::log("Found silence at: " + std::to_string(cut) +
                              " in buffer of size: " + std::to_string(metaint_));
                writeAudio(audio.data(), cut);
                finishSong();
                offset = cut;
            }
            const net::Bytes metadata = readExact(metaLength);
            const std::string title = nameFromMetadata(platform::utf8OrLatin1(
                std::string_view(reinterpret_cast<const char*>(metadata.data()), metadata.size())));
            if (title.empty())
                fail("Station doesn't broadcast song names");
            startSong(title, !hadSong);
        }
        writeAudio(audio.data() + offset, audio.size() - offset);
        std::lock_guard lock(mutex_);
        file_->setBytes(file_->bytes() + static_cast<std::uint64_t>(metaint_));
        touch(*file_);
    }
}

} // namespace recorder
