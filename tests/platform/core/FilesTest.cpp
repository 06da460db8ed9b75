#include "platform/core/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace platform;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

TEST(Files, MoveNeverReplaces) {
    TempDir dir;
    writeFile(dir.file("a"), "first");
    writeFile(dir.file("b"), "second");
    const auto error = moveWithoutReplacing(dir.file("a"), dir.file("b"));
    EXPECT_EQ(error, std::errc::file_exists);
    EXPECT_EQ(readFile(dir.file("b")), "second");
    EXPECT_EQ(readFile(dir.file("a")), "first");
    EXPECT_FALSE(moveWithoutReplacing(dir.file("a"), dir.file("c")));
    EXPECT_EQ(readFile(dir.file("c")), "first");
    EXPECT_FALSE(fileExists(dir.file("a")));
}

TEST(Files, FoldersAreMadeOneLevelDeepAndListedWithHiddenEntries) {
    TempDir dir;
    EXPECT_FALSE(createDirectory(dir.file("one")));
    EXPECT_FALSE(createDirectory(dir.file("one"))); // already there
    EXPECT_EQ(createDirectory(dir.file("x/y")), std::errc::no_such_file_or_directory);
    writeFile(dir.file("one/.TOC.plist"), "");
    writeFile(dir.file("one/1 Audio Track.aiff"), "");
    EXPECT_EQ(listDirectory(dir.file("one")), (std::vector<std::string>{".TOC.plist", "1 Audio Track.aiff"}));
    writeFile(dir.file("plain"), "");
    EXPECT_EQ(createDirectory(dir.file("plain")), std::errc::file_exists);
    EXPECT_FALSE(removePath(dir.file("one")));
    EXPECT_FALSE(fileExists(dir.file("one")));
}

TEST(Files, PathHelpers) {
    EXPECT_EQ(joinPath("/music", "Song.mp3"), "/music/Song.mp3");
    EXPECT_EQ(joinPath("/music/", "Song.mp3"), "/music/Song.mp3");
    EXPECT_EQ(lastPathComponent("/music/Station/Song.mp3"), "Song.mp3");
    EXPECT_EQ(lastPathComponent("/music/Station/"), "Station");
}

TEST(Files, ADamagedFileIsCopiedAsideOnceAndNeverOverAnotherCopy) {
    TempDir dir;
    const std::string settings = dir.file("Aircask.ini");
    writeFile(settings, "[stations]\nsize=oops\n");
    const std::string copy = keepDamagedCopy(settings);
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(copy.rfind(settings + ".damaged-", 0), 0u) << copy;
    EXPECT_EQ(readFile(copy), "[stations]\nsize=oops\n");
    EXPECT_EQ(keepDamagedCopy(settings), copy); // the same damage: the same copy, no second one
    EXPECT_EQ(listDirectory(dir.path()).size(), 2u);

    writeFile(settings, "other damage");
    const std::string second = keepDamagedCopy(settings);
    EXPECT_EQ(second, copy + "-2");
    EXPECT_EQ(readFile(second), "other damage");
    EXPECT_EQ(readFile(copy), "[stations]\nsize=oops\n"); // the first copy is kept as it was
    EXPECT_EQ(keepDamagedCopy(dir.file("missing")), "");
}

} // namespace
