#include "ripper/window/LAMEProcess.h"

#include "ripper/EncoderProgress.h"
#include "ripper/window/AppController.h"
#include "ripper/window/TrackInfo.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QPushButton>

namespace ripper {
namespace {

// What a run's output keeps for its progress reports: the end of the latest chunks.
constexpr std::size_t outputTailBytes = 8192;

// "host" or "host:port" from the server field.
std::pair<std::string, std::uint16_t> serverAndPort(const QString& field) {
    const int colon = field.lastIndexOf(':');
    bool ok = false;
    const int port = colon > 0 ? field.mid(colon + 1).toInt(&ok) : 0;
    if (ok && port > 0 && port < 65536)
        return {field.left(colon).trimmed().toStdString(), static_cast<std::uint16_t>(port)};
    return {field.trimmed().toStdString(), 8880};
}

} // namespace

LAMEProcess::LAMEProcess(AppController& controller, QObject* parent)
    : QObject(parent), controller_(controller), trackInfo_(new TrackInfo(controller.window())),
      matches_(new FreedbAlbumMatchesController(controller.window())), encoderPath_(encoderPath()) {
    resetLAMEProcessForNewCD();
}

LAMEProcess::~LAMEProcess() {
    if (chore_) {
        chore_->disconnect(this);
        chore_->kill();
        chore_->waitForFinished(2000);
    }
}

QString LAMEProcess::encoderPath() {
    return QDir(QCoreApplication::applicationDirPath() + "/../share/discwell").absoluteFilePath("lame");
}

bool LAMEProcess::isRunning() const { return !controller_.getptl().isEmpty(); }

bool LAMEProcess::windowShouldClose() {
    if (isRunning())
        stop();
    return true;
}

std::string LAMEProcess::getChosenCDName() { return controller_.getChosenCDName().toStdString(); }

void LAMEProcess::runAlertWithTitle(const std::string& title, const std::string& text) {
    controller_.runAlertWithTitle(QString::fromStdString(title), QString::fromStdString(text));
}

std::int32_t LAMEProcess::displayMultipleAlbumMatches(const std::vector<std::string>& matches) {
    matches_->displayAlbumMatches(matches);
    return matches_->getChosenAlbumNumber();
}

void LAMEProcess::resetLAMEProcessForNewCD() {
    job_ = {};
    next_ = 0;
    failedTracks_.clear();
    controller_.setptl("");
    controller_.setptf("");
    controller_.setProgress(0, 0);
    controller_.emptyChosenTracksArray();
    controller_.setExpertTextFieldEnabled(true);
    controller_.setNameStyleTextFieldEnabled(true);
    auto& ui = controller_.ui();
    if (ui.startButton) {
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
    auto freedb = FreedbAccess::create(*this);
    const auto trackList = controller_.getChosenTracks();
    std::optional<std::vector<std::string>> album;
    if (freedb) {
        const auto [host, port] = serverAndPort(controller_.getChosenFreedbServer());
        freedb->setPort(port);
        freedb->setTimeout(freedbTimeout_);
        freedb->lookupCDInformation(host);
        album = freedb->getAlbumInfo();
    }
    if (controller_.shouldEditTrackInformation()) {
        std::vector<std::string> shown = album.value_or(std::vector<std::string>{"Artist", "Album"});
        if (!album)
            for (const auto& entry : trackList)
                if (entry.rfind('.', 0) != 0)
                    shown.push_back(entry);
        trackInfo_->displayTrackInfo(shown);
        if (trackInfo_->userDidEditInformation())
            album = trackInfo_->getEditedInformation();
    }

    RipJobRequest request;
    request.options = controller_.encoderOptions();
    request.singleTrack = controller_.shouldRipAsSingleTrack();
    request.nestedFolders = controller_.shouldCreateSeparateArtistAlbumDirs();
    request.cdPath = cdPath;
    request.trackList = trackList;
    request.album = album;
    request.outputDirectoryField = controller_.getChosenOutputDirectory().toStdString();
    job_ = planRipJob(request);
    controller_.setOutputDirectory(QString::fromStdString(job_.outputFolder));
    if (job_.runs.empty()) {
        controller_.runAlertWithTitle("Nothing to encode", "The CD folder holds no track to encode.");
        resetLAMEProcessForNewCD();
        return;
    }

    next_ = 0;
    failedTracks_.clear();
    auto& ui = controller_.ui();
    ui.startButton->setEnabled(false);
    ui.stopButton->setEnabled(true);
    ui.skipButton->setEnabled(true);
    controller_.setExpertTextFieldEnabled(false);
    controller_.setNameStyleTextFieldEnabled(false);
    ripASingleTrack();
}

void LAMEProcess::ripASingleTrack() {
    const RipRun& run = job_.runs[next_];
    auto* process = new QProcess(this);
    chore_ = process;
    outputTail_.clear();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(QString::fromStdString(run.workingDirectory));
    QStringList arguments;
    for (const auto& argument : run.arguments)
        arguments << QString::fromStdString(argument);
    connect(process, &QProcess::readyRead, this, [this, process] {
        if (process == chore_)
            getData(process->readAll());
    });
    connect(process, &QProcess::finished, this, [this, process] { runEnded(process, true); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || process != chore_)
            return;
        const QString program = process->program();
        chore_ = nullptr;
        process->deleteLater();
        stop();
        controller_.runAlertWithTitle("The encoder could not be started",
                                      "Discwell could not start the encoder \"" + program + "\".");
    });
    controller_.setProgress(0, static_cast<int>(100 * next_ / job_.runs.size()));
    controller_.setptl(QString("Processing: %1     (%2 of %3)")
                           .arg(QString::fromStdString(run.displayedName))
                           .arg(next_ + 1)
                           .arg(job_.runs.size()));
    ++next_;
    process->start(encoderPath_, arguments);
}

void LAMEProcess::getData(const QByteArray& chunk) {
    outputTail_.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    if (outputTail_.size() > outputTailBytes)
        outputTail_.erase(0, outputTail_.size() - outputTailBytes);
    const auto progress = lastEncoderProgress(outputTail_);
    if (!progress)
        return;
    controller_.setptf(QString("Est. Time Remaining: %1").arg(QString::fromStdString(progress->eta)));
    const int total = static_cast<int>(job_.runs.size());
    const int done = static_cast<int>(next_) - 1;
    controller_.setProgress(progress->percent, total ? (100 * done + progress->percent) / total : 0);
}

// A run ended: on its own (`naturally`), or ended by skip or stop.
void LAMEProcess::runEnded(QProcess* process, bool naturally) {
    if (process != chore_)
        return; // a run already dealt with
    chore_ = nullptr;
    process->disconnect(this);
    if (naturally && (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0))
        failedTracks_ << QString::fromStdString(job_.runs[next_ - 1].displayedName);
    if (!naturally) {
        process->kill();
        process->waitForFinished(2000);
    }
    process->deleteLater();
    if (next_ < job_.runs.size()) {
        ripASingleTrack();
        return;
    }
    finishJob(naturally);
}

void LAMEProcess::finishJob(bool naturally) {
    const QStringList failed = failedTracks_;
    const bool nested = controller_.shouldCreateSeparateArtistAlbumDirs();
    if (naturally && failed.isEmpty() && controller_.shouldSoundAlertWhenFinished())
        controller_.playFinishSound();
    resetLAMEProcessForNewCD();
    if (nested) {
        const QDir folder(controller_.getChosenOutputDirectory());
        controller_.setOutputDirectory(QFileInfo(QFileInfo(folder.absolutePath()).absolutePath()).absolutePath() +
                                       "/Audio CD");
    }
    if (!failed.isEmpty())
        controller_.runAlertWithTitle("Some tracks were not encoded", "The encoder failed on:\n\n" + failed.join("\n"));
    emit jobFinished();
}

void LAMEProcess::skipTrack() {
    if (chore_)
        runEnded(chore_, false);
}

void LAMEProcess::stop() {
    QProcess* running = chore_;
    next_ = job_.runs.size(); // nothing more to start
    if (running)
        runEnded(running, false);
    else
        finishJob(false);
}

} // namespace ripper
