#pragma once

#include "recorder/engine/Stream.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QDialog;
class QLineEdit;
class QMainWindow;
class QModelIndex;
class QTimer;
class QToolBar;

namespace platform {
class Desktop;
class UserDefaults;
} // namespace platform

namespace recorder {

class AboutBoxController;
class ControllerDataSource;
class OutlineView;
class ToolbarDelegate;
class ZNVersionChecker;

// The main window of Aircask: the station list (kept in the defaults under "stations"), one
// recording Stream per station, the outline that shows them and their songs, and the commands
// add, remove, record, pause, reveal, open, download folder, about and update check.
class Controller : public QObject {
    Q_OBJECT
public:
    static inline const char* versionURL = "https://aircask.example.org/aircask/vc_version.php";

    Controller(platform::UserDefaults& defaults, platform::Desktop& desktop, QObject* parent = nullptr);
    ~Controller() override;

    // Builds and shows the window, starts the timers and the automatic update check.
    void awakeFromNib(bool checkForUpdates = true);

    // Commands.
    void add();
    void endSheet();
    void cancelSheet();
    void remove();
    void record();
    void pause();
    void reveal();
    void doubleClick();
    void downloadFolder();
    // The download-folder dialog's end: an empty path is a cancel.
    void downloadFolderChosen(const QString& path);
    void about();
    // The preferences dialog: the cut's search window before and after a title change.
    void preferences();
    // The search window in seconds, as stored (each 0 to 30; 5 unless set).
    double cutWindowBefore() const;
    double cutWindowAfter() const;
    void setCutWindow(double beforeSeconds, double afterSeconds);
    // Whether song files begin with a tag (the setting "writeSongTags", on unless turned off).
    bool writesSongTags() const;
    // The Edit Station sheet for the one selected station: its name (empty: the station's own)
    // and its address.
    void editStation();
    // A name the user gives stays; an empty one gives the station its own name back.
    void renameStation(StationDescriptor& descriptor, const QString& name);
    // Whether an address can be sent as written; when not, says so in a message.
    bool addressIsUsable(const QString& address);
    void setWritesSongTags(bool on);
    void update(bool userInitiated);

    void addStationWithPlaylistURL(const QString& url);
    void addStationWithServerURL(const QString& url);
    void startTimers();
    void stopTimers();
    bool timersRunning() const;
    void updatedSelectedItems();
    // Writes the station list (with every key the streams added) to the defaults, at once.
    void storeStations();
    // The folder that holds the station folders: the stored one when it is an absolute path,
    // else the desktop's Music folder.
    QString downloadPath() const;

    // The one-second refresh and the 0.1-second status redraw.
    void _update();
    void _animate();

    QMainWindow* window() const { return window_; }
    OutlineView* tableView() const { return tableView_; }
    ControllerDataSource* dataSource() const { return dataSource_; }
    ToolbarDelegate* toolbarDelegate() const { return toolbarDelegate_; }
    QDialog* createSheet() const { return createSheet_; }
    QLineEdit* playlistURLField() const { return playlistURL_; }
    QLineEdit* serverURLField() const { return serverURL_; }
    QDialog* aboutPanel() const { return aboutPanel_; }
    QDialog* preferencesPanel() const { return preferencesPanel_; }
    ZNVersionChecker* versionChecker() const { return versionChecker_; }
    const std::vector<std::shared_ptr<Stream>>& streams() const { return streams_; }
    const std::vector<std::shared_ptr<Stream>>& selected() const { return selected_; }

private:
    struct SelectedFile {
        std::shared_ptr<Stream> stream;
        std::uint64_t id;
        bool current;
        std::string path;
    };

    void initStreams();
    // Gives a stream the settings in force: the cut's window and the stall limit.
    void configure(Stream& stream) const;
    // A warning in a window-modal message that does not hold the window up.
    void showMessage(const QString& title, const QString& text);
    void addStation(const char* key, const QString& url);
    void buildMenus();
    void windowWillClose();
    QModelIndex selectedRow() const;

    platform::UserDefaults& defaults_;
    platform::Desktop& desktop_;
    QMainWindow* window_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    ToolbarDelegate* toolbarDelegate_ = nullptr;
    OutlineView* tableView_ = nullptr;
    ControllerDataSource* dataSource_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    QDialog* createSheet_ = nullptr;
    QLineEdit* playlistURL_ = nullptr;
    QLineEdit* serverURL_ = nullptr;
    QDialog* aboutPanel_ = nullptr;
    QDialog* preferencesPanel_ = nullptr;
    AboutBoxController* aboutBox_ = nullptr;
    ZNVersionChecker* versionChecker_ = nullptr;

    std::vector<std::shared_ptr<StationDescriptor>> stations_;
    std::vector<std::shared_ptr<Stream>> streams_;
    std::vector<std::shared_ptr<Stream>> selected_;
    std::vector<SelectedFile> selectedFiles_;
    bool closing_ = false;
};

} // namespace recorder
