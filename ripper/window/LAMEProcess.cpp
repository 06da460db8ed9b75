#include "ripper/window/LAMEProcess.h"

#include "platform/core/Files.h"
#include "platform/core/Log.h"
#include "ripper/freedb/EditedTitles.h"
#include "ripper/EncoderProgress.h"
#include "ripper/window/AppController.h"
#include "ripper/window/TrackInfo.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QPushButton>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

namespace ripper {
namespace {

// What a run's output keeps for its progress reports: the end of the latest chunks.
constexpr std::size_t outputTailBytes = 8192;

} // namespace

LAMEProcess::LAMEProcess(AppController& controller, QObject* parent)
    : QObject(parent), controller_(controller), trackInfo_(new TrackInfo(controller.window())),
      matches_(new FreedbAlbumMatchesController(controller.window())), encoderPath_(encoderPath()) {
    resetLAMEProcessForNewCD();
    connect(&controller, &AppController::cdTrackRead, this, [this] { startRuns(); });
    connect(&controller, &AppController::cdReadingEnded, this, [this](bool ok) { sourceReadingEnded(ok); });
}

// What a lookup's worker shares with the window: its cancel flag, and the choice the window
// makes for it when freedb offers several matches.
struct LAMEProcess::Lookup {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable chosen;
    std::optional<int> choice;

