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

AppController::~AppController() { delete window_; }

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
    add(tr("CD folder or tracks..."), "folder:");
    auto* cancel = new QPushButton(tr("Cancel"), &chooser);
    connect(cancel, &QPushButton::clicked, &chooser, &QDialog::reject);
    layout->addWidget(cancel);
    if (chooser.exec() != QDialog::Accepted)
        return;
    if (chosen.startsWith("drive:")) {
        prepareCdSource(chosen.mid(6));
    } else if (chosen == "image:") {
        const QString image = QFileDialog::getOpenFileName(window_, tr("Choose a Disc Image"), QDir::homePath(),
                                                           tr("Disc images (*.cue *.toc *.nrg);;All files (*)"));
        if (!image.isEmpty())
            prepareCdSource(image);
    } else {
        // A CD folder or track files: the dialog shows files and lets a folder be taken too.
        QFileDialog dialog(window_, tr("Choose an Audio CD Folder or Tracks"), "/");
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.selectFile("Audio CD");
        if (dialog.exec() == QDialog::Accepted)
            chooseSource(dialog.selectedFiles());
    }
}

bool AppController::prepareCdSource(const QString& deviceOrImage) {
    const QString cache = cdCacheFolder_.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/Discwell"
                              : cdCacheFolder_;
    QProgressDialog dialog(tr("Reading the CD..."), tr("Cancel"), 0, 100, window_);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setValue(0);

    // The disc is read on a worker; this thread keeps the window alive and shows the progress.
    std::atomic<bool> cancelled{false}, done{false};
    std::atomic<int> track{0}, tracks{1}, trackPercent{0};
    std::optional<std::string> folder;
    std::string error;
    std::thread reader([&] {
        folder = ripper::prepareCdFolder(
            deviceOrImage.toStdString(), cache.toStdString(),
            [&](const ripper::CdFolderProgress& p) {
                track = p.track;
                tracks = p.tracks;
                trackPercent = static_cast<int>(100 * p.sectorsDone / std::max(1L, p.sectorsTotal));
                return !cancelled.load();
            },
            &error);
        done = true;
    });
    while (!done) {
        if (dialog.wasCanceled())
            cancelled = true;
        if (track > 0) {
            dialog.setLabelText(tr("Reading track %1 of %2 (%3%)").arg(track).arg(tracks).arg(trackPercent));
            dialog.setValue((100 * (track - 1) + trackPercent) / std::max(1, tracks.load()));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    reader.join();
    dialog.reset();
    if (!folder) {
        if (!cancelled)
            runAlertWithTitle("Could not read the CD", QString::fromStdString(error));
        return false;
    }
    chooseSource({QString::fromStdString(*folder)});
    return true;
}

void AppController::chooseSource(const QStringList& items) {
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
