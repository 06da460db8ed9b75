#include "recorder/engine/Stream.h"

#include <algorithm>

#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "platform/core/Files.h"
#include "platform/core/Log.h"
#include "platform/core/Url.h"
#include "platform/core/Version.h"
#include "recorder/engine/RecordingErrors.h"

#include <filesystem>
#include <sys/socket.h>
#include <sys/time.h>

#include <thread>

namespace recorder {
namespace {

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception("Stream", reason); }

// How long a playlist fetch may take before the station fails with "Bad playlist URL".
const platform::FetchLimits playlistLimits{std::chrono::seconds(10), std::chrono::seconds(20), 1 << 20};

// A response header longer than this is no station's.
constexpr std::size_t maxHeaderBytes = 64 * 1024;

// A station that has not accepted the connection by then is not going to.
constexpr int connectTimeoutMilliseconds = 15000;

} // namespace

std::shared_ptr<Stream> Stream::create(std::shared_ptr<StationDescriptor> descriptor, std::string downloadPath) {
    return std::make_shared<Stream>(std::move(descriptor), std::move(downloadPath));
}

Stream::Stream(std::shared_ptr<StationDescriptor> descriptor, std::string downloadPath)
    : descriptor_(std::move(descriptor)), downloadPath_(std::move(downloadPath)) {}

Stream::~Stream() = default;

std::int32_t Stream::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void Stream::setState(std::int32_t state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

std::optional<std::string> Stream::errorString() const {
    std::lock_guard lock(mutex_);
    return errorString_;
}

std::vector<Stream::FileInfo> Stream::files() const { return snapshot().files; }

Stream::Snapshot Stream::snapshot(std::uint64_t since) const {
    Snapshot copy;
    copy.descriptor = descriptor_->values();
    std::lock_guard lock(mutex_);
    copy.state = state_;
    copy.errorString = errorString_;
    copy.running = isConnected_;
    copy.version = changes_;
    copy.complete = since == 0 || lastRemoval_ > since;
    copy.reconnectAttempt = reconnectAttempt_;
    for (const auto& f : files_)
        if (copy.complete || f->changeStamp() > since)
            copy.files.push_back(
                {f->id(), f->path(), f->name(), f->bytes(), f->isCurrent(), f->isIncomplete(), f->isFirst()});
    return copy;
}

bool Stream::isRunning() const {
    std::lock_guard lock(mutex_);
    return isConnected_;
}

void Stream::rip() {
    std::lock_guard lock(mutex_);
    if (isConnected_) {
        if (shouldDisconnect_) {
            // Still stopping: the start waits for the old worker to end.
            restartWhenStopped_ = true;
            errorString_.reset();
            state_ = Connecting;
        }
        return;
    }
    isConnected_ = true;
    shouldDisconnect_ = false;
    errorString_.reset();
    reconnectAttempt_ = 0;
    std::thread([self = shared_from_this()] { self->_rip(); }).detach();
}

void Stream::pause() {
    std::lock_guard lock(mutex_);
    shouldDisconnect_ = true;
    restartWhenStopped_ = false;
    state_ = Idle;
    if (socket_)
        socket_->interrupt();
    wake_.notify_all();
}

bool Stream::waitUntilStopped(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return stopped_.wait_for(lock, timeout, [this] { return !isConnected_; });
}

void Stream::setDownloadPath(std::string downloadPath) {
    std::lock_guard lock(mutex_);
    downloadPath_ = std::move(downloadPath);
}

void Stream::setCutWindow(double beforeSeconds, double afterSeconds) {
    std::lock_guard lock(mutex_);
    cutBefore_ = std::clamp(beforeSeconds, 0.0, maxCutWindow);
    cutAfter_ = std::clamp(afterSeconds, 0.0, maxCutWindow);
}

std::pair<double, double> Stream::cutWindow() const {
    std::lock_guard lock(mutex_);
    return {cutBefore_, cutAfter_};
}

void Stream::setStallTimeout(double seconds) {
    std::lock_guard lock(mutex_);
    stallSeconds_ = std::max(0.1, seconds);
}

std::optional<std::string> Stream::removeRecord(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    for (auto it = files_.begin(); it != files_.end(); ++it) {
        if ((*it)->id() != id)
            continue;
        if ((*it)->isCurrent() || *it == file_)
            return std::nullopt;
        std::string path = (*it)->path();
        files_.erase(it);
        lastRemoval_ = ++changes_;
        return path;
    }
    return std::nullopt;
}

void Stream::_rip() {
    bool recorded = false; // audio has arrived since the start: a lost connection is retried
    std::int32_t attempt = 0;
    std::string lastError;
    OverlapTrimmer trimmer;
    try {
        for (;;) {
            if (attempt > 0) {
                {
                    std::lock_guard lock(mutex_);
                    state_ = Reconnecting;
                    reconnectAttempt_ = attempt;
                    errorString_ = lastError;
                }
                // 1, 2, 4 ... seconds, at most a minute.
                const auto pause = std::chrono::seconds(1LL << std::min(attempt - 1, 6));
                if (!waitBeforeReconnect(std::min<std::chrono::milliseconds>(pause, std::chrono::minutes(1))))
                    break;
            }
            try {
                getPlaylistFile();
                if (!stopRequested())
                    connect();
            } catch (const platform::Exception& e) {
                if (stopRequested())
                    break;
                if (!recorded)
                    throw;
                // While reconnecting, whatever keeps the station away may pass: a server that is
                // restarting, a mount that is not up yet, a network that comes back.
                lastError = e.name().rfind("Socket:", 0) == 0 ? connectionFailureText(e) : e.reason();
                platform::log("*** Reconnecting: " + lastError);
                ++attempt;
                continue;
            }
            if (stopRequested())
                break;
            {
                std::lock_guard lock(mutex_);
                reconnectAttempt_ = 0;
                errorString_.reset();
            }
            if (recorded)
                trimmer.reconnected();
            try {
                readStream(trimmer, recorded);
                break; // a stop
            } catch (const ConnectionLost& lost) {
                if (stopRequested())
                    break;
                if (!recorded)
                    throw;
                lastError = lost.reason();
                platform::log("*** Reconnecting: " + lastError);
                attempt = 1;
            }
        }
        endRecording();
    } catch (const platform::Exception& e) {
        // A stop request shuts the connection down; the failure that follows is the stop itself.
        if (stopRequested() && e.name().rfind("Socket:", 0) == 0)
            endRecording();
        else
            failRecording(e.name(), e.reason());
    } catch (const std::bad_alloc&) {
        failRecording("Stream", "Out of memory");
    } catch (const std::exception& e) {
        failRecording("Stream", e.what());
    }
}

bool Stream::waitBeforeReconnect(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, pause, [this] { return shouldDisconnect_.load(); });
}

