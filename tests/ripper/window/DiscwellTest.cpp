#include "platform/core/Files.h"
#include "platform/core/PropertyList.h"
#include "platform/ui/Desktop.h"
#include "ripper/window/AppController.h"
#include "ripper/window/DragDestView.h"
#include "ripper/window/LAMEProcess.h"
#include "ripper/freedb/TableOfContents.h"
#include "ripper/window/TrackInfo.h"
#include "tests/ripper/freedb/CddbServer.h"
#include "tests/support/Audio.h"
#include "tests/support/DiscImage.h"
#include "tests/support/HttpServer.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"
#include "ui_MainWindow.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace ripper;
using testsupport::CddbServer;
using testsupport::waitUntil;
using namespace std::string_literals;

namespace {

void put16(std::string& s, unsigned v) { s += char(v >> 8), s += char(v & 0xff); }
void put32(std::string& s, unsigned v) { put16(s, v >> 16), put16(s, v & 0xffff); }

// A 16-bit stereo 44.1 kHz AIFF file of the samples (AIFF is big-endian).
void writeAiff(const std::string& path, const std::vector<std::int16_t>& samples) {
    std::string data;
    for (std::int16_t sample : samples)
        put16(data, static_cast<std::uint16_t>(sample));
    std::string comm;
    put16(comm, 2);
    put32(comm, static_cast<unsigned>(samples.size() / 2));
    put16(comm, 16);
    comm += std::string("\x40\x0E\xAC\x44\0\0\0\0\0\0", 10); // 44100 as an 80-bit extended number
    std::string file = "AIFF";
    file += "COMM";
    put32(file, 18);
    file += comm;
    file += "SSND";
    put32(file, static_cast<unsigned>(data.size() + 8));
    put32(file, 0);
    put32(file, 0);
    file += data;
    std::string form = "FORM";
    put32(form, static_cast<unsigned>(file.size()));
    testsupport::writeFile(path, form + file);
}

struct Recorder : AppController {
    using AppController::AppController;
    QStringList alerts;
    int sounds = 0;
    void runAlertWithTitle(const QString& title, const QString& text) override { alerts << title + ": " + text; }
    void playFinishSound() override { ++sounds; }
    QStringList finished; // the folders of the finished messages
    void showJobFinished(const QString& folder, bool) override { finished << folder; }
};

const std::string entry = "210 rock 13031e03 CD database entry follows\r\n"
                          "DISCID=0a000603\r\nDTITLE=The Artist / The Album\r\nDYEAR=1999\r\nDGENRE=Rock\r\n"
                          "TTITLE0=One\r\nTTITLE1=Two/Too\r\nTTITLE2=Three\r\nEXTD=\r\n.\r\n";

struct Discwell {
    testsupport::TempDir home;
    platform::Desktop desktop;
    std::unique_ptr<Recorder> controller;
    std::string cd;
    QStringList statusLines;

