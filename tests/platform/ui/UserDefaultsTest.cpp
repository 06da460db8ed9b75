#include "platform/core/Files.h"
#include "platform/ui/UserDefaults.h"
#include "tests/support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::UserDefaults;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using namespace std::string_literals;

namespace {

const QVariantMap registered = {
    {"stations", QVariantList{QVariantMap{{"stationName", "Built-in"}, {"serverURL", "http://built.in/"}}}},
    {"downloadPath", "/home/u/Music"},
};

const std::string twoStations = "[stations]\n"
                                "1\\stationName=One\n"
                                "1\\serverURL=http://one.example:8000/\n"
                                "2\\stationName=Two\n"
                                "2\\playlistURL=http://two.example/two.pls\n";

std::vector<std::string> names(const std::vector<UserDefaults::StringMap>& stations) {
    std::vector<std::string> result;
    for (const auto& station : stations)
        result.push_back(station.count("stationName") ? station.at("stationName") : "?");
    return result;
}

TEST(UserDefaults, DamagedFilesKeepEveryReadableEntryAndACopyAside) {
    const std::vector<std::string> both = {"One", "Two"};
    const std::vector<std::string> builtIn = {"Built-in"};
    struct Case {
        const char* what;
        std::string file;
        bool damaged;
        std::vector<std::string> stations;
        const char* downloadPath;
    } cases[] = {
        {"whole", twoStations + "size=2\n[General]\ndownloadPath=/data/radio\n", false, both, "/data/radio"},
        {"size missing", twoStations, true, both, "/home/u/Music"},
        {"size negative", twoStations + "size=-1\n", true, both, "/home/u/Music"},
        {"size huge", twoStations + "size=2000000000\n", true, both, "/home/u/Music"},
        {"size text", twoStations + "size=two\n", true, both, "/home/u/Music"},
        {"size too small", twoStations + "size=1\n", true, both, "/home/u/Music"},
        {"an entry missing", "[stations]\n2\\stationName=Two\n2\\serverURL=http://two/\nsize=2\n", true, {"Two"},
         "/home/u/Music"},
        {"binary junk lines",
         "[stations]\n1\\stationName=One\n\x01\xff\xfe\x00junk\n2\\stationName=Two\nsize=2\n"s, true,
         both, "/home/u/Music"},
        {"no readable entry", "[stations]\nsize=3\n", true, builtIn, "/home/u/Music"},
        {"unreadable download folder", twoStations + "size=2\n[General]\ndownloadPath=@Invalid()\n", true, both,
         "/home/u/Music"},
        {"download folder of another kind", twoStations + "size=2\n[General]\ndownloadPath=@Variant(\\0\\0\\0\\x7f)\n",
         true, both, "/home/u/Music"},
        {"empty file", "", true, builtIn, "/home/u/Music"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.file("Aircask.ini");
        writeFile(path, c.file);
        {
            UserDefaults defaults(QString::fromStdString(path));
            defaults.registerDefaults(registered);
            EXPECT_EQ(defaults.wasDamaged(), c.damaged);
            EXPECT_EQ(names(defaults.arrayForKey("stations")), c.stations);
            EXPECT_EQ(defaults.stringForKey("downloadPath").toStdString(), c.downloadPath);
            if (c.damaged) {
                ASSERT_FALSE(defaults.damagedCopy().isEmpty());
                EXPECT_EQ(readFile(defaults.damagedCopy().toStdString()), c.file);
                // Made whole at once: a start after a crash, before anything else was written,
                // finds no damage to tell again.
                UserDefaults afterCrash(QString::fromStdString(path));
                afterCrash.registerDefaults(registered);
                EXPECT_FALSE(afterCrash.wasDamaged());
                EXPECT_EQ(names(afterCrash.arrayForKey("stations")), c.stations);
            } else {
                EXPECT_TRUE(defaults.damagedCopy().isEmpty());
            }
            // Written back as the program does at quit: whole again, nothing lost that was read.
            defaults.setArray("stations", defaults.arrayForKey("stations"));
            defaults.synchronize();
        }
        EXPECT_EQ(readFile(path).find("@Invalid"), std::string::npos);
        UserDefaults reread(QString::fromStdString(path));
        reread.registerDefaults(registered);
        EXPECT_FALSE(reread.wasDamaged());
        EXPECT_EQ(names(reread.arrayForKey("stations")), c.stations);
        EXPECT_TRUE(platform::fileExists(path));
        EXPECT_EQ(platform::listDirectory(dir.path()).size(), c.damaged ? 2u : 1u);
    }
}

TEST(UserDefaults, AnEmptyStoredListIsNotDamage) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("Aircask.ini"));
    {
        UserDefaults defaults(path);
        defaults.setArray("stations", {});
        defaults.synchronize();
    }
    UserDefaults reread(path);
    reread.registerDefaults(registered);
    EXPECT_FALSE(reread.wasDamaged());
    EXPECT_TRUE(reread.arrayForKey("stations").empty());
}

TEST(UserDefaults, WritesReplaceTheFileWhole) {
    // Written through a temporary file and a rename: a reader never sees half a file, and a
    // failed write leaves the old one. The rename gives the file a new inode.
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("Aircask.ini"));
    UserDefaults defaults(path);
    defaults.setObject("downloadPath", "/one");
    defaults.synchronize();
    const auto inode = [&] {
        struct stat st {};
        ::stat(path.toStdString().c_str(), &st);
        return st.st_ino;
    };
    const auto before = inode();
    defaults.setObject("downloadPath", "/two");
    defaults.synchronize();
    EXPECT_NE(inode(), before);
    EXPECT_NE(readFile(path.toStdString()).find("/two"), std::string::npos);
}

} // namespace