void Stream::endRecording() {
    std::lock_guard lock(mutex_);
    state_ = Idle;
    workerEnded();
}

void Stream::failRecording(const std::string& name, const std::string& reason) {
    platform::log("*** " + name + ", " + reason);
    std::lock_guard lock(mutex_);
    errorString_ = reason;
    state_ = Error;
    workerEnded();
}

void Stream::workerEnded() {
    if (socket_) {
        socket_->close();
        socket_.reset();
    }
    // The song being written ends with the recording: a new start never writes into it.
    if (file_) {
        file_->setIsCurrent(false);
        touch(*file_);
        file_->close();
        file_.reset();
    }
    reconnectAttempt_ = 0;
    if (restartWhenStopped_) {
        restartWhenStopped_ = false;
        shouldDisconnect_ = false;
        errorString_.reset();
        state_ = Connecting;
        std::thread([self = shared_from_this()] { self->_rip(); }).detach();
        return;
    }
    isConnected_ = false;
    stopped_.notify_all();
}

void Stream::getPlaylistFile() {
    const auto playlistURL = descriptor_->objectForKey("playlistURL");
    if (!playlistURL)
        return;
    setState(Connecting);
    if (!platform::Url::parse(*playlistURL))
        fail("Bad playlist URL");
    const auto text = platform::fetchText(*playlistURL, playlistLimits);
    if (!text || text->empty())
        fail("Bad playlist URL");
    if (auto serverURL = serverURLFromPlaylist(*text))
        descriptor_->setObject("serverURL", *serverURL);
}

std::string Stream::requestFor(const std::string& path, const std::string& host, std::uint16_t port) const {
    return "GET " + (path.empty() ? std::string("/") : path) + " HTTP/1.0\r\n" + "Host: " + host + ":" +
           std::to_string(port) + "\r\n" + "User-Agent: Aircask " + platform::aircaskVersion + "\r\n" + "Icy-MetaData:1\r\n" +
           "Accept: */*\r\n\r\n";
}

