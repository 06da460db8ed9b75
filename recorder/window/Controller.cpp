#include "recorder/window/Controller.h"

#include "platform/core/Url.h"

#include "platform/core/Files.h"
#include "platform/core/Version.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/MainWindow.h"
#include "platform/ui/UserDefaults.h"
#include "recorder/update/ZNVersionChecker.h"
#include "recorder/window/AboutBoxController.h"
#include "recorder/window/ControllerDataSource.h"
#include "recorder/window/ImageAndTextCell.h"
#include "recorder/window/OutlineView.h"
#include "recorder/window/StatusCell.h"
#include "recorder/window/ToolbarDelegate.h"
#include "ui_About.h"
#include "ui_AddStation.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QCheckBox>
#include <QLineEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>

// The icons live in the window library's resources; a static library must load them itself.
static void loadResources() { Q_INIT_RESOURCE(aircask); }

namespace recorder {
namespace {

QVariantMap station(const char* key, const char* url, const char* name) {
    return QVariantMap{{key, QString(url)}, {"stationName", QString(name)}, {"stationNameGiven", "1"}};
}

// Six long-lived public stations: one by its server, five by their playlists.
QVariantList builtInStations() {
    return {
        station("serverURL", "http://stream.radioparadise.com:8000/", "Radio Paradise"),
        station("playlistURL", "https://somafm.com/groovesalad.pls", "SomaFM Groove Salad"),
        station("playlistURL", "https://somafm.com/dronezone.pls", "SomaFM Drone Zone"),
        station("playlistURL", "https://somafm.com/secretagent.pls", "SomaFM Secret Agent"),
        station("playlistURL", "https://somafm.com/lush.pls", "SomaFM Lush"),
        station("playlistURL", "https://somafm.com/indiepop.pls", "SomaFM Indie Pop Rocks!"),
    };
}

QString defaultDownloadPath() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return music.isEmpty() ? QDir::homePath() + "/Music" : music;
}

} // namespace

Controller::Controller(platform::UserDefaults& defaults, platform::Desktop& desktop, QObject* parent)
    : QObject(parent), defaults_(defaults), desktop_(desktop) {
    loadResources();
}

Controller::~Controller() {
    stopTimers();
    // The sheet and the about panel are the window's children. Streams of stations still
    // recording stay alive with their workers.
    delete window_;
}

