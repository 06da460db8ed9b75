#include "ripper/window/AppController.h"

#include "platform/cd/AudioCd.h"
#include "platform/core/Files.h"
#include "platform/core/Log.h"
#include "platform/core/PropertyList.h"
#include "ripper/CdFolder.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/MainWindow.h"
#include "platform/ui/UserDefaults.h"
#include "ripper/window/DragDestView.h"
#include "ripper/window/LAMEProcess.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <functional>
#include <thread>

static void loadResources() { Q_INIT_RESOURCE(discwell); }

namespace ripper {
namespace {

QString defaultPreferencesPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Discwell/com.Quarnel.Discwell.plist";
}

// A resource as a file the desktop can open; copied to the cache folder on first use.
QString resourceFile(const QString& resource, const QString& name) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString path = folder + "/" + name;
    QFile::remove(path);
    QFile::copy(resource, path);
    return path;
}

} // namespace

AppController::AppController(platform::Desktop& desktop, QString preferencesPath, QObject* parent)
    : QObject(parent), desktop_(desktop),
      preferencesPath_(preferencesPath.isEmpty() ? defaultPreferencesPath() : std::move(preferencesPath)),
      ui_(std::make_unique<Ui::MainWindow>()) {
    loadResources();
}

AppController::~AppController() {
    cancelCdReading(/*tell=*/false);
    delete window_;
}

void AppController::awakeFromNib() {
    window_ = new platform::MainWindow([this] {
        lame_->windowShouldClose();
        applicationShouldTerminate();
        return true;
    });
    window_->setWindowTitle("Discwell");
    window_->setWindowIcon(QIcon(":/discwell/discwell.svg"));
    auto* central = new DragDestView([this](const QStringList& paths) { chooseSource(paths); }, window_);
    ui_->setupUi(central);
    window_->setCentralWidget(central);
    window_->resize(central->size());

    basicConfigMatrix_ = new QButtonGroup(this);
    for (QRadioButton* row : {ui_->presetStandard, ui_->presetExtreme, ui_->presetInsane, ui_->preset192,
                              ui_->preset128, ui_->presetExpert})
        basicConfigMatrix_->addButton(row);
    connect(basicConfigMatrix_, &QButtonGroup::buttonClicked, this, [this] { switchBasicConfig(); });
    lame_ = new LAMEProcess(*this, this);
    connect(ui_->startButton, &QPushButton::clicked, lame_, &LAMEProcess::runEncoder);
    connect(ui_->skipButton, &QPushButton::clicked, lame_, &LAMEProcess::skipTrack);
    connect(ui_->stopButton, &QPushButton::clicked, lame_, &LAMEProcess::stop);
    connect(ui_->cancelLookupButton, &QPushButton::clicked, lame_, &LAMEProcess::cancelLookup);
    connect(ui_->selectCDButton, &QPushButton::clicked, this, &AppController::selectAudioCD);
    connect(ui_->selectOutputButton, &QPushButton::clicked, this, &AppController::selectOutputDirectory);
    connect(ui_->helpButton, &QPushButton::clicked, this, &AppController::showHelp);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { applicationShouldTerminate(); });
    loadPreferences();
    window_->show();
}

