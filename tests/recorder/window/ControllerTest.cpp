#include "platform/core/Files.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserDefaults.h"
#include "recorder/update/ZNVersionChecker.h"
#include "recorder/window/Controller.h"
#include "recorder/window/ControllerDataSource.h"
#include "recorder/window/OutlineView.h"
#include "recorder/window/ToolbarDelegate.h"
#include "recorder/window/ZNOverlay.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"

#include <QAction>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QDragEnterEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QStandardPaths>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

#include <QDialogButtonBox>
#include <gtest/gtest.h>

#include <atomic>

#include <cstdlib>
#include <unistd.h>

using namespace recorder;
using testsupport::LoopbackServer;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

// Records what would have been handed to the desktop.
struct RecordingDesktop : platform::Desktop {
    QStringList revealed, opened, urls;
    void reveal(const QString& path) override { revealed << path; }
    void openFile(const QString& path) override { opened << path; }
    void openURL(const QString& url) override { urls << url; }
};

struct Window {
    testsupport::TempDir home;
    platform::UserDefaults defaults{QString::fromStdString(home.file("Aircask.conf"))};
    RecordingDesktop desktop;
    std::unique_ptr<Controller> controller;

    explicit Window(const std::function<void(platform::UserDefaults&)>& prepare = {}) {
        QDir().mkpath(QString::fromStdString(home.file("Music")));
        defaults.setObject("downloadPath", QString::fromStdString(home.file("Music")));
        if (prepare)
            prepare(defaults);
        controller = std::make_unique<Controller>(defaults, desktop);
        controller->awakeFromNib(/*checkForUpdates=*/false);
    }
    ~Window() {
        for (const auto& stream : controller->streams())
            stream->pause();
        for (const auto& stream : controller->streams())
            stream->waitUntilStopped(std::chrono::seconds(10));
    }
    ControllerDataSource& model() const { return *controller->dataSource(); }
    QTreeView& view() const { return *controller->tableView(); }
    QString text(int row, int column, const QModelIndex& parent = {}) const {
        return model().index(row, column, parent).data().toString();
    }
    void select(const QModelIndex& index) const {
        view().selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view().selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    bool enabled(const char* identifier) const {
        return controller->toolbarDelegate()->itemWithIdentifier(identifier)->isEnabled();
    }
};

TEST(Controller, FirstStartShowsTheSixStationsIdle) {
    Window window;
    ASSERT_EQ(window.model().rowCount(), 6);
    int byServer = 0, byPlaylist = 0;
    for (const auto& stream : window.controller->streams()) {
        byServer += stream->objectForKey("serverURL").has_value();
        byPlaylist += stream->objectForKey("playlistURL").has_value();
        EXPECT_EQ(stream->state(), Stream::Idle);
    }
    EXPECT_EQ(byServer, 1);
    EXPECT_EQ(byPlaylist, 5);
    EXPECT_EQ(window.model().index(0, ControllerDataSource::ColStatus).data(ControllerDataSource::StatusRole), 0);
    EXPECT_TRUE(window.model().hasChildren(window.model().index(0, 0))); // expandable without files
    EXPECT_EQ(window.controller->toolbarDelegate()->arrangement(), ToolbarDelegate::toolbarDefaultItemIdentifiers());
    EXPECT_FALSE(window.enabled("pf_reveal"));
    EXPECT_FALSE(window.enabled("pf_remove"));
    EXPECT_TRUE(window.enabled("pf_record"));
    window.select(window.model().index(2, 0));
    EXPECT_TRUE(window.enabled("pf_reveal"));
    EXPECT_TRUE(window.enabled("pf_remove"));
    window.view().clearSelection();
    EXPECT_FALSE(window.enabled("pf_reveal"));
    EXPECT_TRUE(window.controller->timersRunning());
}

TEST(Controller, AnEmptyStoredListStaysEmptyAndEveryChangeIsStored) {
    Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
    EXPECT_EQ(window.model().rowCount(), 0);
    window.controller->addStationWithServerURL("http://radio.example.net:8000/");
    // Stored at once: a second store reads it back.
    platform::UserDefaults reread(QString::fromStdString(window.home.file("Aircask.conf")));
    const auto stations = reread.arrayForKey("stations");
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0].at("serverURL"), "http://radio.example.net:8000/");
}