    void choose(int index) {
        {
            std::lock_guard lock(mutex);
            if (!choice)
                choice = index;
        }
        chosen.notify_all();
    }
};

LAMEProcess::~LAMEProcess() {
    endLookupWorker();
    for (auto& running : running_) {
        running.process->disconnect(this);
        running.process->kill();
        running.process->waitForFinished(2000);
    }
}

QString LAMEProcess::encoderPath() {
    return QDir(QCoreApplication::applicationDirPath() + "/../share/discwell").absoluteFilePath("lame");
}

bool LAMEProcess::isRunning() const { return state_ != State::Idle; }

bool LAMEProcess::windowShouldClose() {
    if (isRunning())
        stop();
    return true;
}

void LAMEProcess::resetLAMEProcessForNewCD() {
    job_ = {};
    active_ = false;
    state_ = State::Idle;
    next_ = finished_ = kept_ = 0;
    failedTracks_.clear();
    controller_.setptl("");
    controller_.setptf("");
    controller_.setProgress(0, 0);
    controller_.setJobFolder(QString());
    controller_.showRunningTracks({});
    controller_.emptyChosenTracksArray();
    controller_.setExpertTextFieldEnabled(true);
    controller_.setNameStyleTextFieldEnabled(true);
    auto& ui = controller_.ui();
    if (ui.startButton) {
        ui.cancelLookupButton->setVisible(false);
        ui.startButton->setEnabled(true);
        ui.stopButton->setEnabled(false);
        ui.skipButton->setEnabled(false);
    }
}

void LAMEProcess::runEncoder() {
    if (isRunning())
        return;
    const std::string cdPath = controller_.getChosenCDName().toStdString();
    if (!audioCDIsMounted(cdPath)) {
        controller_.runAlertBadCD();
        return;
    }
    // A per-track job needs names that tell its tracks apart: said before anything happens.
    if (!controller_.shouldRipAsSingleTrack())
        if (const auto problem = nameStyleProblem(controller_.getMP3NameStyle().toStdString())) {
            controller_.runAlertWithTitle("The file names would collide", QString::fromStdString(*problem));
            return;
        }
    cdPath_ = cdPath;
    trackList_ = controller_.getChosenTracks();
    const auto toc = readTableOfContents(cdPath);
    discId_ = toc ? musicBrainzDiscId(*toc) : std::string();
    auto& ui = controller_.ui();
    ui.startButton->setEnabled(false);
    ui.stopButton->setEnabled(true);
    controller_.setExpertTextFieldEnabled(false);
    controller_.setNameStyleTextFieldEnabled(false);
    if (!toc) { // no table of contents: nothing to look up
        albumKnown(std::nullopt);
        return;
    }
    // Titles the user edited for this disc before stand in for a lookup.
    if (auto edited = readEditedTitles(controller_.cdCacheFolder().toStdString(), discId_)) {
        platform::log("Discwell: using the titles edited earlier for disc " + discId_);
        albumKnown(std::move(edited));
        return;
    }
    startLookup(*toc);
}

void LAMEProcess::startLookup(const TableOfContents& toc) {
    if (lookupThread_.joinable()) // a lookup that ended: its worker has posted its last words
        lookupThread_.join();
    state_ = State::LookingUp;
    auto& ui = controller_.ui();
    controller_.setptl(tr("Looking up the disc\u2026"));
    ui.cancelLookupButton->setVisible(true);
    ui.cancelLookupButton->setEnabled(true);

    auto lookup = std::make_shared<Lookup>();
    lookup_ = lookup;
    DiscLookupSettings settings = controller_.discLookupSettings();
    settings.timeout = freedbTimeout_;
    lookupThread_ = std::thread([this, lookup, settings, toc] {
        // freedb's matches are chosen in the window; the worker waits for the choice.
        const auto choose = [this, lookup](const std::vector<Release>& rows) {
            QMetaObject::invokeMethod(
                this,
                [this, lookup, rows] {
                    if (lookup != lookup_ || lookup->cancelled)
                        return lookup->choose(-1);
                    state_ = State::ChoosingMatch;
                    matches_->chooseAmong(rows, [this, lookup](int chosen) {
                        if (lookup == lookup_ && state_ == State::ChoosingMatch)
                            state_ = State::LookingUp;
                        lookup->choose(chosen);
                    });
                },
                Qt::QueuedConnection);
            std::unique_lock lock(lookup->mutex);
            while (!lookup->choice && !lookup->cancelled)
                lookup->chosen.wait_for(lock, std::chrono::milliseconds(50));
            return lookup->choice.value_or(-1);
        };
        const auto outcome = lookUpDisc(toc, settings, choose, [lookup] { return lookup->cancelled.load(); });
        QMetaObject::invokeMethod(
            this,
            [this, lookup, outcome] {
                if (lookup == lookup_ && !lookup->cancelled)
                    lookupEnded(outcome);
            },
            Qt::QueuedConnection);
    });
}

// Tells the lookup's worker to end and waits for it and for the cancelled ones: each ends within
// a moment of being told, but for a CDDBP connect or a name lookup, which end at their time
// limit. Only the end of the window waits for them.
void LAMEProcess::endLookupWorker() {
    if (lookup_) {
        lookup_->cancelled = true;
        lookup_->chosen.notify_all();
    }
    if (lookupThread_.joinable())
        lookupThread_.join();
    for (auto& worker : cancelledLookups_)
        worker.join();
    cancelledLookups_.clear();
}

void LAMEProcess::cancelLookup() {
    if (state_ != State::LookingUp && state_ != State::ChoosingMatch && state_ != State::Editing)
        return;
    if (lookup_) {
        lookup_->cancelled = true; // the worker ends on its own; what it still reports is passed over
        lookup_->chosen.notify_all();
        lookup_.reset();
    }
    // The window never waits for it: a worker held by a connect is joined when the window goes.
    if (lookupThread_.joinable())
        cancelledLookups_.push_back(std::move(lookupThread_));
    state_ = State::Idle;
    if (matches_->isVisible())
        matches_->chooseNone();
    trackInfo_->cancel();
    resetLAMEProcessForNewCD();
    emit jobFinished();
}

void LAMEProcess::lookupEnded(const DiscLookupOutcome& outcome) {
    if (lookupThread_.joinable())
        lookupThread_.join();
    lookup_.reset();
    controller_.ui().cancelLookupButton->setVisible(false);
    controller_.setptl("");
    if (outcome.releases.empty()) {
        if (!outcome.failureText.empty())
            controller_.runAlertWithTitle(QString::fromStdString(outcome.failureTitle),
                                          QString::fromStdString(outcome.failureText));
        if (state_ != State::Idle)
            albumKnown(std::nullopt);
        return;
    }
    if (outcome.releases.size() == 1) {
        albumKnown(outcome.releases.front().entry);
        return;
    }
    state_ = State::ChoosingMatch;
    matches_->chooseAmong(outcome.releases, [this, releases = outcome.releases](int chosen) {
        if (state_ != State::ChoosingMatch)
            return;
        if (chosen >= 0 && static_cast<std::size_t>(chosen) < releases.size())
            albumKnown(releases[static_cast<std::size_t>(chosen)].entry);
        else
            albumKnown(std::nullopt);
    });
}

void LAMEProcess::albumKnown(std::optional<AlbumEntry> album) {
    if (!controller_.shouldEditTrackInformation()) {
        startEncoding(album);
        return;
    }
    state_ = State::Editing;
    // Without album information the editor starts from the tracks' names, with empty artist and
    // album fields that say what belongs in them.
    AlbumEntry shown = album.value_or(AlbumEntry{});
    if (!album) {
        shown.info = {"", ""};
        for (const auto& entry : trackList_)
            if (entry.rfind('.', 0) != 0)
                shown.info.push_back(entry.substr(0, entry.rfind('.'))); // without its extension
    }
    trackInfo_->editTrackInfo(shown.info, [this, shown](bool confirmed) mutable {
        if (state_ != State::Editing)
            return;
        if (!confirmed) { // Cancel in the editor cancels the job
            resetLAMEProcessForNewCD();
            emit jobFinished();
            return;
        }
        shown.info = trackInfo_->getEditedInformation();
        if (shown.info[0].empty())
            shown.info[0] = "Unknown Artist";
        if (shown.info[1].empty())
            shown.info[1] = "Unknown Album";
        if (!keepEditedTitles(controller_.cdCacheFolder().toStdString(), discId_, shown) && !discId_.empty())
            platform::log("Discwell: the edited titles could not be kept for disc " + discId_);
        startEncoding(shown);
    });
}

void LAMEProcess::startEncoding(const std::optional<AlbumEntry>& album) {
    const std::string& cdPath = cdPath_;
    const auto& trackList = trackList_;
    RipJobRequest request;
    request.options = controller_.encoderOptions();
    request.singleTrack = controller_.shouldRipAsSingleTrack();
    request.nestedFolders = controller_.shouldCreateSeparateArtistAlbumDirs();
    request.cdPath = cdPath;
    request.trackList = trackList;
    if (album) {
        request.album = album->info;
        request.year = album->year;
        request.genre = album->genre;
        request.trackArtists = album->trackArtists;
        request.discNumber = album->discNumber;
        request.discTotal = album->discTotal;
    }
    request.outputDirectoryField = controller_.getChosenOutputDirectory().toStdString();
    job_ = planRipJob(request);
    if (!job_.problem.empty()) {
        controller_.runAlertWithTitle("The job could not start", QString::fromStdString(job_.problem));
        resetLAMEProcessForNewCD();
        return;
    }
    if (job_.runs.empty()) {
        finishJob(false);
        controller_.runAlertWithTitle("Nothing to encode", "The CD folder holds no track to encode.");
        return;
    }

    active_ = true;
    state_ = State::Encoding;
    next_ = finished_ = kept_ = 0;
    failedTracks_.clear();
    startedAt_ = QDateTime::currentMSecsSinceEpoch();
    controller_.setJobFolder(QString::fromStdString(job_.outputFolder));
    auto& ui = controller_.ui();
    ui.startButton->setEnabled(false);
    ui.stopButton->setEnabled(true);
    ui.skipButton->setEnabled(true);
    controller_.setExpertTextFieldEnabled(false);
    controller_.setNameStyleTextFieldEnabled(false);
    startRuns();
}

void LAMEProcess::startRuns() {
    const std::size_t limit = static_cast<std::size_t>(std::max(1, controller_.encoderJobs()));
    while (active_ && running_.size() < limit && next_ < job_.runs.size() && sourcesReady(job_.runs[next_]))
        ripASingleTrack();
    showProgress();
}

// While the disc is still being read, a run waits for its track files; otherwise it starts, and
// lame says what is wrong with a file that is not there.
bool LAMEProcess::sourcesReady(const RipRun& run) const {
    if (!controller_.isReadingCd())
        return true;
    if (!run.source.empty())
        return platform::fileExists(run.source);
    for (const auto& track : controller_.getChosenTracks())
        if (track.rfind('.', 0) != 0 &&
            !platform::fileExists(platform::joinPath(controller_.getChosenCDName().toStdString(), track)))
            return false;
    return true;
}

void LAMEProcess::sourceReadingEnded(bool ok) {
    if (!active_)
        return;
    if (ok || next_ >= job_.runs.size()) {
        startRuns();
        return;
    }
    // The tracks still to come will not: the job ends with what it has.
    stop();
    controller_.runAlertWithTitle("The job stopped", "The CD could not be read to its end.");
}

void LAMEProcess::ripASingleTrack() {
    const std::size_t index = next_++;
    const RipRun& run = job_.runs[index];
    if (run.source.empty()) // a gapless run writes into a hidden folder of its own
        platform::createDirectory(run.temporary);
    auto* process = new QProcess(this);
    running_.push_back({process, index, {}, 0});
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(QString::fromStdString(run.workingDirectory));
    // lame turns tag texts into the tag's encoding by the locale: UTF-8, whatever the user's is.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    process->setProcessEnvironment(environment);
    QStringList arguments;
    for (const auto& argument : run.arguments)
        arguments << QString::fromStdString(argument);
    connect(process, &QProcess::readyRead, this, [this, process] { getData(process, process->readAll()); });
    connect(process, &QProcess::finished, this, [this, process] { runEnded(process, true); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || !runningProcess(process))
            return;
        const QString program = process->program();
        std::erase_if(running_, [process](const Running& r) { return r.process == process; });
        process->deleteLater();
        ++finished_;
        stop();
        controller_.runAlertWithTitle("The encoder could not be started",
                                      "Discwell could not start the encoder \"" + program + "\".");
    });
    controller_.setptl(QString("Processing: %1     (%2 of %3)")
                           .arg(QString::fromStdString(run.displayedName))
                           .arg(index + 1)
                           .arg(job_.runs.size()));
    process->start(encoderPath_, arguments);
}

