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
// editor, the output folder, then `lame` once per track or once for all tracks, with the
// track status line, the time remaining, progress bars, skip and stop. Failed runs are
// collected and reported in one alert at the end; the finish sound plays only for a job
// without failures.
class LAMEProcess : public QObject, public FreedbDelegate {
    Q_OBJECT
public:
    explicit LAMEProcess(AppController& controller, QObject* parent = nullptr);
    ~LAMEProcess() override;

    void runEncoder();
    void skipTrack();
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
    void ripASingleTrack();
    void getData(const QByteArray& chunk);
    void runEnded(QProcess* process, bool naturally);
    void finishJob(bool naturally);

    AppController& controller_;
    TrackInfo* trackInfo_;
    FreedbAlbumMatchesController* matches_;
    QString encoderPath_;
    std::chrono::milliseconds freedbTimeout_{30000};

    RipJob job_;
    std::size_t next_ = 0;      // the run to start next
    QProcess* chore_ = nullptr; // the run in progress
    std::string outputTail_;    // the end of the run's output, for its progress reports
    QStringList failedTracks_;
};

} // namespace ripper