    Discwell() {
        cd = home.file("Audio CD");
        platform::createDirectory(cd);
        platform::createDirectory(home.file("Music"));
        for (int t = 1; t <= 3; ++t)
            writeAiff(cd + "/" + std::to_string(t) + " Audio Track.aiff", testsupport::synthesise({{2.0, 220.0 * t}}));
        platform::PlistArray tracks;
        for (int t = 0; t < 3; ++t)
            tracks.push_back(platform::PlistDict{{"Start Block", 150 + 150 * t}});
        platform::writePropertyList(
            cd + "/.TOC.plist",
            {{"Sessions", platform::PlistArray{platform::PlistDict{{"Track Array", tracks}, {"Leadout Block", 600}}}}});
        controller = std::make_unique<Recorder>(desktop, QString::fromStdString(home.file("prefs.plist")));
        controller->awakeFromNib();
        controller->chooseSource({QString::fromStdString(cd)});
        controller->setOutputDirectory(QString::fromStdString(home.file("Music/Audio CD")));
        controller->lameProcess()->setFreedbTimeout(std::chrono::milliseconds(3000));
        ui().encoderJobs->setValue(1); // one track after the other, unless a test says otherwise
        ui().lookupOrder->setCurrentIndex(1); // freedb only, unless a test says otherwise
        controller->setCdCacheFolder(QString::fromStdString(home.file("cache")));
    }
    Ui::MainWindow& ui() { return controller->ui(); }
    void useServer(const CddbServer& server) {
        ui().freedbServerField->setText("127.0.0.1:" + QString::number(server.port()));
    }
    // Starts a job and runs the event loop until it is over, keeping every track status line.
    // `afterStart` runs once the encoding has begun (after the lookup, the chooser and the editor).
    bool runJob(const std::function<void()>& afterStart = {}, const std::function<void()>& whileRunning = {}) {
        bool finished = false, encoding = false;
        auto connection =
            QObject::connect(controller->lameProcess(), &LAMEProcess::jobFinished, [&] { finished = true; });
        controller->lameProcess()->runEncoder();
        const bool ended = waitUntil(
            [&] {
                if (!encoding && controller->lameProcess()->state() == LAMEProcess::State::Encoding) {
                    encoding = true;
                    if (afterStart)
                        afterStart();
                }
                const QString line = controller->getptl();
                if (encoding && !line.isEmpty() && (statusLines.isEmpty() || statusLines.last() != line)) {
                    statusLines << line;
                    if (whileRunning && statusLines.size() == 2)
                        whileRunning();
                }
                return finished || !controller->lameProcess()->isRunning();
            },
            60000);
        QObject::disconnect(connection);
        return ended;
    }
};

// The ID3v2 text frames of an MP3 file, by frame id.
std::map<std::string, std::string> id3Frames(const std::string& path) {
    const std::string bytes = testsupport::readFile(path);
    std::map<std::string, std::string> frames;
    if (bytes.size() < 10 || bytes.compare(0, 3, "ID3") != 0)
        return frames;
    const std::size_t size = (std::size_t(bytes[6] & 0x7f) << 21) | (std::size_t(bytes[7] & 0x7f) << 14) |
                             (std::size_t(bytes[8] & 0x7f) << 7) | std::size_t(bytes[9] & 0x7f);
    const bool v4 = bytes[3] == 4;
    for (std::size_t at = 10; at + 10 <= 10 + size && at + 10 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        if (id[0] == '\0')
            break;
        std::size_t length = 0;
        for (int i = 0; i < 4; ++i)
            length = (length << (v4 ? 7 : 8)) | static_cast<unsigned char>(bytes[at + 4 + i]);
        if (id[0] == 'T' && length > 1) {
            std::string text = bytes.substr(at + 11, length - 1);
            if (bytes[at + 10] == 1 || bytes[at + 10] == 2) { // UTF-16, with a byte-order mark for 1
                std::u16string units;
                bool big = bytes[at + 10] == 2;
                std::size_t i = 0;
                if (bytes[at + 10] == 1 && text.size() >= 2) {
                    big = static_cast<unsigned char>(text[0]) == 0xFE;
                    i = 2;
                }
                for (; i + 1 < text.size(); i += 2) {
                    const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
                    units += static_cast<char16_t>(big ? (a << 8 | b) : (b << 8 | a));
                }
                text = QString::fromStdU16String(units).toStdString();
            }
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            frames[id] = text;
        }
        at += 10 + length;
    }
    return frames;
}

TEST(Discwell, APerTrackJobWithTags) {
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 The Artist / The Album\r\n"}, {entry}});
    Discwell discwell;
    discwell.useServer(server);
    discwell.ui().soundAlertWhenFinished->setChecked(true);
    ASSERT_TRUE(discwell.runJob({}, [&] {
        discwell.controller->window()->grab().save(
            QString::fromStdString(std::filesystem::path(PROJECT_BINARY_DIR).append("discwell-job.png").string()));
    }));
    EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
    const std::string folder = discwell.home.file("Music/The Artist - The Album");
    // The field keeps the folder the user chose; the job's folder is told when it is done.
    EXPECT_EQ(discwell.controller->getChosenOutputDirectory().toStdString(), discwell.home.file("Music/Audio CD"));
    EXPECT_EQ(discwell.controller->finished, QStringList{QString::fromStdString(folder)});
    EXPECT_EQ(platform::listDirectory(folder),
              (std::vector<std::string>{"01 - One.mp3", "02 - Two-Too.mp3", "03 - Three.mp3"}));
    const auto tags = id3Frames(folder + "/02 - Two-Too.mp3");
    EXPECT_EQ(tags.count("TPE1") ? tags.at("TPE1") : "", "The Artist");
    EXPECT_EQ(tags.count("TALB") ? tags.at("TALB") : "", "The Album");
    EXPECT_EQ(tags.count("TIT2") ? tags.at("TIT2") : "", "Two/Too") << "the tag keeps the title's slash";
    EXPECT_EQ(tags.count("TYER") ? tags.at("TYER") : tags.count("TDRC") ? tags.at("TDRC") : "", "1999");
    EXPECT_EQ(tags.count("TCON") ? tags.at("TCON") : "", "Rock");
    EXPECT_EQ(tags.count("TRCK") ? tags.at("TRCK") : "", "2/3") << "the track of the disc's three";
    ASSERT_EQ(discwell.statusLines.size(), 3);
    EXPECT_EQ(discwell.statusLines[0], "Processing: One     (1 of 3)");
    EXPECT_EQ(discwell.statusLines[2], "Processing: Three     (3 of 3)");
    EXPECT_EQ(discwell.controller->sounds, 1);
    EXPECT_TRUE(discwell.ui().startButton->isEnabled());
    EXPECT_FALSE(discwell.ui().stopButton->isEnabled());
    EXPECT_TRUE(discwell.controller->getptl().isEmpty());
}

TEST(Discwell, AFirstJobInAFreshAccountMakesTheMusicFolder) {
    Discwell discwell;
    // A fresh account: no Music folder, and the field as a first start shows it.
    platform::removePath(discwell.home.file("Music"));
    for (const bool nested : {false, true}) {
        SCOPED_TRACE(nested ? "artist folders" : "album folders");
        CddbServer server("201 ready\r\n",
                          {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 The Artist / The Album\r\n"}, {entry}});
        discwell.useServer(server);
        discwell.ui().createSeparateArtistAlbumDirs->setChecked(nested);
        discwell.controller->setOutputDirectory(QString::fromStdString(discwell.home.file("Music/Audio CD")));
        ASSERT_TRUE(discwell.runJob());
        EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
        const std::string folder = discwell.home.file(nested ? "Music/The Artist/The Album" : "Music/The Artist - The Album");
        EXPECT_EQ(platform::listDirectory(folder).size(), 3u) << folder;
        platform::removePath(discwell.home.file("Music"));
    }
}

TEST(Discwell, NestedFoldersSkipStopAndGapless) {
    {
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        Discwell discwell;
        discwell.useServer(server);
        discwell.ui().createSeparateArtistAlbumDirs->setChecked(true);
        discwell.ui().soundAlertWhenFinished->setChecked(true);
        // Skip the first run at once: the job goes on with the second.
        ASSERT_TRUE(discwell.runJob([&] { discwell.controller->lameProcess()->skipTrack(); }));
        EXPECT_EQ(discwell.statusLines.value(0), "Processing: Two/Too     (2 of 3)");
        const std::string album = discwell.home.file("Music/The Artist/The Album");
        EXPECT_TRUE(platform::fileExists(album + "/02 - Two-Too.mp3"));
        EXPECT_TRUE(platform::fileExists(album + "/03 - Three.mp3"));
        EXPECT_EQ(discwell.controller->getChosenOutputDirectory().toStdString(), discwell.home.file("Music/Audio CD"));
        EXPECT_EQ(discwell.controller->sounds, 1);
    }
    {
        Discwell discwell; // no freedb answer: the server field names nothing that listens
        discwell.ui().freedbServerField->setText("127.0.0.1:1");
        discwell.ui().soundAlertWhenFinished->setChecked(true);
        ASSERT_TRUE(discwell.runJob([&] { discwell.controller->lameProcess()->stop(); }));
        EXPECT_EQ(discwell.controller->sounds, 0);
        EXPECT_TRUE(discwell.controller->getptl().isEmpty());
        EXPECT_TRUE(discwell.ui().startButton->isEnabled());
        EXPECT_TRUE(discwell.ui().nameStyleTextField->isEnabled());
        ASSERT_EQ(discwell.controller->alerts.size(), 1); // the failed lookup
        EXPECT_TRUE(discwell.controller->alerts[0].startsWith("Freedb Error: Socket: Connect failed"));
    }
    {
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        Discwell discwell;
        discwell.useServer(server);
        discwell.ui().ripAsSingleTrack->setChecked(true);
        ASSERT_TRUE(discwell.runJob());
        EXPECT_EQ(discwell.statusLines, QStringList{"Processing: The Album     (1 of 1)"});
        const auto made = platform::listDirectory(discwell.home.file("Music/The Artist - The Album"));
        EXPECT_EQ(made.size(), 3u) << "gapless mode makes one file per track";
    }
}

// The files of a folder, hidden ones (a run's unfinished output) included.
std::vector<std::string> allFilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    return files;
}

TEST(Discwell, StopAndSkipLeaveNoHalfWrittenFile) {
    const auto seconds = [](const std::string& mp3) {
        return double(testsupport::decodeToMono(mp3).size()) / 44100;
    };
    {
        SCOPED_TRACE("stop during the second track");
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        Discwell discwell;
        discwell.useServer(server);
        ASSERT_TRUE(discwell.runJob({}, [&] { discwell.controller->lameProcess()->stop(); }));
        const std::string album = discwell.home.file("Music/The Artist - The Album");
        const auto files = allFilesBelow(album);
        ASSERT_EQ(files.size(), 1u) << "only the finished track stays";
        EXPECT_EQ(platform::lastPathComponent(files[0]), "01 - One.mp3");
        EXPECT_NEAR(seconds(files[0]), 2.0, 0.1) << "the finished track is whole";
    }
    {
        SCOPED_TRACE("stop while two tracks run at once");
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        Discwell discwell;
        discwell.useServer(server);
        discwell.ui().encoderJobs->setValue(2);
        ASSERT_TRUE(discwell.runJob([&] { discwell.controller->lameProcess()->stop(); }));
        EXPECT_FALSE(platform::fileExists(discwell.home.file("Music/The Artist - The Album")))
            << "the folder the job made and left empty stays";
        EXPECT_TRUE(discwell.controller->finished.isEmpty());
    }
    {
        SCOPED_TRACE("skip the oldest of two running tracks");
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        Discwell discwell;
        discwell.useServer(server);
        discwell.ui().encoderJobs->setValue(2);
        ASSERT_TRUE(discwell.runJob([&] { discwell.controller->lameProcess()->skipTrack(); }));
        const std::string album = discwell.home.file("Music/The Artist - The Album");
        EXPECT_EQ(platform::listDirectory(album), (std::vector<std::string>{"02 - Two-Too.mp3", "03 - Three.mp3"}));
        for (const auto& file : allFilesBelow(album))
            EXPECT_NEAR(seconds(file), 2.0, 0.1) << file;
    }
}

TEST(Discwell, AFailingExpertOptionIsQuotedAndLeavesNoFolder) {
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
    Discwell discwell;
    discwell.useServer(server);
    discwell.ui().presetExpert->click();
    discwell.ui().expertConfigOption->setText("--no-such-option");
    ASSERT_TRUE(discwell.runJob());
    ASSERT_FALSE(discwell.controller->alerts.isEmpty());
    const QString alert = discwell.controller->alerts.last();
    EXPECT_TRUE(alert.contains("lame: unrecognized option --no-such-option")) << alert.toStdString();
    EXPECT_FALSE(platform::fileExists(discwell.home.file("Music/The Artist - The Album")));
    EXPECT_TRUE(discwell.controller->finished.isEmpty());
}

TEST(Discwell, JobsInARowLeaveTheOutputFieldAsChosen) {
    Discwell discwell;
    const QString field = discwell.controller->getChosenOutputDirectory();
    const char* expected[] = {"Music/The Artist - The Album", "Music/The Artist/The Album",
                              "Music/The Artist - The Album 1", "Music/The Artist/The Album 1"};
    for (int job = 0; job < 4; ++job) {
        SCOPED_TRACE(job);
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
        discwell.useServer(server);
        discwell.ui().createSeparateArtistAlbumDirs->setChecked(job % 2 == 1);
        ASSERT_TRUE(discwell.runJob());
        EXPECT_EQ(discwell.controller->getChosenOutputDirectory(), field);
        ASSERT_EQ(discwell.controller->finished.size(), job + 1);
        EXPECT_EQ(discwell.controller->finished.last().toStdString(), discwell.home.file(expected[job]));
        EXPECT_EQ(platform::listDirectory(discwell.home.file(expected[job])).size(), 3u);
    }
}

TEST(Discwell, TracksEncodedAtOnceEqualTracksEncodedInTurn) {
    // Six tracks of a second, each its own tone; lame gives the same bytes for the same run.
    std::map<std::string, std::string> first;
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        Discwell discwell;
        for (int t = 1; t <= 6; ++t)
            writeAiff(discwell.cd + "/" + std::to_string(t) + " Audio Track.aiff",
                      testsupport::synthesise({{1.0, 200.0 + 90.0 * t}}));
        discwell.controller->chooseSource({QString::fromStdString(discwell.cd)});
        discwell.ui().freedbServerField->setText("127.0.0.1:1"); // no titles: the tracks' own names
        discwell.ui().encoderJobs->setValue(jobs);
        ASSERT_TRUE(discwell.runJob());
        const std::string folder = discwell.controller->finished.value(0).toStdString();
        ASSERT_FALSE(folder.empty());
        const auto names = platform::listDirectory(folder);
        ASSERT_EQ(names.size(), 6u);
        for (const auto& name : names) {
            const std::string bytes = testsupport::readFile(folder + "/" + name);
            if (jobs == 1)
                first[name] = bytes;
            else
                EXPECT_TRUE(first[name] == bytes) << name << " differs from the one encoded in turn";
        }
    }
}

TEST(Discwell, TitlesInAnyScriptSurviveALatinLocale) {
    const QByteArray previous = qgetenv("LC_ALL");
    qputenv("LC_ALL", "C");
    const std::string title = "Caf\xC3\xA9 \xD0\x9C\xD0\xB8\xD1\x80 \xE6\x97\xA5\xE6\x9C\xAC"; // Café Мир 日本
    const std::string utf8Entry = "210 rock 13031e03 CD database entry follows\r\nDISCID=0a000603\r\n"
                                  "DTITLE=The Artist / The Album\r\nTTITLE0=" + title +
                                  "\r\nTTITLE1=Two\r\nTTITLE2=Three\r\nEXTD=\r\n.\r\n";
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {utf8Entry}});
    Discwell discwell;
    discwell.useServer(server);
    const bool ran = discwell.runJob();
    qputenv("LC_ALL", previous);
    ASSERT_TRUE(ran);
    const std::string folder = discwell.home.file("Music/The Artist - The Album");
    const auto tags = id3Frames(folder + "/01 - " + title + ".mp3");
    EXPECT_EQ(tags.count("TIT2") ? tags.at("TIT2") : "<none>", title);
}