void Controller::awakeFromNib(bool checkForUpdates) {
    window_ = new platform::MainWindow([this] {
        windowWillClose();
        return true;
    });
    window_->setWindowTitle("Aircask");
    window_->setWindowIcon(QIcon(":/icons/aircask.svg"));
    window_->resize(760, 460);

    toolbar_ = window_->addToolBar("pf_maintoolbar");
    toolbar_->setObjectName("pf_maintoolbar");
    toolbar_->setMovable(false);
    toolbarDelegate_ = new ToolbarDelegate(toolbar_,
                                           {{"pf_record", [this] { record(); }},
                                            {"pf_pause", [this] { pause(); }},
                                            {"pf_add", [this] { add(); }},
                                            {"pf_remove", [this] { remove(); }},
                                            {"pf_reveal", [this] { reveal(); }}},
                                           this);
    const QStringList saved = defaults_.objectForKey("pf_maintoolbar").toStringList();
    toolbarDelegate_->setArrangement(saved.isEmpty() ? ToolbarDelegate::toolbarDefaultItemIdentifiers() : saved);
    connect(toolbarDelegate_, &ToolbarDelegate::arrangementChanged, this, [this](const QStringList& identifiers) {
        defaults_.setObject("pf_maintoolbar", identifiers);
        updatedSelectedItems();
    });

    defaults_.registerDefaults({{"stations", builtInStations()},
                                {"downloadPath", defaultDownloadPath()},
                                {"cutWindowBefore", Stream::defaultCutWindow},
                                {"cutWindowAfter", Stream::defaultCutWindow},
                                {"stallTimeout", Stream::defaultStallTimeout},
                                {"writeSongTags", true}});
    if (downloadPath() != defaults_.stringForKey("downloadPath"))
        defaults_.removeObject("downloadPath"); // an empty or relative folder is not kept
    for (const auto& values : defaults_.arrayForKey("stations"))
        stations_.push_back(StationDescriptor::make(values));
    initStreams();

    tableView_ = new OutlineView(window_);
    tableView_->setObjectName("pf_maintable");
    dataSource_ = new ControllerDataSource(this);
    tableView_->setModel(dataSource_);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setUniformRowHeights(true);
    tableView_->setItemDelegateForColumn(ControllerDataSource::ColName, new ImageAndTextCell(tableView_, true));
    tableView_->setItemDelegateForColumn(ControllerDataSource::ColStatus, StatusCell::instance());
    tableView_->setItemDelegateForColumn(ControllerDataSource::ColComment, new ImageAndTextCell(tableView_, false));
    tableView_->header()->resizeSection(ControllerDataSource::ColName, 320);
    tableView_->header()->resizeSection(ControllerDataSource::ColBytes, 90);
    tableView_->header()->resizeSection(ControllerDataSource::ColStatus, 50);
    tableView_->header()->restoreState(defaults_.objectForKey("pf_maintable").toByteArray());
    tableView_->setHooks({[this] { stopTimers(); }, [this] { startTimers(); },
                          [this](const QString& url) { addStationWithPlaylistURL(url); },
                          [this](const QString& url) { addStationWithServerURL(url); }});
    connect(tableView_, &QTreeView::doubleClicked, this, [this] { doubleClick(); });
    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updatedSelectedItems(); });
    window_->setCentralWidget(tableView_);
    dataSource_->refresh(streams_);

    createSheet_ = new QDialog(window_);
    Ui::AddStation sheet;
    sheet.setupUi(createSheet_);
    createSheet_->setWindowModality(Qt::WindowModal);
    createSheet_->setMinimumSize(408, 241);
    playlistURL_ = sheet.playlistURL;
    serverURL_ = sheet.serverURL;
    connect(sheet.buttons, &QDialogButtonBox::accepted, this, [this] { endSheet(); });
    connect(sheet.buttons, &QDialogButtonBox::rejected, this, [this] { cancelSheet(); });

    aboutPanel_ = new QDialog(window_);
    Ui::About panel;
    panel.setupUi(aboutPanel_);
    panel.icon->setPixmap(QIcon(":/icons/aircask.svg").pixmap(96, 96));
    panel.name->setText(QString("<h2>Aircask %1</h2>").arg(platform::aircaskVersion));
    aboutBox_ = new AboutBoxController(desktop_, this);
    connect(panel.brindle, &QPushButton::clicked, aboutBox_, &AboutBoxController::brindle);
    connect(panel.support, &QPushButton::clicked, aboutBox_, &AboutBoxController::support);
    connect(panel.email, &QPushButton::clicked, aboutBox_, &AboutBoxController::email);

    versionChecker_ = new ZNVersionChecker(defaults_, desktop_, "Aircask", QString(platform::aircaskVersion), this);
    buildMenus();
    // Quitting by any way (the menu, the session's end) keeps the station list.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { storeStations(); });

    updatedSelectedItems();
    window_->show();
    if (defaults_.wasDamaged())
        showMessage(tr("Settings Damaged"),
                    platform::damagedSettingsNotice(defaults_.settings().fileName(), defaults_.damagedCopy()));
    startTimers();
    if (checkForUpdates)
        update(false);
}