TEST(Controller, ADamagedSettingsFileIsToldOnceAndItsStationsKept) {
    testsupport::TempDir home;
    const std::string path = home.file("Aircask.ini");
    const std::string damaged = "[General]\ndownloadPath=relative/folder\n"
                                "[stations]\n1\\stationName=Kept\n1\\serverURL=http://kept.example:8000/\n"
                                "size=2000000000\n";
    testsupport::writeFile(path, damaged);
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start == 1 ? "damaged start" : "next start");
        platform::UserDefaults defaults(QString::fromStdString(path));
        RecordingDesktop desktop;
        Controller controller(defaults, desktop);
        controller.awakeFromNib(false);
        const auto notices = controller.window()->findChildren<QMessageBox*>();
        ASSERT_EQ(notices.size(), start == 1 ? 1 : 0);
        ASSERT_EQ(controller.streams().size(), 1u);
        EXPECT_EQ(controller.streams()[0]->objectForKey("stationName"), "Kept");
        EXPECT_EQ(controller.downloadPath(), music.isEmpty() ? QDir::homePath() + "/Music" : music);
        if (start == 1) {
            const QString text = notices[0]->text();
            EXPECT_TRUE(text.startsWith("Some settings could not be read; a copy of the old file was kept at "));
            EXPECT_TRUE(text.contains(defaults.damagedCopy()));
            EXPECT_EQ(testsupport::readFile(defaults.damagedCopy().toStdString()), damaged);
        }
        controller.storeStations();
    }
    EXPECT_EQ(testsupport::readFile(path).find("relative/folder"), std::string::npos);
    EXPECT_EQ(platform::listDirectory(home.path()).size(), 2u); // the file and one copy
}

TEST(Controller, TheCutWindowIsSetInThePreferences) {
    Window window([](platform::UserDefaults& d) {
        d.setArray("stations", {{{"serverURL", "http://one.example/"}}});
        d.setObject("cutWindowAfter", "not a number"); // damaged: the default holds
    });
    EXPECT_EQ(window.controller->cutWindowBefore(), 5.0);
    EXPECT_EQ(window.controller->cutWindowAfter(), 5.0);
    window.controller->preferences();
    QDialog* panel = window.controller->preferencesPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    auto* before = panel->findChild<QDoubleSpinBox*>("cutWindowBefore");
    auto* after = panel->findChild<QDoubleSpinBox*>("cutWindowAfter");
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->value(), 5.0);
    before->setValue(8.5);
    after->setValue(45); // beyond the range: 30
    panel->accept();
    EXPECT_EQ(window.controller->streams()[0]->cutWindow(), std::make_pair(8.5, 30.0));
    platform::UserDefaults reread(QString::fromStdString(window.home.file("Aircask.conf")));
    EXPECT_EQ(reread.objectForKey("cutWindowBefore").toDouble(), 8.5);
    EXPECT_EQ(reread.objectForKey("cutWindowAfter").toDouble(), 30.0);

    // Cancel changes nothing.
    window.controller->preferences();
    EXPECT_EQ(before->value(), 8.5);
    before->setValue(1);
    panel->reject();
    EXPECT_EQ(window.controller->cutWindowBefore(), 8.5);
    // A station added later takes the window too.
    window.controller->addStationWithServerURL("http://two.example/");
    EXPECT_EQ(window.controller->streams().back()->cutWindow(), std::make_pair(8.5, 30.0));
}