TEST(Discwell, FailuresAreReported) {
    struct Case {
        const char* what;
        std::function<void(Discwell&)> prepare;
        QString alert;
    } cases[] = {
        {"an unreadable track",
         [](Discwell& d) {
             std::filesystem::remove(d.cd + "/2 Audio Track.aiff");
             std::filesystem::create_symlink(d.home.file("nowhere.aiff"), d.cd + "/2 Audio Track.aiff");
         },
         "Some tracks were not encoded: The encoder failed on:\n\n2 Audio Track:\n    Could not open sound file "},
        {"no encoder", [](Discwell& d) { d.controller->lameProcess()->setEncoderPath("/nonexistent/lame"); },
         "The encoder could not be started: Discwell could not start the encoder \"/nonexistent/lame\"."},
        {"no CD", [](Discwell& d) { d.controller->chooseSource({QString::fromStdString(d.home.file("Music"))}); },
         "Could not find an audio CD!: Please make sure there is an audio CD in your CD-ROM drive.\n\nIt may be the "
         "case that the CD has not yet mounted; please wait a few seconds and try again."},
        {"only hidden entries",
         [](Discwell& d) {
             const std::string hidden = d.home.file("hidden");
             platform::createDirectory(hidden);
             testsupport::writeFile(hidden + "/.TOC.plist", "");
             d.controller->chooseSource({QString::fromStdString(hidden)});
         },
         "Nothing to encode: The CD folder holds no track to encode."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Discwell discwell;
        discwell.ui().freedbServerField->setText("127.0.0.1:1");
        discwell.ui().soundAlertWhenFinished->setChecked(true);
        c.prepare(discwell);
        discwell.runJob();
        ASSERT_FALSE(discwell.controller->alerts.isEmpty());
        EXPECT_TRUE(discwell.controller->alerts.last().startsWith(c.alert)) << discwell.controller->alerts.last().toStdString();
        EXPECT_EQ(discwell.controller->sounds, 0);
        EXPECT_FALSE(discwell.controller->lameProcess()->isRunning());
    }
}

TEST(Discwell, PreferencesRoundTrip) {
    testsupport::TempDir home;
    platform::Desktop desktop;
    const QString path = QString::fromStdString(home.file("prefs.plist"));
    {
        Recorder first(desktop, path);
        first.awakeFromNib(); // no file: the defaults resource
        EXPECT_EQ(first.getChosenFreedbServer(), "http://gnudb.gnudb.org/~cddb/cddb.cgi");
        EXPECT_TRUE(first.getChosenOutputDirectory().endsWith("/Music/Audio CD"));
        first.ui().ripAsSingleTrack->setChecked(true);
        first.ui().expertConfigOption->setText("-V 2");
        first.ui().preset128->click();
        first.setOutputDirectory("/data/rips/Audio CD");
        EXPECT_EQ(first.ui().lookupOrder->currentIndex(), 0) << "MusicBrainz, then freedb, on a first start";
        first.ui().lookupOrder->setCurrentIndex(2);
        first.ui().emailAddressField->setText("jane@example.org");
        first.applicationShouldTerminate();
    }
    const auto stored = platform::readPropertyList(path.toStdString());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 17u);
    EXPECT_EQ(*stored->at("LookupOrder").string(), "MusicBrainz");
    EXPECT_EQ(*stored->at("EmailAddress").string(), "jane@example.org");
    EXPECT_EQ(*stored->at("MusicBrainzServer").string(), "https://musicbrainz.org");
    EXPECT_EQ(*stored->at("OutputDirectory").string(), "/data/rips");
    EXPECT_EQ(*stored->at("RipAsSingleTrack").integer(), 1);
    EXPECT_EQ(*stored->at("BasicConfigOption").string(), "--preset 128");
    Recorder second(desktop, path);
    second.awakeFromNib();
    EXPECT_TRUE(second.shouldRipAsSingleTrack());
    EXPECT_EQ(second.getChosenOutputDirectory(), "/data/rips/Audio CD");
    EXPECT_EQ(second.ui().lookupOrder->currentIndex(), 2);
    EXPECT_EQ(second.discLookupSettings().emailAddress, "jane@example.org");
    // Expert text typed once does not take over: the stored preset is the row shown and used.
    EXPECT_TRUE(second.ui().preset128->isChecked());
    EXPECT_EQ(second.encoderOptions().presetTitle, "--preset 128");
    EXPECT_EQ(second.ui().expertConfigOption->text(), "-V 2");
    second.ui().presetExpert->click();
    second.ui().addID3Tags->setChecked(false);
    second.ui().soundAlertWhenFinished->setChecked(false);
    second.applicationShouldTerminate();

    Recorder third(desktop, path);
    third.awakeFromNib();
    EXPECT_TRUE(third.ui().presetExpert->isChecked());
    EXPECT_EQ(third.encoderOptions().presetTitle, "Expert");
    EXPECT_FALSE(third.shouldAddID3Tags()) << "an option stored off stays off";
    EXPECT_FALSE(third.shouldSoundAlertWhenFinished());
    EXPECT_TRUE(third.alerts.isEmpty());
}

