// The read loop of Stream: audio blocks of `metaint` bytes, each followed by a length byte and a
// metadata block. A non-empty metadata block with a title is a title change; the cut planner
// decides where the songs really change, around it. Songs are written into the station's
// "incomplete" folder and move into the station's folder when finished; the first song of a
// connection and a song cut short by a lost connection are partial and stay where they are.
#include "recorder/engine/SongTag.h"
#include "recorder/engine/Stream.h"

#include "platform/core/Exception.h"
#include "platform/core/Files.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "recorder/engine/CutPlanner.h"
#include "recorder/engine/RecordingErrors.h"

#include <cstdlib>

namespace recorder {
namespace {

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception("Stream", reason); }

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

bool Stream::readBlock(std::size_t n, net::Bytes& out) {
    const double stall = stall_;
    out.clear();
    try {
        // A receive that gets nothing while the connection stands has waited out the stall
        // limit (the socket's receive time limit).
        while (socket_->buffer().length() < n && socket_->isConnected()) {
            if (socket_->fillBuffer() > 0)
                continue;
            if (!socket_->isConnected() || stopRequested())
                break; // the station closed, or a stop shut the connection
            throw ConnectionLost(stalledText(stall));
        }
    } catch (const platform::Exception& e) {
        if (e.name().rfind("Socket:", 0) != 0 || stopRequested())
            throw;
        throw ConnectionLost(connectionFailureText(e));
    }
    const auto& buffer = socket_->buffer();
    const std::size_t available = std::min(n, buffer.length());
    if (auto block = socket_->readData(static_cast<std::int32_t>(available)))
        out = std::move(*block);
    return out.size() == n;
}

void Stream::writeAudio(const std::uint8_t* bytes, std::size_t length) {
    if (length == 0)
        return;
    if (const auto error = file_->write(bytes, length))
        throw FileFailure(fileFailureText(error, folderOf(file_->path())));
    std::lock_guard lock(mutex_);
    file_->setBytes(file_->bytes() + length);
    touch(*file_);
}

void Stream::finishSong(bool partial) {
    file_->close();
    std::lock_guard lock(mutex_);
    if (!partial && !file_->isFirst()) {
        if (const auto error = file_->moveTo(file_->finishedFolder()))
            throw FileFailure(fileFailureText(error, file_->finishedFolder()));
        file_->setIsIncomplete(false);
    }
    file_->setIsCurrent(false);
    touch(*file_);
    file_.reset();
}

void Stream::startSong(const std::string& title) {
    const bool first = file_ == nullptr;
    if (!first)
        finishSong();
    // A station renamed while it records puts its new songs in the folder of its new name.
    if (descriptor_->objectForKey("stationName") != folderName())
        createDirectories();
    std::string folder, finished;
    {
        std::lock_guard lock(mutex_);
        folder = incompleteDir_;
        finished = fileDir_;
    }
    std::shared_ptr<File> song;
    if (const auto error = File::create(folder, title, &song, audioKind_ == AudioKind::Aac ? ".aac" : ".mp3"))
        throw FileFailure(fileFailureText(error, folder));
    std::unique_lock lock(mutex_);
    song->setIsFirst(first);
    song->setIsCurrent(true);
    song->setIsIncomplete(true);
    song->setFinishedFolder(finished);
    touch(*song);
    files_.push_back(song);
    file_ = std::move(song);
    const bool tags = writesTags_;
    lock.unlock();
    // The tag goes first; after it, the bytes are what the station sent.
    if (tags) {
        const std::string tag = id3v2Tag({title, descriptor_->objectForKey("stationName").value_or(""), todaysDate(),
                                          descriptor_->objectForKey("serverURL").value_or("")});
        writeAudio(reinterpret_cast<const std::uint8_t*>(tag.data()), tag.size());
    }
}

void Stream::readStream(OverlapTrimmer& trimmer, bool& recorded) {
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
        before, after, kbps > 0 && kbps <= 1000 ? static_cast<std::uint32_t>(kbps * 125) : 0,
        audioKind_ == AudioKind::Aac ? CutPlanner::Frames::Adts : CutPlanner::Frames::Mpeg);
    const auto feed = [&](std::string_view audio) {
        planner.addAudio(reinterpret_cast<const std::uint8_t*>(audio.data()), audio.size());
    };

    setState(Recording);
    net::Bytes audio, metadata;
    try {
        while (!stopRequested()) {
            const bool whole = readBlock(static_cast<std::size_t>(metaint_), audio);
            if (!audio.empty())
                recorded = recorded || planner.hasSong();
            feed(trimmer.pass(audio.data(), audio.size()));
            if (!whole) {
                if (stopRequested())
                    break;
                throw ConnectionLost(stationClosedText);
            }
            if (!readBlock(1, metadata))
                continue; // the loop ends on the stop, or fails on the next read
            const std::int32_t metaLength = metadata[0] * 16;
            if (metaLength == 0) {
                if (!planner.hasSong())
                    fail("Station does not send song titles");
                continue;
            }
            if (!readBlock(static_cast<std::size_t>(metaLength), metadata))
                continue;
            const std::string title = nameFromMetadata(platform::utf8OrLatin1(
                std::string_view(reinterpret_cast<const char*>(metadata.data()), metadata.size())));
            if (!title.empty())
                planner.titleChanged(title);
            else if (!planner.hasSong()) // a blank first title: the song is the station's for now
                planner.titleChanged(descriptor_->objectForKey("stationName").value_or(host_));
            // A blank title later (ads, jingles) keeps the current song going.
            recorded = recorded || planner.hasSong();
        }
    } catch (const ConnectionLost&) {
        // What arrived, and what was held back, is audio the station did send: it goes into
        // its songs, and the song it cut short stays partial.
        feed(trimmer.flush());
        planner.finish();
        if (file_)
            finishSong(/*partial=*/true);
        throw;
    } catch (...) {
        if (!writeFailed && planner.hasSong()) {
            try {
                feed(trimmer.flush());
                planner.finish();
            } catch (const std::exception& e) {
                platform::log(std::string("*** Stream, the audio held back could not be written: ") + e.what());
            }
        }
        throw;
    }
    feed(trimmer.flush());
    planner.finish();
}

} // namespace recorder
