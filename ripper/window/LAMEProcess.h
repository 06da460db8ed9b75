#pragma once

#include "ripper/RipJob.h"
#include "ripper/freedb/FreedbAccess.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace ripper {

class AppController;
class FreedbAlbumMatchesController;
class TrackInfo;

// Runs one rip job: the CD check, the freedb lookup (with the match chooser), the track
// editor, the output folder, then `lame` once per track (several tracks at once, as many as the
// preference says) or once for all tracks, with the track status line, the job's time
// remaining, progress bars, skip and stop. Each run writes a hidden file that takes its final
// name only when lame succeeds; skipped, stopped and failed runs leave nothing. Failed runs are
// collected and reported in one alert at the end, quoting lame; the finish sound plays only for
// a job without failures.
class LAMEProcess : public QObject, public FreedbDelegate {
    Q_OBJECT
public:
    explicit LAMEProcess(AppController& controller, QObject* parent = nullptr);
    ~LAMEProcess() override;

    void runEncoder();
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

    // FreedbDelegate.
    std::string getChosenCDName() override;
    void runAlertWithTitle(const std::string& title, const std::string& text) override;
    std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>& matches) override;

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