void Controller::buildMenus() {
    QMenu* file = window_->menuBar()->addMenu(tr("&File"));
    file->addAction(tr("Add Station..."), QKeySequence::New, this, [this] { add(); });
    file->addAction(tr("Record"), QKeySequence(Qt::CTRL | Qt::Key_R), this, [this] { record(); });
    file->addAction(tr("Pause"), QKeySequence(Qt::CTRL | Qt::Key_Period), this, [this] { pause(); });
    file->addAction(tr("Remove"), QKeySequence::Delete, this, [this] { remove(); });
    file->addAction(tr("Reveal File in File Manager"), this, [this] { reveal(); });
    file->addSeparator();
    file->addAction(tr("Choose Download Folder..."), this, [this] { downloadFolder(); });
    file->addSeparator();
    file->addAction(tr("Quit"), QKeySequence::Quit, window_, &QWidget::close);
    QMenu* edit = window_->menuBar()->addMenu(tr("&Edit"));
    edit->addAction(tr("Edit Station..."), QKeySequence(Qt::Key_F2), this, [this] { editStation(); });
    edit->addAction(tr("Preferences..."), QKeySequence(Qt::CTRL | Qt::Key_Comma), this, [this] { preferences(); });
    QMenu* view = window_->menuBar()->addMenu(tr("&View"));
    view->addAction(tr("Customize Toolbar..."), this, [this] { toolbarDelegate_->customize(window_); });
    QMenu* help = window_->menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("Check for Updates..."), this, [this] { update(true); });
    help->addAction(tr("About Aircask"), this, [this] { about(); });
}

void Controller::initStreams() {
    const std::string folder = downloadPath().toStdString();
    for (std::size_t i = streams_.size(); i < stations_.size(); ++i) {
        streams_.push_back(Stream::create(stations_[i], folder));
        configure(*streams_.back());
    }
}

void Controller::startTimers() {
    if (!timer1_) {
        timer1_ = new QTimer(this);
        connect(timer1_, &QTimer::timeout, this, &Controller::_update);
        timer1_->start(1000);
    }
    if (!timer2_) {
        timer2_ = new QTimer(this);
        connect(timer2_, &QTimer::timeout, this, &Controller::_animate);
        timer2_->start(100);
    }
}

void Controller::stopTimers() {
    delete timer1_;
    timer1_ = nullptr;
    delete timer2_;
    timer2_ = nullptr;
}

bool Controller::timersRunning() const { return timer1_ && timer2_; }

void Controller::_update() { dataSource_->refresh(streams_); }

void Controller::_animate() {
    // Only the status column is repainted; the data is not read again.
    const int x = tableView_->columnViewportPosition(ControllerDataSource::ColStatus);
    const int width = tableView_->columnWidth(ControllerDataSource::ColStatus);
    tableView_->viewport()->update(QRect(x, 0, width, tableView_->viewport()->height()));
}