void Stream::connect() {
    std::string serverURL = descriptor_->objectForKey("serverURL").value_or("");
    if (serverURL.rfind("https://", 0) == 0)
        fail("Secure (https) streams are not supported yet");
    if (serverURL.rfind("http://", 0) != 0)
        serverURL = "http://" + serverURL;
    const auto url = platform::Url::parse(serverURL);
    if (!url || url->host.empty() || url->scheme != "http")
        fail("Bad server URL");
    host_ = url->host;
    port_ = url->port.value_or(80);

    // The close lock: pause() interrupts this socket from the main thread.
    auto socket = std::make_shared<net::BufferedSocket>(net::CloseLock::On);
    {
        std::lock_guard lock(mutex_);
        state_ = Connecting;
        socket_ = socket;
    }
    if (stopRequested())
        return;
    // Taken once a connection: the read loop uses the worker's own copy, without the lock.
    {
        std::lock_guard lock(mutex_);
        stall_ = stallSeconds_;
    }
    const double stall = stall_;
    std::optional<std::string> header;
    try {
        socket->connectToHostName(host_, port_, connectTimeoutMilliseconds);
        if (stopRequested())
            return;
        // Every receive gives up after the stall limit: the read loop needs no wait of its own.
        timeval limit{};
        limit.tv_sec = static_cast<time_t>(stall);
        limit.tv_usec = static_cast<suseconds_t>((stall - static_cast<double>(limit.tv_sec)) * 1e6);
        ::setsockopt(socket->socketfd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

        // One write per line, as the request has always gone out.
        const std::string request = requestFor(url->path, host_, port_);
        for (std::size_t at = 0; at < request.size();) {
            const std::size_t end = request.find("\r\n", at) + 2;
            socket->writeString(std::string_view(request).substr(at, end - at));
            at = end;
        }

        while (!socket->buffer().containsString("\r\n\r\n")) {
            if (socket->buffer().length() > maxHeaderBytes)
                fail("Station sends a response header that is too long");
            if (!socket->isConnected() || !socket->waitUntilReadable(static_cast<int>(stall * 1000)))
                throw ConnectionLost(socket->isConnected() ? stalledText(stall)
                                                           : "Station closed the connection before sending its headers");
            if (socket->fillBuffer() == 0 && !socket->isConnected())
                throw ConnectionLost("Station closed the connection before sending its headers");
        }
        header = socket->readStringUpToString("\r\n\r\n");
    } catch (const ConnectionLost&) {
        throw;
    } catch (const platform::Exception& e) {
        if (e.name().rfind("Socket:", 0) != 0 || stopRequested())
            throw;
        throw ConnectionLost(connectionFailureText(e));
    }
    parseHeaders(*header);
}

void Stream::parseHeaders(const std::string& text) {
    headers_ = parseResponseHeader(platform::utf8OrLatin1(text));
    const auto copyField = [&](const char* field, const char* key) {
        const auto found = headers_.find(field);
        if (found != headers_.end() && !found->second.empty())
            descriptor_->setObject(key, found->second);
    };
    copyField("icy-name", "stationName");
    copyField("icy-genre", "stationGenre");
    copyField("icy-url", "stationURL");
    copyField("icy-br", "stationBitRate");
    if (!descriptor_->objectForKey("stationName"))
        descriptor_->setObject("stationName", port_ == 80 ? host_ : host_ + ":" + std::to_string(port_));
    metaint_ = metadataInterval(headers_);
    createDirectories();
}

void Stream::createDirectories() {
    const auto stationName = descriptor_->objectForKey("stationName");
    if (!stationName)
        return;
    std::string downloadPath;
    {
        std::lock_guard lock(mutex_);
        downloadPath = downloadPath_;
    }
    // The download folder itself is made when missing (a first run has no Music folder yet).
    std::error_code ignored;
    std::filesystem::create_directories(downloadPath, ignored);
    const std::string fileDir = platform::joinPath(downloadPath, stationFolderName(*stationName));
    const std::string incompleteDir = platform::joinPath(fileDir, "incomplete");
    // A folder that cannot be made shows up as the failure to create the first song in it.
    platform::createDirectory(fileDir);
    descriptor_->setObject("fileDir", fileDir);
    platform::createDirectory(incompleteDir);
    std::lock_guard lock(mutex_);
    fileDir_ = fileDir;
    incompleteDir_ = incompleteDir;
}

} // namespace recorder