TEST(Controller, AddingBySheetAndByDrop) {
    struct Case {
        const char* what;
        std::function<void(Controller&)> act;
        const char* key; // nullptr: nothing added
        const char* url;
    } cases[] = {
        {"sheet, playlist",
         [](Controller& c) {
             c.add();
             c.playlistURLField()->setText("http://x/a.pls");
             c.endSheet();
         },
         "playlistURL", "http://x/a.pls"},
        {"sheet, server",
         [](Controller& c) {
             c.add();
             c.serverURLField()->setText("http://x:8000/");
             c.endSheet();
         },
         "serverURL", "http://x:8000/"},
        {"sheet, both",
         [](Controller& c) {
             c.add();
             c.playlistURLField()->setText("http://x/b.pls");
             c.serverURLField()->setText("http://y/");
             c.endSheet();
         },
         "playlistURL", "http://x/b.pls"},
        {"sheet, none",
         [](Controller& c) {
             c.add();
             c.endSheet();
         },
         nullptr, nullptr},
        {"sheet, cancelled",
         [](Controller& c) {
             c.add();
             c.serverURLField()->setText("http://z/");
             c.cancelSheet();
         },
         nullptr, nullptr},
        {"drop, playlist", [](Controller& c) { c.tableView()->performDrop("http://x/listen?type=pls"); }, "playlistURL",
         "http://x/listen?type=pls"},
        {"drop, server", [](Controller& c) { c.tableView()->performDrop("https://x:8000/live"); }, "serverURL",
         "https://x:8000/live"},
        {"drop, not a URL", [](Controller& c) { c.tableView()->performDrop("just some text"); }, nullptr, nullptr},
        {"drop, capital HTTP", [](Controller& c) { c.tableView()->performDrop("HTTP://x/a.pls"); }, nullptr, nullptr},
        {"sheet, a query kept as written",
         [](Controller& c) {
             c.add();
             c.serverURLField()->setText(" http://x:8000/;?sid=1 ");
             c.endSheet();
         },
         "serverURL", "http://x:8000/;?sid=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
        c.act(*window.controller);
        if (!c.key) {
            EXPECT_EQ(window.model().rowCount(), 0);
            continue;
        }
        ASSERT_EQ(window.model().rowCount(), 1);
        const auto& stream = window.controller->streams()[0];
        EXPECT_EQ(stream->descriptor()->values(), (StationDescriptor::Values{{c.key, c.url}}));
        EXPECT_EQ(window.text(0, ControllerDataSource::ColName), c.url); // the URL until the name arrives
        EXPECT_EQ(stream->state(), Stream::Idle);
    }
}

TEST(Controller, AddressesThatCannotBeSentAreRefusedWithAMessage) {
    for (const QString& address : {QString("http://x/my station"), QString("http://x/live\r\nX-Injected: 1")}) {
        SCOPED_TRACE(address.toStdString());
        Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
        window.controller->add();
        window.controller->serverURLField()->setText(address);
        window.controller->endSheet();
        EXPECT_EQ(window.model().rowCount(), 0);
        EXPECT_TRUE(window.controller->serverURLField()->isVisible()) << "the sheet stays open to mend the address";
        const auto messages = window.controller->window()->findChildren<QMessageBox*>();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0]->text().contains("holds a blank or a control character")) << messages[0]->text().toStdString();
        window.controller->tableView()->performDrop(address);
        EXPECT_EQ(window.model().rowCount(), 0) << "nor is it taken when dropped";
    }
}

