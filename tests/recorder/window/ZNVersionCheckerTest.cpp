#include "platform/ui/Desktop.h"
#include "platform/ui/UserDefaults.h"
#include "recorder/update/ZNVersionChecker.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"

#include <QDialog>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace recorder;
using testsupport::LoopbackServer;

namespace {

struct RecordingDesktop : platform::Desktop {
    QStringList urls;
    void openURL(const QString& url) override { urls << url; }
};

// A web server of the maker: the version record (with "PORT" standing for the server's own
// port) and release notes.
std::unique_ptr<LoopbackServer> makerServer(std::string record, int connections) {
    auto port = std::make_shared<std::atomic<int>>(0);
    auto server = std::make_unique<LoopbackServer>(
        [record, port](int fd) {
            const std::string request = LoopbackServer::readUntil(fd, "\r\n\r\n");
            std::string body = "Plain notes\nwith two lines";
            if (request.rfind("GET /aircask/vc_version.php", 0) == 0) {
                body = record;
                if (const auto at = body.find("PORT"); at != std::string::npos)
                    body.replace(at, 4, std::to_string(port->load()));
            } else if (request.rfind("GET /notes.html", 0) == 0)
                body = "<html><body><b>Bold</b> notes</body></html>";
            LoopbackServer::sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                            "\r\n\r\n" + body);
        },
        connections);
    *port = server->port();
    return server;
}

struct Checker {
    testsupport::TempDir home;
    platform::UserDefaults defaults{QString::fromStdString(home.file("Aircask.conf"))};
    RecordingDesktop desktop;
    ZNVersionChecker checker{defaults, desktop, "Aircask", "0.11"};

    // Runs one check to its end; whether a panel was shown is read from the panels.
    void run(const LoopbackServer& server, bool userInitiated) {
        checker.setVersionURL("http://127.0.0.1:" + QString::number(server.port()) + "/aircask/vc_version.php");
        checker.checkVersionUserInitiated(userInitiated);
        EXPECT_TRUE(testsupport::waitUntil([&] { return !checker.isChecking(); }, 15000)) << "the poll kept running";
    }
};

TEST(ZNVersionChecker, Decisions) {
    struct Case {
        const char* what;
        std::string version;
        const char* ignored; // nullptr: none
        bool userInitiated;
        bool update;
        bool upToDate;
    } cases[] = {
        {"newer, automatic", "0.12", nullptr, false, true, false},
        {"newer but ignored, automatic", "0.12", "0.12", false, false, false},
        {"newer but ignored, asked for", "0.12", "0.12", true, true, false},
        {"0.9 is the greater number", "0.9", nullptr, false, true, false},
        {"equal, asked for", "0.11", nullptr, true, false, true},
        {"equal, automatic", "0.11", nullptr, false, false, false},
        {"not a number", "beta", nullptr, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto server = makerServer(c.version + "|http://dl.example/Aircask.tgz|http://127.0.0.1:1/notes.txt", 1);
        Checker check;
        if (c.ignored)
            check.defaults.setObject("ZNVersionChecker", c.ignored);
        check.run(*server, c.userInitiated);
        EXPECT_EQ(check.checker.updateExistsPanel()->isVisible(), c.update);
        EXPECT_EQ(check.checker.noUpdatePanel()->isVisible(), c.upToDate);
        if (c.update) {
            EXPECT_EQ(check.checker.updateExistsTitle(),
                      QString("A new version (%1) of Aircask was found!").arg(QString::fromStdString(c.version)));
        }
        if (c.upToDate) {
            EXPECT_EQ(check.checker.noUpdateTitle(), "Aircask (0.11) is up to date.");
        }
    }
}

TEST(ZNVersionChecker, ReleaseNotesAndTheButtons) {
    Checker check;
    {
        // Two fields only: a failed check, nothing shown, the poll ended.
        auto server = makerServer("0.12|http://dl.example/", 1);
        check.run(*server, true);
        EXPECT_FALSE(check.checker.updateExistsPanel()->isVisible());
        EXPECT_FALSE(check.checker.noUpdatePanel()->isVisible());
    }
    {
        auto server = makerServer("0.12|http://dl.example/Aircask.tgz|http://127.0.0.1:PORT/notes.html", 2);
        check.run(*server, false);
        ASSERT_TRUE(check.checker.updateExistsPanel()->isVisible());
        EXPECT_EQ(check.checker.updateExistsDescription()->toPlainText(), "Bold notes"); // read as HTML
        check.checker.downloadUpdate();
        EXPECT_FALSE(check.checker.updateExistsPanel()->isVisible());
        EXPECT_EQ(check.desktop.urls, QStringList{"http://dl.example/Aircask.tgz"});
        EXPECT_EQ(check.defaults.stringForKey("ZNVersionChecker"), "0.12");
        check.checker.notifyLater();
        EXPECT_FALSE(check.defaults.objectForKey("ZNVersionChecker").isValid());
    }
    {
        // A record ending in a line break: the notes' URL ends in "html\n", so they are not read
        // as HTML; that URL cannot be fetched either, so the panel shows the link as text.
        auto server = makerServer("0.13|http://dl.example/|http://127.0.0.1:PORT/notes.html\n", 1);
        check.run(*server, false);
        ASSERT_TRUE(check.checker.updateExistsPanel()->isVisible());
        EXPECT_EQ(check.checker.updateExistsDescription()->toPlainText(),
                  "http://127.0.0.1:" + QString::number(server->port()) + "/notes.html\n");
    }
}

TEST(ZNVersionChecker, NoURLOrNoNetworkLeavesNoPollRunning) {
    Checker check;
    check.checker.checkVersionUserInitiated(true); // no version URL
    EXPECT_FALSE(check.checker.isChecking());
    check.checker.setVersionURL("http://127.0.0.1:1/aircask/vc_version.php");
    check.checker.checkVersionUserInitiated(true);
    check.checker.checkVersionUserInitiated(true); // ignored while one runs
    EXPECT_TRUE(testsupport::waitUntil([&] { return !check.checker.isChecking(); }, 15000));
    EXPECT_FALSE(check.checker.noUpdatePanel()->isVisible());
}

} // namespace