int AppController::loadPreferences() {
    // The defaults resource holds what a fresh install has; the preferences file is read over it.
    platform::PlistDict freshInstall;
    QFile defaults(":/discwell/Default.cfg");
    if (defaults.open(QIODevice::ReadOnly))
        freshInstall = platform::parsePropertyList(defaults.readAll().toStdString()).value_or(platform::PlistDict{});
    std::optional<platform::PlistDict> stored;
    bool damaged = false;
    if (QFile::exists(preferencesPath_)) {
        stored = platform::readPropertyList(preferencesPath_.toStdString());
        damaged = !stored;
    }
    RipperPreferences prefs;
    damaged = !prefs.load(stored.value_or(platform::PlistDict{}), freshInstall, QDir::homePath().toStdString())
                   .empty() ||
              damaged;

    // The row whose title was stored; a title no row has is the fresh install's preset.
    const auto rowTitled = [this](const std::string& title) -> QAbstractButton* {
        for (QAbstractButton* row : basicConfigMatrix_->buttons())
            if (row->text().toStdString() == title)
                return row;
        return nullptr;
    };
    QAbstractButton* row = prefs.expertRowSelected ? ui_->presetExpert : rowTitled(prefs.basicConfigOption);
    if (!row) {
        platform::log("Discwell: no preset is titled \"" + prefs.basicConfigOption + "\"; the default one is used");
        RipperPreferences fresh;
        fresh.load({}, freshInstall, {});
        row = rowTitled(fresh.basicConfigOption);
    }
    if (row)
        row->setChecked(true);
    switchBasicConfig();
    ui_->chosenCDName->setText(QString::fromStdString(prefs.audioCDLocation));
    ui_->nameStyleTextField->setText(QString::fromStdString(prefs.mp3NameStyle));
    ui_->chosenOutputDirectory->setText(QString::fromStdString(prefs.outputDirectory));
    ui_->spacesToUnderscores->setChecked(prefs.convertSpacesToUnderscores);
    ui_->expertConfigOption->setText(QString::fromStdString(prefs.expertConfigOption));
    ui_->addID3Tags->setChecked(prefs.addID3Tags);
    ui_->makeAltPresetFaster->setChecked(prefs.makeAltPresetFaster);
    ui_->ripAsSingleTrack->setChecked(prefs.ripAsSingleTrack);
    ui_->soundAlertWhenFinished->setChecked(prefs.soundAlertWhenFinished);
    ui_->editTrackInformation->setChecked(prefs.editTrackInformation);
    ui_->createSeparateArtistAlbumDirs->setChecked(prefs.createSeparateArtistAlbumDirs);
    ui_->freedbServerField->setText(QString::fromStdString(prefs.freedbServer));
    ui_->encoderJobs->setValue(prefs.encoderJobs);
    ui_->emailAddressField->setText(QString::fromStdString(prefs.emailAddress));
    ui_->lookupOrder->setCurrentIndex(static_cast<int>(lookupOrderNamed(prefs.lookupOrder)));
    musicBrainzServer_ = QString::fromStdString(prefs.musicBrainzServer);

    if (damaged) {
        // Kept aside now, before the next save writes over it; told once, when the window is up.
        const QString copy = QString::fromStdString(platform::keepDamagedCopy(preferencesPath_.toStdString()));
        if (!copy.isEmpty())
            savePreferences(); // whole again at once, so that the damage is told only this once
        const QString notice = platform::damagedSettingsNotice(preferencesPath_, copy);
        QTimer::singleShot(0, this, [this, notice] { runAlertWithTitle(tr("Settings Damaged"), notice); });
    }
    return 0;
}

RipperPreferences AppController::currentPreferences() const {
    RipperPreferences prefs;
    const QAbstractButton* selected = basicConfigMatrix_ ? basicConfigMatrix_->checkedButton() : nullptr;
    prefs.basicConfigOption = selected ? selected->text().toStdString() : basicConfigOption_;
    prefs.audioCDLocation = ui_->chosenCDName->text().toStdString();
    prefs.mp3NameStyle = ui_->nameStyleTextField->text().toStdString();
    prefs.outputDirectory = ui_->chosenOutputDirectory->text().toStdString();
    prefs.expertConfigOption = ui_->expertConfigOption->text().toStdString();
    prefs.freedbServer = ui_->freedbServerField->text().toStdString();
    prefs.convertSpacesToUnderscores = shouldConvertSpacesToUnderscores();
    prefs.addID3Tags = shouldAddID3Tags();
    prefs.makeAltPresetFaster = shouldMakeAltPresetFaster();
    prefs.ripAsSingleTrack = shouldRipAsSingleTrack();
    prefs.soundAlertWhenFinished = shouldSoundAlertWhenFinished();
    prefs.editTrackInformation = shouldEditTrackInformation();
    prefs.createSeparateArtistAlbumDirs = shouldCreateSeparateArtistAlbumDirs();
    prefs.encoderJobs = ui_->encoderJobs->value();
    prefs.emailAddress = ui_->emailAddressField->text().trimmed().toStdString();
    prefs.lookupOrder = lookupOrderName(static_cast<LookupOrder>(ui_->lookupOrder->currentIndex()));
    prefs.musicBrainzServer = musicBrainzServer_.toStdString();
    return prefs;
}

int AppController::savePreferences() {
    QDir().mkpath(QFileInfo(preferencesPath_).absolutePath());
    platform::writePropertyList(preferencesPath_.toStdString(), currentPreferences().dictionary());
    return 0;
}