QModelIndex Controller::selectedRow() const {
    const QModelIndex current = tableView_->currentIndex();
    if (current.isValid() && tableView_->selectionModel()->isRowSelected(current.row(), current.parent()))
        return current.siblingAtColumn(0);
    const auto rows = tableView_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void Controller::updatedSelectedItems() {
    selected_.clear();
    selectedFiles_.clear();
    const auto rows = tableView_->selectionModel()->selectedRows();
    for (const QModelIndex& row : rows) {
        if (dataSource_->isStation(row)) {
            selected_.push_back(dataSource_->streamForIndex(row));
        } else if (const auto* file = dataSource_->fileForIndex(row)) {
            selectedFiles_.push_back({dataSource_->streamForIndex(row), file->id, file->current, file->path});
        }
    }
    const bool any = !rows.isEmpty();
    for (const char* identifier : {"pf_reveal", "pf_remove"})
        if (QAction* item = toolbarDelegate_->itemWithIdentifier(identifier))
            item->setEnabled(any);
}

void Controller::add() {
    playlistURL_->setText("");
    serverURL_->setText("");
    createSheet_->open();
}

void Controller::endSheet() {
    const QString playlist = playlistURL_->text().trimmed();
    const QString server = serverURL_->text().trimmed();
    // An address that cannot be sent keeps the sheet open, with a message, so it can be mended.
    if (!addressIsUsable(playlist.isEmpty() ? server : playlist))
        return;
    createSheet_->hide();
    if (playlist != "")
        addStationWithPlaylistURL(playlist);
    else if (server != "")
        addStationWithServerURL(server);
}

bool Controller::addressIsUsable(const QString& address) {
    if (address.isEmpty() || platform::isSendableAddress(address.toStdString()))
        return true;
    showMessage(tr("Address Not Usable"),
                tr("\"%1\" cannot be a station's address: it holds a blank or a control character. Addresses "
                   "are sent to the station as they are written; write a blank as %20.")
                    .arg(address));
    return false;
}

void Controller::editStation() {
    if (selected_.size() != 1)
        return;
    const auto descriptor = selected_.front()->descriptor();
    const char* addressKey = descriptor->objectForKey("playlistURL") ? "playlistURL" : "serverURL";
    auto* sheet = new QDialog(window_);
    sheet->setObjectName("editStationSheet");
    sheet->setWindowTitle(tr("Edit Station"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setMinimumWidth(520); // room for a whole address
    auto* form = new QFormLayout(sheet);
    auto* name = new QLineEdit(QString::fromStdString(
                                   descriptor->objectForKey("stationNameGiven") ? descriptor->objectForKey("stationName").value_or("")
                                                                                : ""),
                               sheet);
    name->setObjectName("stationName");
    name->setPlaceholderText(QString::fromStdString(descriptor->objectForKey("stationName").value_or("")));
    auto* address = new QLineEdit(QString::fromStdString(descriptor->objectForKey(addressKey).value_or("")), sheet);
    address->setObjectName("stationAddress");
    form->addRow(tr("Name:"), name);
    form->addRow(addressKey == std::string("playlistURL") ? tr("Playlist address:") : tr("Stream address:"), address);
    auto* explanation = new QLabel(tr("Leave the name empty to take the station's own. A new name or address "
                                      "applies to the songs recorded from now on."),
                                   sheet);
    explanation->setWordWrap(true);
    form->addRow(explanation);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, sheet);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, sheet, [this, sheet, name, address, descriptor, addressKey] {
        const QString newAddress = address->text().trimmed();
        if (newAddress.isEmpty() || !addressIsUsable(newAddress))
            return;
        renameStation(*descriptor, name->text());
        descriptor->setObject(addressKey, newAddress.toStdString());
        storeStations();
        _update();
        sheet->accept();
    });
    sheet->open();
    name->setFocus();
}

void Controller::renameStation(StationDescriptor& descriptor, const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        descriptor.removeObject("stationNameGiven"); // the station's own name, at its next connection
    } else {
        descriptor.setObject("stationName", trimmed.toStdString());
        descriptor.setObject("stationNameGiven", "1");
    }
    storeStations();
}

void Controller::cancelSheet() { createSheet_->hide(); }

void Controller::addStation(const char* key, const QString& url) {
    if (!addressIsUsable(url.trimmed()))
        return;
    auto descriptor = StationDescriptor::make({{key, url.trimmed().toStdString()}});
    stations_.push_back(descriptor);
    initStreams();
    dataSource_->refresh(streams_);
    storeStations();
}

void Controller::addStationWithPlaylistURL(const QString& url) { addStation("playlistURL", url); }
void Controller::addStationWithServerURL(const QString& url) { addStation("serverURL", url); }

void Controller::remove() {
    updatedSelectedItems();
    for (const auto& stream : selected_) {
        const auto at = std::find(streams_.begin(), streams_.end(), stream);
        if (at == streams_.end())
            continue;
        // Its recording stops; the worker keeps the stream alive until it has ended.
        stream->pause();
        stations_.erase(stations_.begin() + (at - streams_.begin()));
        streams_.erase(at);
    }
    for (const auto& file : selectedFiles_) {
        if (file.current)
            continue; // the file being written stays
        if (const auto path = file.stream->removeRecord(file.id))
            QFile::remove(QString::fromStdString(*path));
    }
    dataSource_->refresh(streams_);
    storeStations();
    updatedSelectedItems();
}