TEST(Controller, AStationIsRenamedAndEditedAndItsNameStays) {
    Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
    window.controller->addStationWithServerURL("http://x:8000/live");
    window.select(window.model().index(0, 0));
    window.controller->editStation();
    auto* sheet = window.controller->window()->findChild<QDialog*>("editStationSheet");
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    auto* name = sheet->findChild<QLineEdit*>("stationName");
    auto* address = sheet->findChild<QLineEdit*>("stationAddress");
    EXPECT_EQ(name->text(), "") << "no name given yet";
    EXPECT_EQ(address->text(), "http://x:8000/live");
    name->setText("My Jazz");
    address->setText("https://y.example/live?sid=2");
    sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    const auto& descriptor = window.controller->streams()[0]->descriptor();
    EXPECT_EQ(descriptor->objectForKey("stationName"), "My Jazz");
    EXPECT_EQ(descriptor->objectForKey("stationNameGiven"), "1");
    EXPECT_EQ(descriptor->objectForKey("serverURL"), "https://y.example/live?sid=2");
    EXPECT_EQ(window.text(0, ControllerDataSource::ColName), "My Jazz");
    // Stored: the next start has it.
    platform::UserDefaults again(QString::fromStdString(window.home.file("Aircask.conf")));
    const auto stored = again.arrayForKey("stations");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].at("stationName"), "My Jazz");
    // An empty name gives the station its own back at its next connection.
    window.controller->renameStation(*descriptor, "  ");
    EXPECT_FALSE(descriptor->objectForKey("stationNameGiven"));
}

TEST(Controller, ARealDragHoversHighlightsAndDrops) {
    Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
    window.controller->window()->resize(600, 400);
    QWidget* viewport = window.view().viewport();
    QMimeData text;
    text.setText("http://radio.example.net/listen.pls");
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_FALSE(window.controller->timersRunning()) << "the outline must not refresh under the highlight";
    EXPECT_TRUE(window.controller->tableView()->overlay()->isVisibleTo(viewport));
    window.controller->window()->resize(800, 500); // the frame follows the outline's edges
    QCoreApplication::processEvents();
    EXPECT_EQ(window.controller->tableView()->overlay()->geometry(), viewport->rect());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_TRUE(window.controller->timersRunning());
    EXPECT_FALSE(window.controller->tableView()->overlay()->isVisibleTo(viewport));

    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    ASSERT_EQ(window.model().rowCount(), 1);
    EXPECT_EQ(window.controller->streams()[0]->objectForKey("playlistURL"), "http://radio.example.net/listen.pls");
    EXPECT_TRUE(window.controller->timersRunning());
    EXPECT_FALSE(window.controller->tableView()->overlay()->isVisibleTo(viewport));
}

