#include "recorder/update/ZNVersionChecker.h"

#include "platform/core/Log.h"
#include "platform/core/Url.h"
#include "platform/ui/Desktop.h"
#include "platform/ui/UserDefaults.h"
#include "ui_ZNInternetVersion.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <mutex>
#include <thread>

namespace recorder {
namespace {

const platform::FetchLimits fetchLimits{std::chrono::seconds(10), std::chrono::seconds(20), 4u << 20};

void centreAndShow(QDialog* panel) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        panel->move(screen->availableGeometry().center() - panel->rect().center());
    panel->show();
    panel->raise();
    panel->activateWindow();
}

} // namespace

// What the worker hands to the main thread.
struct ZNVersionChecker::Check {
    enum class Outcome { Pending, Nothing, Update, UpToDate };
    std::mutex mutex;
    Outcome outcome = Outcome::Pending;
    QString remoteVersion, downloadURL, notes;
    bool notesAreHtml = false;
};

ZNVersionChecker::ZNVersionChecker(platform::UserDefaults& defaults, platform::Desktop& desktop,
                                   QString applicationName, QString applicationVersion, QObject* parent)
    : QObject(parent), defaults_(defaults), desktop_(desktop), applicationName_(std::move(applicationName)),
      applicationVersion_(std::move(applicationVersion)) {
    updateExistsPanel_ = std::make_unique<QDialog>();
    Ui::ZNInternetVersion ui;
    ui.setupUi(updateExistsPanel_.get());
    updateTitle_ = ui.updateExistsTitle;
    description_ = ui.updateExistsDescription;
    connect(ui.downloadButton, &QPushButton::clicked, this, &ZNVersionChecker::downloadUpdate);
    connect(ui.ignoreButton, &QPushButton::clicked, this, &ZNVersionChecker::ignoreUpdate);
    connect(ui.laterButton, &QPushButton::clicked, this, &ZNVersionChecker::notifyLater);

    noUpdatePanel_ = std::make_unique<QDialog>();
    noUpdatePanel_->setWindowTitle(tr("Software Update"));
    auto* layout = new QVBoxLayout(noUpdatePanel_.get());
    noUpdateTitle_ = new QLabel(noUpdatePanel_.get());
    layout->addWidget(noUpdateTitle_);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, noUpdatePanel_.get());
    connect(ok, &QDialogButtonBox::accepted, noUpdatePanel_.get(), &QDialog::accept);
    layout->addWidget(ok);

    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, &ZNVersionChecker::checkIfPanelIsReady);
}

ZNVersionChecker::~ZNVersionChecker() = default;

double ZNVersionChecker::versionNumber(const QString& text) {
    int end = 0;
    while (end < text.size() && text[end].isDigit())
        ++end;
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && text[end].isDigit())
            ++end;
    }
    return text.left(end).toDouble();
}

QString ZNVersionChecker::updateExistsTitle() const { return updateTitle_->text(); }
QString ZNVersionChecker::noUpdateTitle() const { return noUpdateTitle_->text(); }

void ZNVersionChecker::checkVersionUserInitiated(bool userInitiated) {
    if (versionURL_.isEmpty() || isChecking())
        return;
    auto check = std::make_shared<Check>();
    check_ = check;
    const std::string url = versionURL_.toStdString();
    const double local = versionNumber(applicationVersion_);
    const double ignored = defaults_.floatForKey("ZNVersionChecker");
    // The worker prepares data only; it touches no widget.
    std::thread([check, url, local, ignored, userInitiated] {
        Check::Outcome outcome = Check::Outcome::Nothing;
        QString remote, download, notes;
        bool html = false;
        const auto body = platform::fetchText(url, fetchLimits);
        const QStringList fields = body ? QString::fromStdString(*body).split('|') : QStringList();
        if (fields.size() < 3) {
            platform::log("ZNVersionChecker: Connection error.");
        } else {
            remote = fields[0];
            download = fields[1];
            const QString notesURL = fields[2];
            const double offered = versionNumber(remote);
            if (offered > local && (offered > ignored || userInitiated)) {
                outcome = Check::Outcome::Update;
                const auto bytes = platform::fetchText(notesURL.toStdString(), fetchLimits);
                if (notesURL.endsWith("rtf") || notesURL.endsWith("rtfd")) {
                    notes = notesURL; // rich text of that kind has no reader here: the link stands in
                } else if (notesURL.endsWith("html") || notesURL.endsWith("htm")) {
                    notes = bytes ? QString::fromStdString(*bytes) : notesURL;
                    html = bytes.has_value();
                } else {
                    notes = bytes ? QString::fromStdString(*bytes) : notesURL;
                }
            } else if (userInitiated) {
                outcome = Check::Outcome::UpToDate;
            }
        }
        std::lock_guard lock(check->mutex);
        check->remoteVersion = remote;
        check->downloadURL = download;
        check->notes = notes;
        check->notesAreHtml = html;
        check->outcome = outcome;
    }).detach();
    poll_.start();
}

void ZNVersionChecker::checkIfPanelIsReady() {
    Check::Outcome outcome;
    {
        std::lock_guard lock(check_->mutex);
        outcome = check_->outcome;
        if (outcome == Check::Outcome::Pending)
            return;
        remoteVersion_ = check_->remoteVersion;
        downloadURL_ = check_->downloadURL;
        if (outcome == Check::Outcome::Update) {
            if (check_->notesAreHtml)
                description_->setHtml(check_->notes);
            else
                description_->setPlainText(check_->notes);
        }
    }
    poll_.stop();
    if (outcome == Check::Outcome::Update) {
        updateTitle_->setText(QString("A new version (%1) of %2 was found!").arg(remoteVersion_, applicationName_));
        centreAndShow(updateExistsPanel_.get());
    } else if (outcome == Check::Outcome::UpToDate) {
        noUpdateTitle_->setText(QString("%1 (%2) is up to date.").arg(applicationName_, applicationVersion_));
        centreAndShow(noUpdatePanel_.get());
    }
}

void ZNVersionChecker::downloadUpdate() {
    updateExistsPanel_->hide();
    desktop_.openURL(downloadURL_);
    ignoreUpdate();
}

void ZNVersionChecker::ignoreUpdate() {
    updateExistsPanel_->hide();
    defaults_.setObject("ZNVersionChecker", remoteVersion_);
    defaults_.synchronize();
}

void ZNVersionChecker::notifyLater() {
    updateExistsPanel_->hide();
    defaults_.removeObject("ZNVersionChecker");
    defaults_.synchronize();
}

} // namespace recorder
