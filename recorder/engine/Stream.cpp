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

void Stream::setWritesTags(bool on) {
    std::lock_guard lock(mutex_);
    writesTags_ = on;
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
                connectToStation();
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

std::vector<PlaylistEntry> Stream::stationAddresses() {
    const auto playlistURL = descriptor_->objectForKey("playlistURL");
    if (!playlistURL)
        return {{descriptor_->objectForKey("serverURL").value_or(""), ""}};
    setState(Connecting);
    if (!platform::isSendableAddress(*playlistURL) || !platform::Url::parse(*playlistURL))
        fail("Bad playlist URL");
    platform::HttpRequest request;
    request.url = *playlistURL;
    request.userAgent = std::string("Aircask ") + platform::aircaskVersion;
    request.limits = playlistLimits;
    request.cancelled = [this] { return stopRequested(); };
    const auto response = platform::fetch(request);
    if (stopRequested())
        return {};
    if (!response.answered) {
        // A certificate that is not trusted is said as such, naming the host.
        if (response.error.find("certificate") != std::string::npos || response.error.find("SSL") != std::string::npos)
            fail("The playlist's server " + platform::Url::parse(*playlistURL)->host +
                 " could not be reached securely: " + response.error);
        fail("Bad playlist URL");
    }
    if (response.status != 200 || response.body.empty())
        fail("Bad playlist URL");
    return playlistEntries(response.body);
}

void Stream::connectToStation() {
    const auto entries = stationAddresses();
    // A playlist's entries are tried in turn: the first that answers is recorded.
    for (std::size_t i = 0; i < entries.size() && !stopRequested(); ++i) {
        try {
            playlistTitle_ = entries[i].title;
            connect(entries[i].address);
            if (descriptor_->objectForKey("playlistURL"))
                descriptor_->setObject("serverURL", entries[i].address);
            return;
        } catch (const platform::Exception& e) {
            if (i + 1 == entries.size() || stopRequested())
                throw;
            platform::log("*** " + entries[i].address + ": " + e.reason() + "; trying the playlist's next entry");
        }
    }
}

std::string Stream::requestFor(const std::string& target, const std::string& host, std::uint16_t port) const {
    return "GET " + (target.empty() ? std::string("/") : target) + " HTTP/1.0\r\n" + "Host: " + host + ":" +
           std::to_string(port) + "\r\n" + "User-Agent: Aircask " + platform::aircaskVersion + "\r\n" + "Icy-MetaData:1\r\n" +
           "Accept: */*\r\n\r\n";
}

void Stream::connect(std::string address) {
    if (address.find("://") == std::string::npos)
        address = "http://" + address;
    // Redirects are followed, also from http to https, five at most.
    for (int redirects = 0;; ++redirects) {
        const auto url = platform::isSendableAddress(address) ? platform::Url::parse(address) : std::nullopt;
        if (!url || url->host.empty() || (url->scheme != "http" && url->scheme != "https"))
            fail("Bad server URL");
        const bool secure = url->scheme == "https";
        host_ = url->host;
        port_ = url->port.value_or(secure ? 443 : 80);
        const std::string header = requestHeader(*url, secure);
        if (stopRequested())
            return;
        const int status = responseStatus(header);
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            const auto location = headerField(parseHeaderFields(header), "Location");
            if (!location)
                fail(header.substr(0, header.find("\r\n")));
            if (redirects == maxRedirects)
                fail("Station redirects more than " + std::to_string(maxRedirects) + " times");
            const auto next = platform::resolveAddress(address, *location);
            if (!next)
                fail("Station redirects to a bad address: " + *location);
            platform::log("Station redirects to " + *next);
            address = *next;
            continue;
        }
        parseHeaders(header);
        return;
    }
}

std::string Stream::requestHeader(const platform::Url& url, bool secure) {
    // The close lock: pause() interrupts this socket from the main thread.
    auto socket = std::make_shared<net::BufferedSocket>(net::CloseLock::On);
    {
        std::lock_guard lock(mutex_);
        state_ = Connecting;
        socket_ = socket;
    }
    if (stopRequested())
        return {};
    // Taken once a connection: the read loop uses the worker's own copy, without the lock.
    {
        std::lock_guard lock(mutex_);
        stall_ = stallSeconds_;
    }
    const double stall = stall_;
    try {
        socket->connectToHostName(host_, port_, connectTimeoutMilliseconds);
        if (stopRequested())
            return {};
        if (secure)
            socket->startTls(host_, connectTimeoutMilliseconds);
        // Every receive gives up after the stall limit: the read loop needs no wait of its own.
        timeval limit{};
        limit.tv_sec = static_cast<time_t>(stall);
        limit.tv_usec = static_cast<suseconds_t>((stall - static_cast<double>(limit.tv_sec)) * 1e6);
        ::setsockopt(socket->socketfd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

        // One write per line, as the request has always gone out. The address's path and
        // query go out as written.
        const std::string request = requestFor(url.target, host_, port_);
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
        return socket->readStringUpToString("\r\n\r\n").value_or(std::string());
    } catch (const ConnectionLost&) {
        throw;
    } catch (const platform::Exception& e) {
        if (e.name().rfind("Socket:", 0) != 0 || stopRequested())
            throw;
        throw ConnectionLost(connectionFailureText(e));
    }
}

void Stream::parseHeaders(const std::string& text) {
    headers_ = parseResponseHeader(platform::utf8OrLatin1(text));
    // What cannot be recorded is refused before anything is made or written.
    const std::string type = headerField(headers_, "Content-Type").value_or("");
    audioKind_ = audioKindOf(type);
    if (audioKind_ == AudioKind::Other)
        fail("This station sends " + type + ", which Aircask cannot record yet");
    const auto copyField = [&](const char* field, const char* key) {
        const auto found = headers_.find(field);
        if (found != headers_.end() && !found->second.empty())
            descriptor_->setObject(key, found->second);
    };
    copyField("icy-genre", "stationGenre");
    copyField("icy-url", "stationURL");
    copyField("icy-br", "stationBitRate");
    // A name the user gave stays; otherwise the server's, the playlist's, or host and port.
    if (!descriptor_->objectForKey("stationNameGiven")) {
        const auto serverName = headerField(headers_, "icy-name");
        const bool defaultPort = port_ == 80 || port_ == 443;
        descriptor_->setObject("stationName", serverName && !serverName->empty() ? *serverName
                                              : !playlistTitle_.empty()           ? playlistTitle_
                                              : defaultPort                       ? host_
                                                                                  : host_ + ":" + std::to_string(port_));
    }
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
    folderName_ = *stationName;
}

std::optional<std::string> Stream::folderName() const {
    std::lock_guard lock(mutex_);
    return folderName_;
}

} // namespace recorder
