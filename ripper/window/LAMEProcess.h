#pragma once

#include "ripper/RipJob.h"
#include "ripper/freedb/DiscLookup.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace ripper {

class AppController;
class FreedbAlbumMatchesController;
class TrackInfo;

// Runs one rip job, a step at a time, never waiting on the window's thread: the CD check, the
// lookup of the disc's titles on a worker (MusicBrainz and freedb, as the preferences say; the
// titles the user edited for this disc before take its place), the match chooser, the track
// editor, the output folder, then `lame` once per track (several tracks at once, as many as the
// preference says) or once for all tracks, with the track status line, the job's time
// remaining, progress bars, skip and stop. Each run writes a hidden file that takes its final
// name only when lame succeeds; skipped, stopped and failed runs leave nothing. Failed runs are
// collected and reported in one alert at the end, quoting lame; the finish sound plays only for
// a job without failures.
class LAMEProcess : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, LookingUp, ChoosingMatch, Editing, Encoding };

    explicit LAMEProcess(AppController& controller, QObject* parent = nullptr);
    ~LAMEProcess() override;

    void runEncoder();
    State state() const { return state_; }
    // Ends a lookup at once (the job does not start), or the job in the chooser or the editor.
    void cancelLookup();
    // Ends the oldest running track.
    void skipTrack();
    // Ends the running track of this run (an index into the job's runs).
    void skipRun(std::size_t run);
    void stop();
    bool isRunning() const;
    bool windowShouldClose();
    void resetLAMEProcessForNewCD();

    // Where the encoder is: "lame" among the application's resources.
    static QString encoderPath();
    void setEncoderPath(const QString& path) { encoderPath_ = path; }

    TrackInfo* trackInfoController() const { return trackInfo_; }
    FreedbAlbumMatchesController* albumMatchesController() const { return matches_; }
    // The lookup's time limit (tests shorten it).
    void setFreedbTimeout(std::chrono::milliseconds timeout) { freedbTimeout_ = timeout; }

signals:
    void jobFinished();

private:
    struct Running {
        QProcess* process;
        std::size_t run;        // the index of its run in the job
        std::string outputTail; // the end of its output: progress reports and lame's last words
        int percent = 0;
    };

    struct Lookup; // what a lookup's worker shares with the window

    void startLookup(const TableOfContents& toc);
    void lookupEnded(const DiscLookupOutcome& outcome);
    // The album information is settled (or there is none): the editor, then the encoding.
    void albumKnown(std::optional<AlbumEntry> album);
    void startEncoding(const std::optional<AlbumEntry>& album);
    void endLookupWorker();
    void startRuns();
    bool sourcesReady(const RipRun& run) const;
    void sourceReadingEnded(bool ok);
    void ripASingleTrack();
    void getData(QProcess* process, const QByteArray& chunk);
    void runEnded(QProcess* process, bool naturally);
    void showProgress();
    // The run's output under its final name; false (with the reason) when it cannot be kept.
    bool keepOutput(const RipRun& run, QString* problem);
    void finishJob(bool naturally);
    Running* runningProcess(QProcess* process);

    AppController& controller_;
    TrackInfo* trackInfo_;
    FreedbAlbumMatchesController* matches_;
    QString encoderPath_;
    std::chrono::milliseconds freedbTimeout_{30000};

    State state_ = State::Idle;
    std::string cdPath_;                 // the job's CD folder, from its start
    std::vector<std::string> trackList_; // and its tracks
    std::string discId_;                 // MusicBrainz's id of the disc: edited titles are kept by it
    std::shared_ptr<Lookup> lookup_;
    std::thread lookupThread_;
    std::vector<std::thread> cancelledLookups_;

    RipJob job_;
    bool active_ = false;          // a job runs: from the start of encoding to its end
    std::size_t next_ = 0;         // the run to start next
    std::size_t finished_ = 0;     // runs that have ended, however
    std::size_t kept_ = 0;         // runs whose output was kept
    std::vector<Running> running_; // oldest first
    QStringList failedTracks_;     // each with lame's last words
    qint64 startedAt_ = 0;         // the job's start, in ms since the epoch
};

} // namespace ripper