void Controller::record() {
    updatedSelectedItems();
    for (const auto& stream : selected_)
        stream->rip();
    dataSource_->refresh(streams_);
    updatedSelectedItems();
}

void Controller::pause() {
    updatedSelectedItems();
    for (const auto& stream : selected_)
        stream->pause();
    for (const auto& file : selectedFiles_)
        file.stream->pause();
    dataSource_->refresh(streams_);
    updatedSelectedItems();
}

void Controller::reveal() {
    const QModelIndex row = selectedRow();
    if (!row.isValid())
        return;
    if (dataSource_->isStation(row)) {
        if (const auto folder = dataSource_->streamForIndex(row)->objectForKey("fileDir"))
            desktop_.reveal(QString::fromStdString(*folder));
    } else if (const auto* file = dataSource_->fileForIndex(row)) {
        desktop_.reveal(QString::fromStdString(file->path));
    }
}

void Controller::doubleClick() {
    const QModelIndex row = selectedRow();
    if (!row.isValid())
        return;
    if (dataSource_->isStation(row)) {
        const auto stream = dataSource_->streamForIndex(row);
        record();
        tableView_->expand(dataSource_->indexForStream(stream.get()));
    } else if (const auto* file = dataSource_->fileForIndex(row)) {
        desktop_.openFile(QString::fromStdString(file->path));
    }
}

void Controller::downloadFolder() {
    auto* panel = new QFileDialog(window_, tr("Choose Download Folder"), downloadPath());
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        downloadFolderChosen(result == QDialog::Accepted && !panel->selectedFiles().isEmpty()
                                 ? panel->selectedFiles().first()
                                 : QString());
    });
    panel->open();
}

void Controller::downloadFolderChosen(const QString& path) {
    if (!path.isEmpty()) {
        if (const auto error = platform::makeWritableFolder(path.toStdString())) {
            showMessage(tr("Folder Not Usable"),
                        tr("Aircask cannot record into the folder %1 (%2). Choose another folder.")
                            .arg(path, QString::fromStdString(error.message())));
            return;
        }
        defaults_.setObject("downloadPath", path);
        defaults_.synchronize();
    }
    // Also after a cancel, every station's folder is made anew under the download folder.
    const std::string folder = downloadPath().toStdString();
    for (const auto& stream : streams_) {
        stream->setDownloadPath(folder);
        stream->createDirectories();
    }
}

void Controller::showMessage(const QString& title, const QString& text) {
    // Window-modal and open: the window's refresh goes on while the message is up.
    auto* message = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, window_);
    message->setTextFormat(Qt::PlainText);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->open();
}

QString Controller::downloadPath() const {
    const QString stored = defaults_.stringForKey("downloadPath");
    return stored.isEmpty() || QDir::isRelativePath(stored) ? defaultDownloadPath() : stored;
}

namespace {

double storedSeconds(const platform::UserDefaults& defaults, const char* key) {
    bool ok = false;
    const double seconds = defaults.objectForKey(key).toDouble(&ok);
    return ok && std::isfinite(seconds) ? std::clamp(seconds, 0.0, Stream::maxCutWindow) : Stream::defaultCutWindow;
}

} // namespace

double Controller::cutWindowBefore() const { return storedSeconds(defaults_, "cutWindowBefore"); }
double Controller::cutWindowAfter() const { return storedSeconds(defaults_, "cutWindowAfter"); }

void Controller::setCutWindow(double beforeSeconds, double afterSeconds) {
    defaults_.setObject("cutWindowBefore", std::clamp(beforeSeconds, 0.0, Stream::maxCutWindow));
    defaults_.setObject("cutWindowAfter", std::clamp(afterSeconds, 0.0, Stream::maxCutWindow));
    defaults_.synchronize();
    for (const auto& stream : streams_)
        configure(*stream);
}