TEST(Discwell, DamagedPreferencesAreKeptAsideAndTheRestIsAFreshInstall) {
    const std::string whole = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>MP3NameStyle</key><string>%t.mp3</string>"
                              "<key>RipAsSingleTrack</key><integer>1</integer>";
    struct Case {
        const char* what;
        std::string bytes;
        bool keepsReadable; // the readable entries survive
    } cases[] = {
        {"garbage", "\x89\x01garbage\0\xff not a list"s, false},
        {"empty file", "", false},
        {"truncated", whole, false},
        {"root array", "<plist version=\"1.0\"><array><string>x</string></array></plist>", false},
        {"binary plist cut short", "bplist00\xd1\x01\x02"s, false},
        {"wrong kinds", whole + "<key>SoundAlertWhenFinished</key><string>yes</string>"
                                "<key>AddID3Tags</key><integer>12</integer>"
                                "<key>FreedbServer</key><array/></dict></plist>",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir home;
        platform::Desktop desktop;
        const QString path = QString::fromStdString(home.file("prefs.plist"));
        testsupport::writeFile(path.toStdString(), c.bytes);
        {
            Recorder window(desktop, path);
            window.awakeFromNib();
            ASSERT_TRUE(waitUntil([&] { return !window.alerts.isEmpty(); }, 5000));
            EXPECT_EQ(window.alerts.size(), 1);
            const std::vector<std::string> names = platform::listDirectory(home.path());
            ASSERT_EQ(names.size(), 2u);
            const std::string copy = home.file(names[1]);
            EXPECT_EQ(names[1].rfind("prefs.plist.damaged-", 0), 0u) << names[1];
            EXPECT_EQ(testsupport::readFile(copy), c.bytes);
            EXPECT_TRUE(window.alerts[0].contains(QString::fromStdString(copy))) << window.alerts[0].toStdString();

            // Fresh-install values where nothing could be read.
            EXPECT_EQ(window.getMP3NameStyle(), c.keepsReadable ? "%t.mp3" : "%d - %t.mp3");
            EXPECT_EQ(window.shouldRipAsSingleTrack(), c.keepsReadable);
            EXPECT_TRUE(window.shouldSoundAlertWhenFinished());
            EXPECT_TRUE(window.shouldAddID3Tags());
            EXPECT_EQ(window.getChosenFreedbServer(), "http://gnudb.gnudb.org/~cddb/cddb.cgi");
            EXPECT_TRUE(window.ui().presetStandard->isChecked());
        }
        // Written back whole at once (here without quitting, as after a crash): the next start
        // reads it without a word and makes no second copy.
        Recorder again(desktop, path);
        again.awakeFromNib();
        QCoreApplication::processEvents();
        EXPECT_TRUE(again.alerts.isEmpty());
        EXPECT_EQ(platform::listDirectory(home.path()).size(), 2u);
        EXPECT_TRUE(again.shouldSoundAlertWhenFinished());
    }
}

TEST(Discwell, EditorAndChooser) {
    Discwell discwell;
    TrackInfo* editor = discwell.controller->lameProcess()->trackInfoController();
    QTimer::singleShot(0, [&] {
        editor->setData(editor->index(1, 1), "Edited", Qt::EditRole);
        editor->setData(editor->index(0, 0), "99", Qt::EditRole); // numbers do not count
        editor->buttonResponse("OK");
    });
    editor->displayTrackInfo({"A", "B", "t1", "t2", "t3"});
    EXPECT_TRUE(editor->userDidEditInformation());
    EXPECT_EQ(editor->getEditedInformation(), (std::vector<std::string>{"A", "B", "t1", "Edited", "t3"}));
    QTimer::singleShot(0, [&] { editor->buttonResponse("Cancel"); });
    editor->displayTrackInfo({"A", "B"});
    EXPECT_FALSE(editor->userDidEditInformation());
    EXPECT_EQ(editor->rowCount(), 0);

    FreedbAlbumMatchesController* chooser = discwell.controller->lameProcess()->albumMatchesController();
    QTimer::singleShot(0, [&] {
        chooser->tableView()->selectRow(1);
        chooser->choseAlbum();
    });
    chooser->displayAlbumMatches({"rock 1 A / B", "jazz 2 C / D", "misc 3 E / F"});
    EXPECT_EQ(chooser->getChosenAlbumNumber(), 1);
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(chooser->tableView()->model()->rowCount(), 1);
        chooser->tableView()->clearSelection();
        chooser->choseAlbum();
    });
    chooser->displayAlbumMatches({"blues 4 G / H"});
    EXPECT_EQ(chooser->getChosenAlbumNumber(), -1);

    // The editor's edits decide the job's names.
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
    discwell.useServer(server);
    discwell.ui().editTrackInformation->setChecked(true);
    QTimer::singleShot(200, [&] {
        editor->artistField()->setText("Someone Else");
        editor->buttonResponse("OK");
    });
    ASSERT_TRUE(discwell.runJob());
    EXPECT_TRUE(platform::fileExists(discwell.home.file("Music/Someone Else - The Album/01 - One.mp3")));
}

