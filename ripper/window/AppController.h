#pragma once

#include "ripper/CdSource.h"
#include "ripper/EncoderArguments.h"
#include "ripper/RipperPreferences.h"
#include "ripper/freedb/DiscLookup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

class QButtonGroup;
class QProgressDialog;
class QMainWindow;

namespace Ui {
class MainWindow;
}
namespace platform {
class Desktop;
}

namespace ripper {

class LAMEProcess;

// Discwell's main window: its option controls (loaded from and saved to the preferences file),
// the status lines, the choice of the CD folder and output folder, help, alerts, and the
// termination handlers that stop a running job and save the options.
class AppController : public QObject {
    Q_OBJECT
public:
    // `preferencesPath` empty: "~/.config/Discwell/com.Quarnel.Discwell.plist".
    AppController(platform::Desktop& desktop, QString preferencesPath = QString(), QObject* parent = nullptr);
    ~AppController() override;

    void awakeFromNib();
    int loadPreferences();
    int savePreferences();
    RipperPreferences currentPreferences() const;

    // Option queries and fields.
    bool shouldRipAsSingleTrack() const;
    bool shouldConvertSpacesToUnderscores() const;
    bool shouldAddID3Tags() const;
    bool shouldMakeAltPresetFaster() const;
    bool shouldSoundAlertWhenFinished() const;
    bool shouldEditTrackInformation() const;
    bool shouldCreateSeparateArtistAlbumDirs() const;
    QString getChosenCDName() const;
    QString getChosenOutputDirectory() const;
    QString getChosenFreedbServer() const;
    // Where and how the disc is looked up: the services' order, the freedb server, the user's
    // e-mail address and MusicBrainz's address.
    DiscLookupSettings discLookupSettings() const;
    // MusicBrainz's address (a setting of the preferences file; tests point it elsewhere).
    void setMusicBrainzServer(const QString& address) { musicBrainzServer_ = address; }
    // Where discs read from a drive are kept, and where edited titles are kept with their disc.
    QString cdCacheFolder() const;
    QString getptl() const;
    QString getMP3NameStyle() const;
    EncoderOptions encoderOptions() const;
    void setptl(const QString& text);
    void setptf(const QString& text);
    void setProgress(int trackPercent, int jobPercent);
    // The album folder of the running job, shown while it runs (empty: none).
    void setJobFolder(const QString& folder);
    // One line with a bar and a Skip button for each track being encoded, while several are.
    struct RunningTrack {
        std::size_t run;
        QString name;
        int percent;
    };
    void showRunningTracks(const std::vector<RunningTrack>& tracks);
    // How many tracks are encoded at once: the preference, or the number of cores when it is 0.
    int encoderJobs() const;
    void setOutputDirectory(const QString& path);
    void setExpertTextFieldEnabled(bool enabled);
    void setNameStyleTextFieldEnabled(bool enabled);
    void switchBasicConfig();

    // The CD source.
    void selectAudioCD();
    // Starts reading an audio CD drive or a disc image into a CD folder in the cache, on a worker,
    // with a progress window that can cancel it. The folder is chosen as soon as the disc's table
    // of contents is known, so a job may start while the tracks are still being read: each
    // track's encoding waits for its file. A reading still going is cancelled first. False when
    // a job runs (the source cannot change then).
    bool readCdSource(const QString& deviceOrImage);
    bool isReadingCd() const { return cdReader_.joinable(); }
    void cancelCdReading(bool tell = true);
    void setCdCacheFolder(const QString& folder) { cdCacheFolder_ = folder; }
    // What choosing (or dropping) these items does: the CD folder and the chosen tracks.
    void chooseSource(const QStringList& items);
    std::vector<std::string> getChosenTracks() const;
    void emptyChosenTracksArray() { chosenTracks_.clear(); }

    void selectOutputDirectory();
    // The output dialog's end: an empty path is a cancel.
    void outputDirectoryChosen(const QString& folder);
    void showHelp();

    // Alerts and the finish sound; virtual so that tests can record them instead.
    virtual void runAlertWithTitle(const QString& title, const QString& text);
    void runAlertBadCD();
    virtual void playFinishSound();
    // The finished job's message, offering to open its folder; `complete` when nothing failed.
    virtual void showJobFinished(const QString& folder, bool complete);

    // Both termination handlers: stop a running job, save the options.
    bool applicationShouldTerminate();

    QMainWindow* window() const { return window_; }

signals:
    // A track of the disc being read is whole.
    void cdTrackRead();
    // The reading ended: every track is there (`ok`), or it failed or was cancelled.
    void cdReadingEnded(bool ok);

public:
    Ui::MainWindow& ui() const { return *ui_; }
    LAMEProcess* lameProcess() const { return lame_; }
    const QString& preferencesPath() const { return preferencesPath_; }

private:
    platform::Desktop& desktop_;
    QString preferencesPath_;
    QMainWindow* window_ = nullptr;
    std::unique_ptr<Ui::MainWindow> ui_;
    QButtonGroup* basicConfigMatrix_ = nullptr;
    LAMEProcess* lame_ = nullptr;
    std::string basicConfigOption_;
    std::vector<std::string> chosenTracks_;
    QString cdCacheFolder_;
    QString musicBrainzServer_;
    std::thread cdReader_;
    std::shared_ptr<std::atomic<bool>> cdCancel_;
    int cdReading_ = 0; // counts readings, so that the reports of a cancelled one are passed over
    QProgressDialog* cdProgress_ = nullptr;
};

} // namespace ripper
