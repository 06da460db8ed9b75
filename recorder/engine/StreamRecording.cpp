// The read loop of Stream: audio blocks of `metaint` bytes, each followed by a length byte and a
// metadata block. A non-empty metadata block is a title change; the cut planner decides where
// the songs really change, around it. Songs are written into the station's "incomplete" folder
// and move into the station's folder when finished; the first song of a recording is partial
// and stays where it is.
#include "recorder/engine/Stream.h"

#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "platform/core/Log.h"
#include "recorder/engine/CutPlanner.h"

#include <cstdlib>

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
    std::lock_guard lock(mutex_);
    file_->setBytes(file_->bytes() + length);
    touch(*file_);
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

void Stream::startSong(const std::string& title) {
    const bool first = file_ == nullptr;
    if (!first)
        finishSong();
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
    double before = 0, after = 0;
    {
        std::lock_guard lock(mutex_);
        before = cutBefore_;
        after = cutAfter_;
    }
    const auto announced = descriptor_->objectForKey("stationBitRate");
    const auto kbps = announced ? std::strtoul(announced->c_str(), nullptr, 10) : 0ul;
    bool writeFailed = false;
    CutPlanner planner(
        [&](const std::uint8_t* bytes, std::size_t length) {
            writeFailed = true;
            writeAudio(bytes, length);
            writeFailed = false;
        },
        [&](const std::string& title) {
            writeFailed = true;
            startSong(title);
            writeFailed = false;
        },
        before, after, kbps > 0 && kbps <= 1000 ? static_cast<std::uint32_t>(kbps * 125) : 0);

    setState(Recording);
    try {
        while (!stopRequested()) {
            const net::Bytes audio = readExact(metaint_);
            planner.addAudio(audio.data(), audio.size());
            const std::int32_t metaLength = readExact(1)[0] * 16;
            if (metaLength == 0) {
                if (!planner.hasSong())
                    fail("Station does not send song titles");
                continue;
            }
            const net::Bytes metadata = readExact(metaLength);
            const std::string title = nameFromMetadata(platform::utf8OrLatin1(
                std::string_view(reinterpret_cast<const char*>(metadata.data()), metadata.size())));
            if (title.empty())
                fail("Station doesn't broadcast song names");
            planner.titleChanged(title);
        }
    } catch (...) {
        // What was held back is audio the station did send: it goes into its songs, unless
        // writing is what failed.
        if (!writeFailed && planner.hasSong()) {
            try {
                planner.finish();
            } catch (const std::exception& e) {
                platform::log(std::string("*** Stream, the audio held back could not be written: ") + e.what());
            }
        }
        throw;
    }
    planner.finish();
}

} // namespace recorder
