#pragma once

#include "net/BufferedSocket.h"
#include "recorder/engine/File.h"
#include "recorder/engine/OverlapTrimmer.h"
#include "recorder/engine/StationDescriptor.h"
#include "platform/core/Url.h"
#include "recorder/engine/StationProtocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace recorder {

// The recorder of one station: a worker thread connects to the station and writes its audio
// into one MP3 file per song (see readStream).
//
// Thread safety: rip, pause, createDirectories, setDownloadPath, snapshot, removeRecord and the
// getters are called on the main thread; the worker writes state, error text, descriptor
// entries and the file records. Everything both sides touch is guarded by the stream's lock
// (the descriptor by its own), and the main thread reads a consistent copy with snapshot().
// A running worker keeps its Stream alive, so dropping a station never frees a running stream.
class Stream : public std::enable_shared_from_this<Stream> {
public:
    enum State : std::int32_t { Idle = 0, Recording = 1, Connecting = 3, Reconnecting = 4, Error = 20 };

    struct FileInfo {
        std::uint64_t id;
        std::string path;
        std::string name;
        std::uint64_t bytes;
        bool current;
        bool incomplete;
        bool first;
    };

    struct Snapshot {
        std::int32_t state = Idle;
        std::optional<std::string> errorString;
        StationDescriptor::Values descriptor;
        std::vector<FileInfo> files; // oldest first: all of them, or (complete false) those changed
        bool running = false;        // a worker runs
        std::uint64_t version = 0;   // pass it to the next snapshot to get only what changed since
        bool complete = false;       // `files` holds every record
        std::int32_t reconnectAttempt = 0; // while Reconnecting; `errorString` is the last error
    };

    // `downloadPath` is the folder that holds every station's folder.
    static std::shared_ptr<Stream> create(std::shared_ptr<StationDescriptor> descriptor, std::string downloadPath);

    Stream(std::shared_ptr<StationDescriptor> descriptor, std::string downloadPath);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    const std::shared_ptr<StationDescriptor>& descriptor() const { return descriptor_; }
    std::optional<std::string> objectForKey(const std::string& key) const { return descriptor_->objectForKey(key); }
    std::int32_t state() const;
    void setState(std::int32_t state);
    std::optional<std::string> errorString() const;
    std::vector<FileInfo> files() const;
    // A consistent copy, under one lock. With the version of an earlier snapshot it holds only
    // the records changed or added since (unless a record was removed since: then all of them),
    // so that a refresh costs what changed, not what exists.
    Snapshot snapshot(std::uint64_t since = 0) const;
    bool isRunning() const;

    // Start request: starts a worker unless one runs; while one is still stopping, a new one
    // starts as soon as it has ended. Starting clears the last error.
    void rip();
    // Stop request: the state becomes idle at once, and the worker ends as soon as the
    // connection gives way; what was received is written.
    void pause();
    // Makes the station's folder and its "incomplete" folder below the download folder.
    void createDirectories();
    void setDownloadPath(std::string downloadPath);
    // The cut's search window around each title change, in seconds before and after its arrival
    // (each 0 to 30; 5 and 5 unless set). Taken when a recording starts.
    void setCutWindow(double beforeSeconds, double afterSeconds);
    std::pair<double, double> cutWindow() const;
    // Whether each song file starts with an ID3v2.4 tag (title, artist, station, date, address);
    // off unless set. The bytes after the tag are what the station sent.
    void setWritesTags(bool on);
    // No audio for this long while recording counts as a lost connection (20 s unless set).
    void setStallTimeout(double seconds);
    static constexpr double defaultStallTimeout = 20.0;
    static constexpr double defaultCutWindow = 5.0;
    static constexpr double maxCutWindow = 30.0;
    // Forgets a record that is not being written; its path, or none when there is no such
    // record or it is current. The file itself is left for the caller.
    std::optional<std::string> removeRecord(std::uint64_t id);

    // Waits until no worker runs; false when the time ran out.
    bool waitUntilStopped(std::chrono::milliseconds timeout) const;

    // The worker's steps, public for the tests that drive them one by one.
    // `target` is the address's path and query as written.
    std::string requestFor(const std::string& target, const std::string& host, std::uint16_t port) const;
    static constexpr int maxRedirects = 5;
    void parseHeaders(const std::string& text);

private:
    void _rip();
    // The addresses to try: the playlist's entries, or the server URL.
    std::vector<PlaylistEntry> stationAddresses();
    // Connects to the first address that answers and reads its response header.
    void connectToStation();
    void connect(std::string address);
    // Connects (over TLS for https), sends the request and returns the response header.
    std::string requestHeader(const platform::Url& url, bool secure);
    // Records until a stop (returns) or a failure (raises; ConnectionLost when the connection
    // went). `recorded` becomes true once audio has arrived.
    void readStream(OverlapTrimmer& trimmer, bool& recorded);
    // The next `n` bytes of the stream into `out`; false when the station closed first (`out`
    // holds what came). Raises ConnectionLost when nothing arrives within the stall limit.
    bool readBlock(std::size_t n, net::Bytes& out);
    // Waits before a reconnect; false when a stop came first.
    bool waitBeforeReconnect(std::chrono::milliseconds pause);
    void endRecording();
    // Marks a record as changed; under the lock.
    void touch(File& file) { file.setChangeStamp(++changes_); }
    void failRecording(const std::string& name, const std::string& reason);
    bool stopRequested() const { return shouldDisconnect_.load(); }
    void writeAudio(const std::uint8_t* bytes, std::size_t length);
    // Ends the current song: moved among the finished ones, unless it is partial (the first of a
    // connection, or cut short by a lost connection), which stays in "incomplete".
    void finishSong(bool partial = false);
    void startSong(const std::string& title);
    std::optional<std::string> folderName() const;
    // Ends the worker; a start asked for while it was stopping begins now. Under the lock.
    void workerEnded();

    const std::shared_ptr<StationDescriptor> descriptor_;

    mutable std::mutex mutex_;
    mutable std::condition_variable stopped_;
    // Guarded by mutex_.
    std::int32_t state_ = Idle;
    std::optional<std::string> errorString_;
    bool isConnected_ = false;
    std::string downloadPath_;
    double cutBefore_ = defaultCutWindow, cutAfter_ = defaultCutWindow;
    double stallSeconds_ = defaultStallTimeout;
    bool writesTags_ = false;
    std::int32_t reconnectAttempt_ = 0;
    bool restartWhenStopped_ = false;
    std::condition_variable wake_; // a stop ends the wait before a reconnect
    std::string fileDir_;
    std::string incompleteDir_;
    std::optional<std::string> folderName_; // the station name the folders were made for
    std::shared_ptr<net::BufferedSocket> socket_; // the worker uses it unlocked; pause() interrupts it
    std::shared_ptr<File> file_;                  // the record being written; the worker alone replaces it
    std::vector<std::shared_ptr<File>> files_;    // File fields are guarded by mutex_ too
    std::uint64_t changes_ = 0;                   // counts every change to a record or the list
    std::uint64_t lastRemoval_ = 0;               // the count at the last removal of a record

    std::atomic<bool> shouldDisconnect_{false};

    // The worker's own.
    std::int32_t metaint_ = 0;
    HeaderFields headers_;
    std::string host_;
    std::uint16_t port_ = 80;
    std::string playlistTitle_; // the playlist's title of the entry being connected
    AudioKind audioKind_ = AudioKind::Mp3; // what the station sends: its songs are ".mp3" or ".aac" files
    double stall_ = defaultStallTimeout; // the stall limit of the current connection
};

} // namespace recorder