bool AppController::shouldRipAsSingleTrack() const { return ui_->ripAsSingleTrack->isChecked(); }
bool AppController::shouldConvertSpacesToUnderscores() const { return ui_->spacesToUnderscores->isChecked(); }
bool AppController::shouldAddID3Tags() const { return ui_->addID3Tags->isChecked(); }
bool AppController::shouldMakeAltPresetFaster() const { return ui_->makeAltPresetFaster->isChecked(); }
bool AppController::shouldSoundAlertWhenFinished() const { return ui_->soundAlertWhenFinished->isChecked(); }
bool AppController::shouldEditTrackInformation() const { return ui_->editTrackInformation->isChecked(); }
bool AppController::shouldCreateSeparateArtistAlbumDirs() const {
    return ui_->createSeparateArtistAlbumDirs->isChecked();
}
QString AppController::getChosenCDName() const { return ui_->chosenCDName->text(); }
QString AppController::getChosenOutputDirectory() const { return ui_->chosenOutputDirectory->text(); }
QString AppController::getChosenFreedbServer() const { return ui_->freedbServerField->text(); }

DiscLookupSettings AppController::discLookupSettings() const {
    const RipperPreferences prefs = currentPreferences();
    DiscLookupSettings settings;
    settings.order = lookupOrderNamed(prefs.lookupOrder);
    settings.freedbServer = prefs.freedbServer;
    settings.emailAddress = prefs.emailAddress;
    settings.musicBrainzServer = prefs.musicBrainzServer;
    return settings;
}
QString AppController::getptl() const { return ui_->ptl->text(); }
QString AppController::getMP3NameStyle() const { return ui_->nameStyleTextField->text(); }

EncoderOptions AppController::encoderOptions() const {
    return {basicConfigOption_,
            ui_->expertConfigOption->text().toStdString(),
            shouldMakeAltPresetFaster(),
            shouldAddID3Tags(),
            shouldConvertSpacesToUnderscores(),
            getMP3NameStyle().toStdString()};
}

void AppController::setptl(const QString& text) { ui_->ptl->setText(text); }
void AppController::setptf(const QString& text) { ui_->ptf->setText(text); }
void AppController::setProgress(int trackPercent, int jobPercent) {
    ui_->trackProgress->setValue(trackPercent);
    ui_->jobProgress->setValue(jobPercent);
}
void AppController::setOutputDirectory(const QString& path) { ui_->chosenOutputDirectory->setText(path); }

void AppController::setJobFolder(const QString& folder) {
    ui_->jobFolder->setText(folder.isEmpty() ? QString() : tr("Saving to %1").arg(folder));
}

void AppController::showRunningTracks(const std::vector<RunningTrack>& tracks) {
    // Rows are kept while the same runs go on; only their bars move.
    QLayout* layout = ui_->runningTracks->layout();
    bool same = layout->count() == static_cast<int>(tracks.size());
    for (int i = 0; same && i < layout->count(); ++i)
        same = layout->itemAt(i)->widget()->property("run").toULongLong() == tracks[static_cast<std::size_t>(i)].run;
    if (!same) {
        while (QLayoutItem* item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const RunningTrack& track : tracks) {
            auto* row = new QWidget(ui_->runningTracks);
            row->setProperty("run", QVariant::fromValue<qulonglong>(track.run));
            auto* line = new QHBoxLayout(row);
            line->setContentsMargins(0, 0, 0, 0);
            auto* name = new QLabel(track.name, row);
            name->setMinimumWidth(160);
            auto* skip = new QPushButton(tr("Skip"), row);
            connect(skip, &QPushButton::clicked, this, [this, run = track.run] { lame_->skipRun(run); });
            line->addWidget(name);
            line->addWidget(new QProgressBar(row), 1);
            line->addWidget(skip);
            layout->addWidget(row);
        }
    }
    for (int i = 0; i < layout->count(); ++i)
        layout->itemAt(i)->widget()->findChild<QProgressBar*>()->setValue(tracks[static_cast<std::size_t>(i)].percent);
}

int AppController::encoderJobs() const {
    const int chosen = ui_->encoderJobs->value();
    return chosen > 0 ? chosen : std::max(1, QThread::idealThreadCount());
}