LAMEProcess::Running* LAMEProcess::runningProcess(QProcess* process) {
    for (auto& running : running_)
        if (running.process == process)
            return &running;
    return nullptr;
}

void LAMEProcess::getData(QProcess* process, const QByteArray& chunk) {
    Running* running = runningProcess(process);
    if (!running)
        return;
    running->outputTail.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    if (running->outputTail.size() > outputTailBytes)
        running->outputTail.erase(0, running->outputTail.size() - outputTailBytes);
    if (const auto progress = lastEncoderProgress(running->outputTail)) {
        running->percent = progress->percent;
        showProgress();
    }
}

// The job's bar counts every run, the track bar is the oldest running track's, and the time
// remaining is the job's: what is left at the pace so far.
void LAMEProcess::showProgress() {
    const auto total = static_cast<int>(job_.runs.size());
    if (total == 0)
        return;
    int sum = 100 * static_cast<int>(finished_);
    std::vector<AppController::RunningTrack> rows;
    for (const auto& running : running_) {
        sum += running.percent;
        rows.push_back({running.run, QString::fromStdString(job_.runs[running.run].displayedName), running.percent});
    }
    const int jobPercent = sum / total;
    controller_.setProgress(running_.empty() ? 0 : running_.front().percent, jobPercent);
    controller_.showRunningTracks(running_.size() > 1 ? rows : std::vector<AppController::RunningTrack>{});
    if (jobPercent > 0) {
        const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - startedAt_;
        const qint64 left = elapsed * (100 - jobPercent) / jobPercent / 1000;
        controller_.setptf(
            QString("Est. Time Remaining: %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0')));
    }
}

namespace {

// lame's last words: the lines of its output that are not progress reports.
QString lastWords(const std::string& output) {
    QStringList lines;
    for (const QString& line : QString::fromUtf8(output.data(), static_cast<qsizetype>(output.size()))
                                   .split(QRegularExpression("[\\r\\n]"), Qt::SkipEmptyParts)) {
        const QString text = line.trimmed();
        if (!text.isEmpty() && !text.contains('|') && !text.contains('%') && !text.startsWith('\x1b'))
            lines << text;
    }
    return lines.mid(std::max<qsizetype>(0, lines.size() - 3)).join("\n    ");
}

} // namespace

bool LAMEProcess::keepOutput(const RipRun& run, QString* problem) {
    const auto keep = [&](const std::string& from, const std::string& to) {
        // Never over a file that is there: the next free " (n)" name instead.
        std::error_code error = platform::moveWithoutReplacing(from, to);
        for (int n = 2; error == std::errc::file_exists && n < 1000; ++n)
            error = platform::moveWithoutReplacing(from, numberedName(to, n));
        if (error)
            *problem = QString::fromStdString("\"" + to + "\" could not be kept: " + error.message());
        return !error;
    };
    if (run.source.empty()) { // a gapless run: every file of its folder
        bool all = true;
        for (const std::string& name : platform::listDirectory(run.temporary))
            all = keep(platform::joinPath(run.temporary, name), platform::joinPath(run.destination, name)) && all;
        platform::removePath(run.temporary);
        return all;
    }
    return keep(run.temporary, run.destination);
}

// A run ended: on its own (`naturally`), or ended by skip or stop.
void LAMEProcess::runEnded(QProcess* process, bool naturally) {
    Running* found = runningProcess(process);
    if (!found)
        return; // a run already dealt with
    const Running running = std::move(*found);
    std::erase_if(running_, [process](const Running& r) { return r.process == process; });
    process->disconnect(this);
    if (!naturally) {
        process->kill();
        process->waitForFinished(2000);
    }
    process->deleteLater();
    ++finished_;
    const RipRun& run = job_.runs[running.run];
    const bool succeeded = naturally && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    QString problem;
    if (succeeded && keepOutput(run, &problem)) {
        ++kept_;
    } else {
        platform::removePath(run.temporary);
        if (naturally) {
            const QString words = problem.isEmpty() ? lastWords(running.outputTail) : problem;
            failedTracks_ << QString::fromStdString(run.displayedName) + (words.isEmpty() ? "" : ":\n    " + words);
        }
    }
    if (!active_)
        return;
    startRuns();
    if (running_.empty() && next_ >= job_.runs.size())
        finishJob(true);
}

void LAMEProcess::finishJob(bool naturally) {
    const QStringList failed = failedTracks_;
    const QString folder = QString::fromStdString(job_.outputFolder);
    const bool keptAny = kept_ > 0;
    // Folders the job made and left empty go again, the album folder first.
    for (auto it = job_.createdFolders.rbegin(); it != job_.createdFolders.rend(); ++it)
        if (platform::isDirectory(*it) && platform::listDirectory(*it).empty())
            ::rmdir(it->c_str());
    if (naturally && failed.isEmpty() && controller_.shouldSoundAlertWhenFinished())
        controller_.playFinishSound();
    resetLAMEProcessForNewCD();
    if (!failed.isEmpty())
        controller_.runAlertWithTitle("Some tracks were not encoded",
                                      "The encoder failed on:\n\n" + failed.join("\n"));
    if (keptAny)
        controller_.showJobFinished(folder, naturally && failed.isEmpty());
    emit jobFinished();
}

void LAMEProcess::skipTrack() {
    if (!running_.empty())
        runEnded(running_.front().process, false);
}

void LAMEProcess::skipRun(std::size_t run) {
    for (const auto& running : running_)
        if (running.run == run) {
            runEnded(running.process, false);
            return;
        }
}

void LAMEProcess::stop() {
    if (state_ == State::LookingUp || state_ == State::ChoosingMatch || state_ == State::Editing) {
        cancelLookup();
        return;
    }
    if (!active_)
        return;
    active_ = false; // nothing more starts
    next_ = job_.runs.size();
    while (!running_.empty())
        runEnded(running_.front().process, false);
    finishJob(false);
}

} // namespace ripper