TEST(Discwell, ADiscImageIsRippedEndToEndWhileItIsRead) {
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {"201 OK, CDDB protocol level now: 6\r\n"}, {"200 rock 0a000603 x\r\n"}, {entry}});
    Discwell discwell;
    discwell.useServer(server);
    discwell.ui().encoderJobs->setValue(2);
    // Three tracks of a minute: the job starts as soon as the disc's folder is known, and each
    // track is encoded once its file is whole, while the next ones are still being read.
    const std::string cue = testsupport::makeDiscImage(discwell.home.path(), {330, 440, 550}, 60.0);
    discwell.controller->setCdCacheFolder(QString::fromStdString(discwell.home.file("cache")));
    const QString cache = QString::fromStdString(discwell.home.file("cache/"));
    bool readingEnded = false, readingOk = false;
    QObject::connect(discwell.controller.get(), &AppController::cdReadingEnded, [&](bool ok) {
        readingEnded = true;
        readingOk = ok;
    });
    ASSERT_TRUE(discwell.controller->readCdSource(QString::fromStdString(cue)));
    EXPECT_TRUE(discwell.controller->isReadingCd());
    ASSERT_TRUE(waitUntil([&] { return discwell.controller->getChosenCDName().startsWith(cache); }, 10000));
    bool startedWhileReading = false;
    ASSERT_TRUE(discwell.runJob([&] {
        startedWhileReading = discwell.controller->isReadingCd() && discwell.controller->lameProcess()->isRunning();
        // The job's source cannot change under it.
        EXPECT_FALSE(discwell.controller->readCdSource(QString::fromStdString(cue)));
    }));
    EXPECT_TRUE(startedWhileReading) << "the job waited for the whole disc";
    EXPECT_TRUE(readingEnded && readingOk);
    EXPECT_EQ(discwell.controller->alerts, QStringList{"A job is running: Stop the job before choosing another CD."});
    EXPECT_EQ(platform::listDirectory(discwell.home.file("Music/The Artist - The Album")),
              (std::vector<std::string>{"01 - One.mp3", "02 - Two-Too.mp3", "03 - Three.mp3"}));
    for (const char* name : {"01 - One.mp3", "02 - Two-Too.mp3", "03 - Three.mp3"})
        EXPECT_NEAR(double(testsupport::decodeToMono(discwell.home.file("Music/The Artist - The Album/") + name).size()) /
                        44100,
                    60.0, 0.1)
            << name << " is not the whole track";

    discwell.controller->alerts.clear();
    ASSERT_TRUE(discwell.controller->readCdSource(QString::fromStdString(discwell.home.file("nothing.cue"))));
    ASSERT_TRUE(waitUntil([&] { return !discwell.controller->isReadingCd(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !discwell.controller->alerts.isEmpty(); }, 5000));
    EXPECT_TRUE(discwell.controller->alerts.last().startsWith("Could not read the CD: "));
}