void AppController::showJobFinished(const QString& folder, bool complete) {
    auto* message = new QMessageBox(QMessageBox::Information, tr("Done"),
                                    complete ? tr("The tracks are in %1.").arg(folder)
                                             : tr("Some tracks are in %1.").arg(folder),
                                    QMessageBox::Close, window_);
    message->setTextFormat(Qt::PlainText);
    message->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* open = message->addButton(tr("Open Folder"), QMessageBox::AcceptRole);
    connect(open, &QPushButton::clicked, this, [this, folder] { desktop_.openFile(folder); });
    message->open();
}
void AppController::setExpertTextFieldEnabled(bool enabled) { ui_->expertConfigOption->setEnabled(enabled); }
void AppController::setNameStyleTextFieldEnabled(bool enabled) { ui_->nameStyleTextField->setEnabled(enabled); }

void AppController::switchBasicConfig() {
    if (const QAbstractButton* row = basicConfigMatrix_->checkedButton())
        basicConfigOption_ = row->text().toStdString();
}

void AppController::selectAudioCD() {
    // The drives that hold an audio CD, a disc image, or a CD folder (or some of its tracks).
    QDialog chooser(window_);
    chooser.setWindowTitle(tr("Choose the Audio CD"));
    auto* layout = new QVBoxLayout(&chooser);
    layout->addWidget(new QLabel(tr("Rip from:"), &chooser));
    QString chosen;
    const auto add = [&](const QString& label, const QString& value) {
        auto* button = new QPushButton(label, &chooser);
        connect(button, &QPushButton::clicked, &chooser, [&chosen, &chooser, value] {
            chosen = value;
            chooser.accept();
        });
        layout->addWidget(button);
    };
    for (const auto& drive : platform::AudioCd::audioCdDrives())
        add(tr("Audio CD in %1").arg(QString::fromStdString(drive)), "drive:" + QString::fromStdString(drive));
    add(tr("Disc image..."), "image:");
    add(tr("CD folder..."), "folder:");
    add(tr("Track files..."), "tracks:");
    auto* cancel = new QPushButton(tr("Cancel"), &chooser);
    connect(cancel, &QPushButton::clicked, &chooser, &QDialog::reject);
    layout->addWidget(cancel);
    if (chooser.exec() != QDialog::Accepted)
        return;
    if (chosen.startsWith("drive:")) {
        readCdSource(chosen.mid(6));
    } else if (chosen == "image:") {
        const QString image = QFileDialog::getOpenFileName(window_, tr("Choose a Disc Image"), QDir::homePath(),
                                                           tr("Disc images (*.cue *.toc *.nrg);;All files (*)"));
        if (!image.isEmpty())
            readCdSource(image);
    } else if (chosen == "folder:") {
        const QString folder =
            QFileDialog::getExistingDirectory(window_, tr("Choose an Audio CD Folder"), QDir::homePath());
        if (!folder.isEmpty())
            chooseSource({folder});
    } else {
        const QStringList tracks = QFileDialog::getOpenFileNames(
            window_, tr("Choose Tracks"), QDir::homePath(), tr("Audio files (*.aiff *.aif *.wav);;All files (*)"));
        if (!tracks.isEmpty())
            chooseSource(tracks);
    }
}

QString AppController::cdCacheFolder() const {
    return cdCacheFolder_.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/Discwell"
                                    : cdCacheFolder_;
}