// A station served by the tests: two songs, then it holds the connection.
std::unique_ptr<LoopbackServer> scriptedStation(std::atomic<bool>& stop) {
    return std::make_unique<LoopbackServer>([&stop](int fd) {
        LoopbackServer::readUntil(fd, "\r\n\r\n");
        LoopbackServer::sendAll(fd, "ICY 200 OK\r\nicy-name:Loopback FM\r\nicy-genre:Test\r\nicy-br:128\r\n"
                                    "icy-metaint:64\r\n\r\n");
        const auto title = [](const std::string& t) {
            std::string meta = "StreamTitle='" + t + "';";
            meta.resize(32, '\0');
            return std::string(1, '\x02') + meta;
        };
        LoopbackServer::sendAll(fd, std::string(64, 'a') + title("First Song"));
        LoopbackServer::sendAll(fd, std::string(64, 'b') + std::string(1, '\0'));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        LoopbackServer::sendAll(fd, std::string(64, 'c') + title("Second Song"));
        for (int i = 0; !stop && i < 400; ++i) { // 20 s at the most, also when a test fails early
            LoopbackServer::sendAll(fd, std::string(64, 'd') + std::string(1, '\0'));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
}

// The scripted station sends a few bytes of no real audio, slowly: its songs are cut right at
// their titles, without waiting seconds for audio to search.
void noStationsAndNoCutWindow(platform::UserDefaults& d) {
    d.setArray("stations", {});
    d.setObject("cutWindowBefore", 0);
    d.setObject("cutWindowAfter", 0);
}

// Adds the station, records it until its two songs are listed and expands its row; the row,
// or none when the songs did not come.
QModelIndex recordTheStation(Window& window, const LoopbackServer& station) {
    window.controller->addStationWithServerURL("127.0.0.1:" + QString::number(station.port()) + "/");
    const QModelIndex row = window.model().index(0, 0);
    window.select(row);
    window.controller->record();
    if (!waitUntil([&] { return window.model().rowCount(row) >= 2; }, 10000))
        return {};
    window.view().expand(row);
    return row;
}

TEST(Controller, RecordingShowsStateFilesAndKeepsSelectionAndExpansion) {
    std::atomic<bool> stop{false};
    auto station = scriptedStation(stop);
    Window window(noStationsAndNoCutWindow);
    auto& model = window.model();
    EXPECT_TRUE(window.controller->writesSongTags()) << "songs are tagged unless the user says otherwise";
    window.controller->setWritesSongTags(false); // the sizes below count the station's audio alone
    const QModelIndex row = recordTheStation(window, *station);
    ASSERT_TRUE(row.isValid());
    window.view().scrollTo(row);
    const QModelIndex selectedBefore = window.view().selectionModel()->selectedRows().value(0);
    for (int i = 0; i < 3; ++i)
        window.controller->_update();
    EXPECT_EQ(window.text(0, ControllerDataSource::ColName), "Loopback FM");
    EXPECT_EQ(window.text(0, ControllerDataSource::ColBytes), "128 kbps");
    EXPECT_EQ(window.text(0, ControllerDataSource::ColComment), "Test");
    EXPECT_EQ(model.index(0, ControllerDataSource::ColStatus).data(ControllerDataSource::StatusRole), 2);
    // Newest first: the song being written on top, grey and spinning.
    EXPECT_EQ(window.text(0, 0, row), "Second Song.mp3");
    EXPECT_EQ(window.text(1, 0, row), "First Song.mp3");
    EXPECT_EQ(model.index(0, ControllerDataSource::ColStatus, row).data(ControllerDataSource::StatusRole), 1);
    EXPECT_TRUE(model.index(0, 0, row).data(ControllerDataSource::IncompleteRole).toBool());
    EXPECT_EQ(window.text(1, ControllerDataSource::ColBytes, row), "0.2kB"); // three blocks came before its title
    // The refresh never reset the model: the same row is selected and still expanded.
    EXPECT_TRUE(window.view().isExpanded(row));
    EXPECT_EQ(window.view().selectionModel()->selectedRows().value(0), selectedBefore);

    window.controller->window()->resize(900, 400);
    window.controller->window()->grab().save(
        QString::fromStdString(std::filesystem::path(PROJECT_BINARY_DIR).append("aircask-recording.png").string()));

    window.controller->pause();
    EXPECT_EQ(window.controller->streams()[0]->state(), Stream::Idle);
    stop = true;
    ASSERT_TRUE(window.controller->streams()[0]->waitUntilStopped(std::chrono::seconds(10)));
}

TEST(Controller, RemovingFilesNeverTheOneBeingWrittenAndRevealingThem) {
    std::atomic<bool> stop{false};
    auto station = scriptedStation(stop);
    Window window(noStationsAndNoCutWindow);
    auto& model = window.model();
    const QModelIndex row = recordTheStation(window, *station);
    ASSERT_TRUE(row.isValid());
    const std::string stationDir = window.home.file("Music/Loopback FM");

    window.view().clearSelection();
    window.select(row);
    window.controller->reveal();
    window.view().clearSelection();
    window.select(model.index(1, 0, row));
    window.controller->reveal();
    window.controller->doubleClick();
    const QString first = QString::fromStdString(stationDir + "/incomplete/First Song.mp3");
    EXPECT_EQ(window.desktop.revealed, (QStringList{QString::fromStdString(stationDir), first}));
    EXPECT_EQ(window.desktop.opened, QStringList{first});

    window.select(model.index(0, 0, row)); // the file being written
    window.controller->remove();
    ASSERT_EQ(model.rowCount(row), 1);
    EXPECT_EQ(window.text(0, 0, row), "Second Song.mp3");
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(stationDir + "/incomplete/Second Song.mp3")));

    // Removing the station stops its recording; the stream lives on until its worker ends.
    const auto stream = window.controller->streams()[0];
    window.view().clearSelection();
    window.select(model.index(0, 0));
    window.controller->remove();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(stream->waitUntilStopped(std::chrono::seconds(10)));
    stop = true;
}

TEST(Controller, CommandsWithNothingSelectedChangeNothing) {
    Window window;
    window.controller->record();
    window.controller->pause();
    window.controller->remove();
    window.controller->reveal();
    window.controller->doubleClick();
    EXPECT_EQ(window.model().rowCount(), 6);
    EXPECT_TRUE(window.desktop.revealed.isEmpty());
    for (const auto& stream : window.controller->streams())
        EXPECT_FALSE(stream->isRunning());
}

TEST(Controller, ClosingTheWindowStoresTheStationsAndTheDownloadFolderIsRemade) {
    Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
    window.controller->addStationWithPlaylistURL("http://x/a.pls");
    window.controller->streams()[0]->descriptor()->setObject("stationName", "Named By Its Server");
    window.controller->downloadFolderChosen(QString()); // a cancel still makes the folders
    EXPECT_TRUE(QDir(QString::fromStdString(window.home.file("Music/Named By Its Server/incomplete"))).exists());
    const QString other = QString::fromStdString(window.home.file("Other"));
    QDir().mkpath(other);
    window.controller->downloadFolderChosen(other);
    EXPECT_TRUE(QDir(other + "/Named By Its Server").exists());
    window.controller->window()->close();
    platform::UserDefaults reread(QString::fromStdString(window.home.file("Aircask.conf")));
    const auto stations = reread.arrayForKey("stations");
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0].at("stationName"), "Named By Its Server");
    EXPECT_EQ(reread.stringForKey("downloadPath"), other);
}