TEST(Discwell, ChoosingAndDroppingSources) {
    Discwell discwell;
    auto& controller = *discwell.controller;
    const QString folder = QString::fromStdString(discwell.cd);
    controller.chooseSource({folder, folder + "/1 Audio Track.aiff"});
    EXPECT_EQ(controller.getChosenCDName(), folder);
    EXPECT_EQ(controller.getChosenTracks(), (std::vector<std::string>{".TOC.plist", "1 Audio Track.aiff",
                                                                      "2 Audio Track.aiff", "3 Audio Track.aiff"}));
    auto* view = static_cast<DragDestView*>(controller.window()->centralWidget());
    view->performDrop({folder + "/3 Audio Track.aiff", folder + "/1 Audio Track.aiff"});
    EXPECT_EQ(controller.getChosenTracks(), (std::vector<std::string>{"3 Audio Track.aiff", "1 Audio Track.aiff"}));
    controller.emptyChosenTracksArray();
    EXPECT_EQ(controller.getChosenTracks().size(), 4u); // the whole listing again
    controller.outputDirectoryChosen(QString::fromStdString(discwell.home.file("Elsewhere")));
    EXPECT_EQ(controller.getChosenOutputDirectory().toStdString(), discwell.home.file("Elsewhere/Audio CD"));
    controller.outputDirectoryChosen(QString());
    EXPECT_EQ(controller.getChosenOutputDirectory().toStdString(), discwell.home.file("Elsewhere/Audio CD"));
}

// The tag frames of a file, "" for a frame it does not have.
std::string frame(const std::map<std::string, std::string>& tags, const std::string& id) {
    const auto found = tags.find(id);
    return found == tags.end() ? std::string() : found->second;
}

const std::string protoOk = "201 OK, CDDB protocol level now: 6\r\n";

TEST(Discwell, TheWindowStaysLiveDuringALookupAndCancelEndsIt) {
    // A server that greets, shakes hands and then says nothing: without a cancel the lookup
    // would wait out its 30 s.
    CddbServer silent("201 ready\r\n", {{"200 hello\r\n"}, {protoOk}, {"", false, true}});
    Discwell discwell;
    discwell.useServer(silent);
    discwell.controller->lameProcess()->setFreedbTimeout(std::chrono::seconds(30));
    bool finished = false;
    QObject::connect(discwell.controller->lameProcess(), &LAMEProcess::jobFinished, [&] { finished = true; });
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);

    discwell.controller->lameProcess()->runEncoder();
    EXPECT_EQ(discwell.controller->lameProcess()->state(), LAMEProcess::State::LookingUp);
    EXPECT_EQ(discwell.controller->getptl(), QString::fromUtf8("Looking up the disc\u2026"));
    EXPECT_FALSE(discwell.ui().cancelLookupButton->isHidden());
    EXPECT_FALSE(discwell.ui().startButton->isEnabled());
    // The window's thread goes on while the server is silent: timers fire, the window paints.
    ASSERT_TRUE(waitUntil([&] { return ticks >= 25; }, 5000));
    EXPECT_FALSE(discwell.controller->window()->grab().isNull());
    EXPECT_EQ(discwell.controller->lameProcess()->state(), LAMEProcess::State::LookingUp);

    const auto start = std::chrono::steady_clock::now();
    discwell.ui().cancelLookupButton->click();
    EXPECT_FALSE(discwell.controller->lameProcess()->isRunning()) << "Cancel ends the lookup at once";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(finished);
    EXPECT_TRUE(discwell.ui().startButton->isEnabled());
    EXPECT_TRUE(discwell.ui().cancelLookupButton->isHidden());
    EXPECT_TRUE(discwell.controller->getptl().isEmpty());
    // What the cancelled lookup still does is passed over: no alert, no job, no folder.
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
    EXPECT_EQ(platform::listDirectory(discwell.home.file("Music")), std::vector<std::string>{});
    silent.join();
}

// A MusicBrainz web service on loopback that knows the test disc as two releases.
std::string musicBrainzReleases() {
    const auto track = [](int n, const std::string& title, const std::string& credit) {
        return R"({"position":)" + std::to_string(n) + R"(,"number":")" + std::to_string(n) + R"(","title":")" + title +
               R"(","length":2000,"artist-credit":[)" + credit + "]}";
    };
    const std::string artist = R"({"name":"The Artist","joinphrase":""})";
    const std::string guest = R"({"name":"The Artist","joinphrase":" feat. "},{"name":"Guest","joinphrase":""})";
    const auto release = [&](const std::string& title, const std::string& date, const std::string& country,
                             const std::string& media) {
        return R"({"id":"r-)" + country + R"(","title":")" + title + R"(","date":")" + date + R"(","country":")" +
               country + R"(","artist-credit":[)" + artist +
               R"(],"label-info":[{"catalog-number":"CAT-)" + country + R"(","label":{"name":"A Label"}}],"media":[)" +
               media + "]}";
    };
    const std::string ours = R"("track-count":3,"tracks":[)" + track(1, "One", artist) + "," +
                             track(2, "Two/Too", guest) + "," + track(3, "Three", artist) + "]";
    return R"({"releases":[)" +
           release("The Album", "1999-05-01", "GB", R"({"position":1,"format":"CD",)" + ours + "}") + "," +
           release("The Album (Remaster)", "2010", "US",
                   R"({"position":1,"format":"CD",)" + ours + R"(},{"position":2,"format":"CD","track-count":1,"tracks":[]})") +
           "]}";
}