void Controller::configure(Stream& stream) const {
    stream.setCutWindow(cutWindowBefore(), cutWindowAfter());
    bool ok = false;
    const double stall = defaults_.objectForKey("stallTimeout").toDouble(&ok);
    stream.setStallTimeout(ok && stall >= 1 && stall <= 3600 ? stall : Stream::defaultStallTimeout);
    stream.setWritesTags(writesSongTags());
}

bool Controller::writesSongTags() const { return defaults_.objectForKey("writeSongTags").toBool(); }

void Controller::setWritesSongTags(bool on) {
    defaults_.setObject("writeSongTags", on);
    defaults_.synchronize();
    for (const auto& stream : streams_)
        configure(*stream);
}

void Controller::preferences() {
    if (!preferencesPanel_) {
        preferencesPanel_ = new QDialog(window_);
        preferencesPanel_->setWindowTitle(tr("Aircask Preferences"));
        auto* layout = new QVBoxLayout(preferencesPanel_);
        auto* explanation = new QLabel(
            tr("Songs are cut at the quietest moment near each title change. Stations send titles "
               "a few seconds before or after the music changes, so Aircask looks this far around "
               "each one. Files are written that much later. Takes effect when a station next starts."),
            preferencesPanel_);
        explanation->setWordWrap(true);
        layout->addWidget(explanation);
        auto* form = new QFormLayout;
        const auto secondsBox = [this](const char* name) {
            auto* box = new QDoubleSpinBox(preferencesPanel_);
            box->setObjectName(name);
            box->setRange(0, Stream::maxCutWindow);
            box->setDecimals(1);
            box->setSingleStep(0.5);
            box->setSuffix(tr(" s"));
            return box;
        };
        auto* before = secondsBox("cutWindowBefore");
        auto* after = secondsBox("cutWindowAfter");
        form->addRow(tr("Look before the title change:"), before);
        form->addRow(tr("Look after the title change:"), after);
        layout->addLayout(form);
        auto* tags = new QCheckBox(tr("Tag each song with its title, artist, station and date"), preferencesPanel_);
        tags->setObjectName("writeSongTags");
        layout->addWidget(tags);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, preferencesPanel_);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, preferencesPanel_, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, preferencesPanel_, &QDialog::reject);
        connect(preferencesPanel_, &QDialog::accepted, this,
                [this, before, after, tags] {
                    setCutWindow(before->value(), after->value());
                    setWritesSongTags(tags->isChecked());
                });
    }
    preferencesPanel_->findChild<QDoubleSpinBox*>("cutWindowBefore")->setValue(cutWindowBefore());
    preferencesPanel_->findChild<QDoubleSpinBox*>("cutWindowAfter")->setValue(cutWindowAfter());
    preferencesPanel_->findChild<QCheckBox*>("writeSongTags")->setChecked(writesSongTags());
    preferencesPanel_->open();
}

void Controller::about() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        aboutPanel_->move(screen->availableGeometry().center() - aboutPanel_->rect().center());
    aboutPanel_->show();
    aboutPanel_->raise();
    aboutPanel_->activateWindow();
}

void Controller::update(bool userInitiated) {
    versionChecker_->setVersionURL(versionURL);
    versionChecker_->checkVersionUserInitiated(userInitiated);
}

void Controller::storeStations() {
    std::vector<platform::UserDefaults::StringMap> list;
    for (const auto& descriptor : stations_)
        list.push_back(descriptor->values());
    defaults_.setArray("stations", list);
    if (tableView_)
        defaults_.setObject("pf_maintable", tableView_->header()->saveState());
    defaults_.synchronize();
}

void Controller::windowWillClose() {
    if (closing_)
        return;
    closing_ = true;
    storeStations();
    QCoreApplication::quit();
}

} // namespace recorder