TEST(Controller, TheAboutLinks) {
    Window window;
    window.controller->about();
    EXPECT_TRUE(window.controller->aboutPanel()->isVisible());
    for (const char* name : {"brindle", "support", "email"})
        window.controller->aboutPanel()->findChild<QPushButton*>(name)->click();
    ASSERT_EQ(window.desktop.urls.size(), 3);
    EXPECT_TRUE(window.desktop.urls[2].startsWith("mailto:"));
    EXPECT_TRUE(window.desktop.urls[2].endsWith("?subject=Aircask(0.11)"));
}

// A home folder as a fresh account has it: HOME points at an empty folder while it lives.
struct FreshHome {
    testsupport::TempDir dir;
    QByteArray previous = qgetenv("HOME");
    FreshHome() { qputenv("HOME", QByteArray::fromStdString(dir.path())); }
    ~FreshHome() { qputenv("HOME", previous); }
};

TEST(Controller, AFirstRunRecordsIntoAMusicFolderItMakes) {
    if (qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        GTEST_SKIP() << "the Music folder is then the one XDG_CONFIG_HOME names, not HOME's";
    FreshHome home;
    testsupport::TempDir settings;
    std::atomic<bool> stop{false};
    auto station = scriptedStation(stop);
    platform::UserDefaults defaults(QString::fromStdString(settings.file("Aircask.ini")));
    defaults.setArray("stations", {});
    defaults.setObject("cutWindowBefore", 0);
    defaults.setObject("cutWindowAfter", 0);
    RecordingDesktop desktop;
    Controller controller(defaults, desktop);
    controller.awakeFromNib(false);
    const QString music = QString::fromStdString(home.dir.file("Music"));
    EXPECT_EQ(controller.downloadPath(), music);
    ASSERT_FALSE(QDir(music).exists());
    controller.addStationWithServerURL("127.0.0.1:" + QString::number(station->port()) + "/");
    controller.tableView()->selectionModel()->select(controller.dataSource()->index(0, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    controller.record();
    const auto stream = controller.streams()[0];
    EXPECT_TRUE(waitUntil([&] { return stream->files().size() >= 1 && stream->files()[0].bytes > 0; }, 10000))
        << stream->errorString().value_or("no file");
    stream->pause();
    stop = true;
    ASSERT_TRUE(stream->waitUntilStopped(std::chrono::seconds(10)));
    EXPECT_TRUE(QFile::exists(music + "/Loopback FM/incomplete/First Song.mp3"));
}

// Whether no file can be made in the folder by this process (root may write where the mode bits
// say no, but not into the system's own folders).
bool closedToThisUser(const QString& folder) {
    std::string probe = folder.toStdString() + "/probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd == -1)
        return true;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
}

TEST(Controller, AFolderThatCannotBeWrittenIsRefusedWithItsPath) {
    Window window([](platform::UserDefaults& d) { d.setArray("stations", {}); });
    const QString before = window.controller->downloadPath();
    // A folder the program may not write into: read-only for this user, or one of the system's.
    const QString readOnly = QString::fromStdString(window.home.file("read-only"));
    QDir().mkpath(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString blocked = QString::fromStdString(window.home.file("a-file"));
    testsupport::writeFile(blocked.toStdString(), "");
    struct Case {
        QString folder;
        QString reason;
    } cases[] = {
        {closedToThisUser(readOnly) ? readOnly : QString("/sys"), "(Permission denied)"},
        {blocked + "/inside", "(Not a directory)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        if (c.reason == "(Permission denied)" && !closedToThisUser(c.folder))
            GTEST_SKIP() << "no folder here is closed to this user";
        window.controller->downloadFolderChosen(c.folder);
        QMessageBox* message = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (message = window.controller->window()->findChild<QMessageBox*>()); }, 2000));
        EXPECT_TRUE(message->text().contains(c.folder)) << message->text().toStdString();
        EXPECT_TRUE(message->text().contains(c.reason)) << message->text().toStdString();
        delete message;
        EXPECT_EQ(window.controller->downloadPath(), before) << "a folder that cannot be used was taken";
    }
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(Controller, AStationThatGoesAwayShowsItIsReconnecting) {
    // The station sends a song and closes; it never accepts another connection.
    LoopbackServer station([](int fd) {
        LoopbackServer::readUntil(fd, "\r\n\r\n");
        std::string meta = "StreamTitle='Song';";
        meta.resize(32, '\0');
        LoopbackServer::sendAll(fd, "ICY 200 OK\r\nicy-name:Gone FM\r\nicy-metaint:64\r\n\r\n" +
                                        std::string(64, 'a') + std::string(1, '\x02') + meta + std::string(64, 'b'));
    });
    Window window(noStationsAndNoCutWindow);
    window.controller->addStationWithServerURL("127.0.0.1:" + QString::number(station.port()) + "/");
    window.select(window.model().index(0, 0));
    window.controller->record();
    QString comment;
    EXPECT_TRUE(waitUntil(
        [&] {
            window.controller->_update();
            comment = window.text(0, ControllerDataSource::ColComment);
            return comment.startsWith("Reconnecting");
        },
        10000));
    EXPECT_EQ(comment, QString::fromUtf8("Reconnecting (attempt 1)… Station closed the connection"));
    EXPECT_EQ(window.model().index(0, ControllerDataSource::ColStatus).data(ControllerDataSource::StatusRole), 1);
    window.controller->pause();
    ASSERT_TRUE(window.controller->streams()[0]->waitUntilStopped(std::chrono::seconds(10)));
    window.controller->_update();
    EXPECT_EQ(window.text(0, ControllerDataSource::ColComment), "") << "a stop ends the reconnecting";
}

} // namespace