// Runs `action` once, as soon as the window is shown.
void whenShown(QWidget* window, std::function<void()> action) {
    auto* poll = new QTimer(window);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll, action = std::move(action)] {
        if (!window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start(20);
}

TEST(Discwell, MusicBrainzReleasesAreChosenAmongAndTagTheFiles) {
    testsupport::HttpServer musicBrainz(
        [](const std::string&) { return testsupport::HttpServer::Reply{200, musicBrainzReleases()}; }, 1);
    Discwell discwell;
    discwell.ui().lookupOrder->setCurrentIndex(2); // MusicBrainz only
    discwell.controller->setMusicBrainzServer(QString::fromStdString(musicBrainz.base()));
    FreedbAlbumMatchesController* chooser = discwell.controller->lameProcess()->albumMatchesController();
    bool chosen = false;
    whenShown(chooser, [&] {
        EXPECT_EQ(discwell.controller->lameProcess()->state(), LAMEProcess::State::ChoosingMatch);
        QTableWidget* table = chooser->tableView();
        ASSERT_EQ(table->rowCount(), 2);
        const auto row = [&](int r) {
            QStringList cells;
            for (int c = 0; c < table->columnCount(); ++c)
                cells << table->item(r, c)->text();
            return cells;
        };
        EXPECT_EQ(row(0), (QStringList{"The Album", "The Artist", "1999-05-01", "GB", "CD", "A Label", "CAT-GB"}));
        EXPECT_EQ(row(1), (QStringList{"The Album (Remaster)", "The Artist", "2010", "US", "CD", "A Label", "CAT-US"}));
        // The highlighted release's tracks, with a track's own artist.
        ASSERT_EQ(chooser->trackList()->count(), 3);
        EXPECT_EQ(chooser->trackList()->item(1)->text(), QString::fromUtf8("2. Two/Too \u2014 The Artist feat. Guest"));
        chooser->grab().save(QString::fromStdString(std::filesystem::path(PROJECT_BINARY_DIR).append("discwell-chooser.png").string()));
        table->selectRow(1);
        chooser->choseAlbum();
        chosen = true;
    });
    ASSERT_TRUE(discwell.runJob());
    EXPECT_TRUE(chosen);
    musicBrainz.join();
    EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
    const std::string folder = discwell.home.file("Music/The Artist - The Album (Remaster)");
    ASSERT_EQ(platform::listDirectory(folder),
              (std::vector<std::string>{"01 - One.mp3", "02 - Two-Too.mp3", "03 - Three.mp3"}));
    const auto guest = id3Frames(folder + "/02 - Two-Too.mp3");
    EXPECT_EQ(frame(guest, "TPE1"), "The Artist feat. Guest");
    EXPECT_EQ(frame(guest, "TPE2"), "The Artist") << "the album's artist";
    EXPECT_EQ(frame(guest, "TALB"), "The Album (Remaster)");
    EXPECT_EQ(frame(guest, "TIT2"), "Two/Too");
    EXPECT_EQ(frame(guest, "TRCK"), "2/3");
    EXPECT_EQ(frame(guest, "TPOS"), "1/2");
    EXPECT_EQ(frame(guest, "TYER").empty() ? frame(guest, "TDRC") : frame(guest, "TYER"), "2010");
    EXPECT_EQ(frame(id3Frames(folder + "/01 - One.mp3"), "TPE1"), "The Artist");
}

TEST(Discwell, FreedbMatchesAreChosenInTheWindowWhileTheLookupWaits) {
    const std::string matches = "211 Found inexact matches, list follows (until terminating `.')\r\n"
                                "rock 0c000603 Other / Record\r\njazz 0c000603 The Artist / The Album\r\n.\r\n";
    CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {protoOk}, {matches}, {entry}});
    Discwell discwell;
    discwell.useServer(server);
    FreedbAlbumMatchesController* chooser = discwell.controller->lameProcess()->albumMatchesController();
    whenShown(chooser, [&] {
        ASSERT_EQ(chooser->tableView()->rowCount(), 2);
        EXPECT_EQ(chooser->tableView()->item(1, 0)->text(), "The Album");
        EXPECT_EQ(chooser->tableView()->item(1, 1)->text(), "The Artist");
        EXPECT_EQ(chooser->tableView()->item(1, 4)->text(), "freedb: jazz");
        chooser->tableView()->selectRow(1);
        chooser->choseAlbum();
    });
    ASSERT_TRUE(discwell.runJob());
    server.join();
    const auto sent = server.received();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(sent[3], "cddb read jazz 0c000603\n");
    EXPECT_EQ(platform::listDirectory(discwell.home.file("Music/The Artist - The Album")).size(), 3u);

    // "None of These": the job goes on without album information, and nothing is said of it.
    CddbServer again("201 ready\r\n", {{"200 hello\r\n"}, {protoOk}, {matches}});
    discwell.useServer(again);
    whenShown(chooser, [&] { chooser->chooseNone(); });
    ASSERT_TRUE(discwell.runJob());
    EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
    EXPECT_TRUE(platform::fileExists(discwell.home.file("Music/Audio CD/1 Audio Track.mp3")));
}

