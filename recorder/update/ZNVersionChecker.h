#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QDialog;
class QLabel;
class QTextBrowser;

namespace platform {
class Desktop;
class UserDefaults;
} // namespace platform

namespace recorder {

// Asks the maker's web server for the newest version ("version|download URL|release notes URL")
// on a worker thread and, when there is something to say, shows the update panel (with the
// release notes) or, for a check the user asked for, the up-to-date panel. The worker only
// fetches and decides; the panels are filled and shown on the main thread by a 0.1 s poll. A
// version the user chose to ignore is kept in the defaults under "ZNVersionChecker".
class ZNVersionChecker : public QObject {
    Q_OBJECT
public:
    ZNVersionChecker(platform::UserDefaults& defaults, platform::Desktop& desktop, QString applicationName,
                     QString applicationVersion, QObject* parent = nullptr);
    ~ZNVersionChecker() override;

    void setVersionURL(const QString& url) { versionURL_ = url; }
    // Starts a check unless one runs.
    void checkVersionUserInitiated(bool userInitiated);
    bool isChecking() const { return poll_.isActive(); }

    QString applicationName() const { return applicationName_; }
    QString applicationVersion() const { return applicationVersion_; }

    QDialog* updateExistsPanel() const { return updateExistsPanel_.get(); }
    QDialog* noUpdatePanel() const { return noUpdatePanel_.get(); }
    QString updateExistsTitle() const;
    QString noUpdateTitle() const;
    QTextBrowser* updateExistsDescription() const { return description_; }

    // The update panel's buttons.
    void downloadUpdate();
    void ignoreUpdate();
    void notifyLater();

    // The leading decimal number of a version text; 0 when it does not start with one.
    static double versionNumber(const QString& text);

private:
    struct Check;
    void checkIfPanelIsReady();

    platform::UserDefaults& defaults_;
    platform::Desktop& desktop_;
    QString applicationName_;
    QString applicationVersion_;
    QString versionURL_;
    QString downloadURL_;
    QString remoteVersion_;
    std::shared_ptr<Check> check_; // the running check's handover, shared with its worker
    QTimer poll_;
    std::unique_ptr<QDialog> updateExistsPanel_;
    std::unique_ptr<QDialog> noUpdatePanel_;
    QLabel* updateTitle_ = nullptr;
    QLabel* noUpdateTitle_ = nullptr;
    QTextBrowser* description_ = nullptr;
};

} // namespace recorder