bool AppController::readCdSource(const QString& deviceOrImage) {
    if (lame_ && lame_->isRunning()) {
        runAlertWithTitle(tr("A job is running"), tr("Stop the job before choosing another CD."));
        return false;
    }
    cancelCdReading();
    const QString cache = cdCacheFolder();
    const int reading = ++cdReading_;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cdCancel_ = cancel;
    cdProgress_ = new QProgressDialog(tr("Reading the CD..."), tr("Cancel"), 0, 100, window_);
    cdProgress_->setWindowTitle(tr("Reading the CD"));
    cdProgress_->setWindowModality(Qt::NonModal); // the window stays usable: a job may start meanwhile
    cdProgress_->setAttribute(Qt::WA_DeleteOnClose);
    cdProgress_->setMinimumDuration(0);
    cdProgress_->setValue(0);
    connect(cdProgress_, &QProgressDialog::canceled, this, [cancel] { *cancel = true; });

    // Reports from the worker come through the event loop; those of an older reading are dropped.
    const auto post = [this, reading](std::function<void()> report) {
        QMetaObject::invokeMethod(
            this,
            [this, reading, report = std::move(report)] {
                if (reading == cdReading_)
                    report();
            },
            Qt::QueuedConnection);
    };
    cdReader_ = std::thread([this, post, cancel, path = deviceOrImage.toStdString(), cache = cache.toStdString()] {
        std::string error;
        int shown = -1;
        const auto folder = ripper::prepareCdFolder(
            path, cache,
            [&](const ripper::CdFolderProgress& p) {
                const int percent = static_cast<int>(100 * p.sectorsDone / std::max(1L, p.sectorsTotal));
                if (percent != shown) {
                    shown = percent;
                    post([this, p, percent] {
                        if (!cdProgress_)
                            return;
                        cdProgress_->setLabelText(tr("Reading track %1 of %2 (%3%)").arg(p.track).arg(p.tracks).arg(percent));
                        cdProgress_->setValue((100 * (p.track - 1) + percent) / std::max(1, p.tracks));
                    });
                }
                return !cancel->load();
            },
            &error,
            [&](const std::string& made, const std::vector<std::string>& tracks) {
                post([this, made, tracks] {
                    chosenTracks_ = tracks;
                    ui_->chosenCDName->setText(QString::fromStdString(made));
                });
            },
            [&](const std::string&) { post([this] { emit cdTrackRead(); }); });
        const bool ok = folder.has_value(), cancelled = cancel->load();
        post([this, ok, cancelled, error] {
            if (cdReader_.joinable())
                cdReader_.join();
            if (cdProgress_)
                cdProgress_->close();
            cdProgress_ = nullptr;
            if (!ok && !cancelled)
                runAlertWithTitle("Could not read the CD", QString::fromStdString(error));
            emit cdReadingEnded(ok);
        });
    });
    return true;
}

void AppController::cancelCdReading(bool tell) {
    if (!cdReader_.joinable())
        return;
    *cdCancel_ = true;
    cdReader_.join();
    ++cdReading_; // what the cancelled reading still reports is passed over
    if (cdProgress_)
        cdProgress_->close();
    cdProgress_ = nullptr;
    if (tell)
        emit cdReadingEnded(false);
}

void AppController::chooseSource(const QStringList& items) {
    if (lame_ && lame_->isRunning())
        return; // the job's source stays
    cancelCdReading();
    std::vector<std::string> paths;
    for (const QString& item : items)
        paths.push_back(item.toStdString());
    const auto source = ripper::chooseSource(paths);
    if (!source)
        return;
    chosenTracks_ = source->chosenTracks;
    ui_->chosenCDName->setText(QString::fromStdString(source->cdFolder));
}

std::vector<std::string> AppController::getChosenTracks() const {
    if (!chosenTracks_.empty())
        return chosenTracks_;
    return getTracksAtPath(getChosenCDName().toStdString()).value_or(std::vector<std::string>{});
}

void AppController::selectOutputDirectory() {
    const QString folder =
        QFileDialog::getExistingDirectory(window_, tr("Choose the Output Folder"), QDir::homePath() + "/Music");
    outputDirectoryChosen(folder);
}

void AppController::outputDirectoryChosen(const QString& folder) {
    if (folder.isEmpty())
        return;
    setOutputDirectory(folder + "/" + QFileInfo(getChosenCDName()).fileName());
}

void AppController::showHelp() {
    desktop_.openFile(resourceFile(":/discwell/basicoperation.html", "basicoperation.html"));
}

void AppController::runAlertWithTitle(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, window_);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void AppController::runAlertBadCD() {
    runAlertWithTitle("Could not find an audio CD!",
                      "Please make sure there is an audio CD in your CD-ROM drive.\n\nIt may be the case that the CD "
                      "has not yet mounted; please wait a few seconds and try again.");
}

void AppController::playFinishSound() {
    // The desktop's sound players, where there are any; silence otherwise.
    for (const char* player : {"paplay", "pw-play", "aplay"}) {
        const QString program = QStandardPaths::findExecutable(player);
        if (!program.isEmpty()) {
            QProcess::startDetached(program, {resourceFile(":/discwell/Temple.wav", "Temple.wav")});
            return;
        }
    }
}

bool AppController::applicationShouldTerminate() {
    if (lame_ && lame_->isRunning())
        lame_->stop();
    savePreferences();
    return true;
}

} // namespace ripper