TEST(Discwell, TheEditorStartsEmptyCancelsTheJobAndItsEditsComeBackForTheSameDisc) {
    Discwell discwell;
    discwell.ui().editTrackInformation->setChecked(true);
    TrackInfo* editor = discwell.controller->lameProcess()->trackInfoController();
    {
        SCOPED_TRACE("no album information, then Cancel");
        discwell.ui().freedbServerField->setText("127.0.0.1:1");
        bool shown = false;
        whenShown(editor->window(), [&] {
            shown = true;
            EXPECT_EQ(editor->artistField()->text(), "");
            EXPECT_EQ(editor->artistField()->placeholderText(), "Artist");
            EXPECT_EQ(editor->albumField()->text(), "");
            EXPECT_EQ(editor->albumField()->placeholderText(), "Album");
            ASSERT_EQ(editor->rowCount(), 3);
            EXPECT_EQ(editor->data(editor->index(0, 1), Qt::DisplayRole).toString(), "1 Audio Track");
            editor->buttonResponse("Cancel");
        });
        ASSERT_TRUE(discwell.runJob());
        EXPECT_TRUE(shown);
        EXPECT_FALSE(discwell.controller->lameProcess()->isRunning());
        EXPECT_EQ(platform::listDirectory(discwell.home.file("Music")), std::vector<std::string>{})
            << "Cancel in the editor cancels the job";
        EXPECT_EQ(discwell.controller->alerts.size(), 1); // the failed lookup
        discwell.controller->alerts.clear();
    }
    {
        SCOPED_TRACE("edits are kept with the disc");
        CddbServer server("201 ready\r\n", {{"200 hello\r\n"}, {protoOk}, {"200 rock 0c000603 x\r\n"}, {entry}});
        discwell.useServer(server);
        whenShown(editor->window(), [&] {
            EXPECT_EQ(editor->artistField()->text(), "The Artist");
            editor->setData(editor->index(0, 1), "Uno", Qt::EditRole);
            editor->buttonResponse("OK");
        });
        ASSERT_TRUE(discwell.runJob());
        EXPECT_TRUE(platform::fileExists(discwell.home.file("Music/The Artist - The Album/01 - Uno.mp3")));
    }
    {
        SCOPED_TRACE("the same disc again: the edits, without a lookup");
        discwell.ui().freedbServerField->setText("127.0.0.1:1"); // a lookup would fail and say so
        whenShown(editor->window(), [&] {
            EXPECT_EQ(editor->artistField()->text(), "The Artist");
            EXPECT_EQ(editor->data(editor->index(0, 1), Qt::DisplayRole).toString(), "Uno");
            EXPECT_EQ(editor->data(editor->index(1, 1), Qt::DisplayRole).toString(), "Two/Too");
            editor->buttonResponse("OK");
        });
        ASSERT_TRUE(discwell.runJob());
        EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
        const auto tags = id3Frames(discwell.home.file("Music/The Artist - The Album 1/01 - Uno.mp3"));
        EXPECT_EQ(frame(tags, "TIT2"), "Uno");
        EXPECT_EQ(frame(tags, "TCON"), "Rock") << "the entry's genre was kept with the edits";
    }
}

// A disc image, read and ripped with its titles from each service: the names and the tags.
TEST(Discwell, ADiscImageGetsItsTitlesFromEachService) {
    Discwell discwell;
    const std::string cue = testsupport::makeDiscImage(discwell.home.path(), {330, 440, 550}, 2.0);
    ASSERT_TRUE(discwell.controller->readCdSource(QString::fromStdString(cue)));
    ASSERT_TRUE(waitUntil([&] { return !discwell.controller->isReadingCd(); }, 20000));
    ASSERT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
    // The disc's folder is named by its whole table of contents (its MusicBrainz id).
    const std::string cdFolder = discwell.controller->getChosenCDName().toStdString();
    const auto toc = readTableOfContents(cdFolder);
    ASSERT_TRUE(toc);
    EXPECT_EQ(platform::lastPathComponent(cdFolder), musicBrainzDiscId(*toc));
    EXPECT_EQ(platform::lastPathComponent(cdFolder).size(), 28u);

    const auto entryFor = [](const std::string& album) {
        return "210 rock 0c000603 CD database entry follows\r\n# xmcd\r\nDISCID=0c000603\r\n"
               "DTITLE=AC/DC / " + album + "\r\nDYEAR=1980\r\nDGENRE=Hard Rock\r\n"
               "TTITLE0=Hells Bells\r\nTTITLE1=Shoot to Thrill\r\nTTITLE2=What Do You Do for Money Honey\r\n"
               "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n";
    };
    CddbServer cddbp("201 ready\r\n", {{"200 hello\r\n"}, {protoOk}, {"200 rock 0c000603 x\r\n"}, {entryFor("Over CDDBP")}});
    testsupport::HttpServer http(
        [&](const std::string& target) {
            return testsupport::HttpServer::Reply{
                200, target.find("cmd=cddb+query") != std::string::npos ? "200 rock 0c000603 x\r\n" : entryFor("Over HTTP")};
        },
        2);
    testsupport::HttpServer musicBrainz(
        [](const std::string&) {
            return testsupport::HttpServer::Reply{
                200, R"({"releases":[{"id":"r","title":"From MusicBrainz","date":"1980-07-25","artist-credit":[{"name":"AC/DC","joinphrase":""}],
"media":[{"position":1,"format":"CD","track-count":3,"tracks":[{"position":1,"title":"Hells Bells"},{"position":2,"title":"Shoot to Thrill"},{"position":3,"title":"What Do You Do for Money Honey"}]}]}]})"};
        },
        1);
    struct Case {
        const char* what;
        int order;
        QString freedbServer;
        std::string album;
        std::string genre;
    } cases[] = {
        {"freedb over CDDBP", 1, "127.0.0.1:" + QString::number(cddbp.port()), "Over CDDBP", "Hard Rock"},
        {"freedb over HTTP", 1, QString::fromStdString(http.base() + "/~cddb/cddb.cgi"), "Over HTTP", "Hard Rock"},
        {"MusicBrainz", 2, "127.0.0.1:1", "From MusicBrainz", ""},
    };
    discwell.controller->setMusicBrainzServer(QString::fromStdString(musicBrainz.base()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        discwell.ui().lookupOrder->setCurrentIndex(c.order);
        discwell.ui().freedbServerField->setText(c.freedbServer);
        ASSERT_TRUE(discwell.runJob());
        EXPECT_TRUE(discwell.controller->alerts.isEmpty()) << discwell.controller->alerts.join("\n").toStdString();
        // "AC/DC" keeps its slash in the tags and turns it into "-" in names.
        const std::string folder = discwell.home.file("Music/AC-DC - " + c.album);
        ASSERT_EQ(platform::listDirectory(folder),
                  (std::vector<std::string>{"01 - Hells Bells.mp3", "02 - Shoot to Thrill.mp3",
                                            "03 - What Do You Do for Money Honey.mp3"}));
        const auto tags = id3Frames(folder + "/02 - Shoot to Thrill.mp3");
        EXPECT_EQ(frame(tags, "TPE1"), "AC/DC");
        EXPECT_EQ(frame(tags, "TALB"), c.album);
        EXPECT_EQ(frame(tags, "TIT2"), "Shoot to Thrill");
        EXPECT_EQ(frame(tags, "TYER").empty() ? frame(tags, "TDRC") : frame(tags, "TYER"), "1980");
        EXPECT_EQ(frame(tags, "TCON"), c.genre);
        EXPECT_EQ(frame(tags, "TRCK"), "2/3");
    }
    cddbp.join();
    http.join();
    musicBrainz.join();
}

} // namespace
