#include "platform/core/Files.h"
#include "ripper/OutputFolders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace ripper;

namespace {

TEST(OutputFolders, NamedFoldersAreMadeBesideTheLastComponentAndNumbered) {
    testsupport::TempDir dir;
    const std::string output = dir.file("Audio CD");
    EXPECT_EQ(createUniqueFolderAtPath(output, "Artist - Album"), dir.file("Artist - Album"));
    EXPECT_EQ(createUniqueFolderAtPath(output, "Artist - Album"), dir.file("Artist - Album 1"));
    testsupport::writeFile(dir.file("Artist - Album 2"), ""); // a plain file counts as taken
    EXPECT_EQ(createUniqueFolderAtPath(output, "Artist - Album"), dir.file("Artist - Album 3"));
    EXPECT_TRUE(platform::isDirectory(dir.file("Artist - Album 3")));

    EXPECT_EQ(createUniqueFolderAtPath(output, std::nullopt), output);
    EXPECT_EQ(createUniqueFolderAtPath(output, std::nullopt), output + " 1");

    // Names that would point elsewhere stay inside.
    EXPECT_EQ(createUniqueFolderAtPath(output, "AC/DC"), dir.file("AC-DC"));
    EXPECT_EQ(createUniqueFolderAtPath(output, ".."), dir.file("__"));

    // A folder above that is missing is made (a first run has no Music folder); one that cannot
    // be made fails with the reason.
    EXPECT_EQ(createUniqueFolderAtPath(dir.file("missing/Audio CD"), "x"), dir.file("missing/x"));
    testsupport::writeFile(dir.file("a-file"), "");
    std::string error;
    EXPECT_FALSE(createUniqueFolderAtPath(dir.file("a-file/Audio CD"), "x", &error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

TEST(OutputFolders, AFolderThatIsThereIsNeverTaken) {
    // The old check-then-make reused a folder that appeared in between; the name must be new.
    testsupport::TempDir dir;
    platform::createDirectory(dir.file("Album"));
    testsupport::writeFile(dir.file("Album/01 - One.mp3"), "kept");
    const auto folder = createUniqueFolderAtPath(dir.file("Audio CD"), "Album");
    EXPECT_EQ(folder, dir.file("Album 1"));
    EXPECT_EQ(testsupport::readFile(dir.file("Album/01 - One.mp3")), "kept");
}

TEST(OutputFolders, NestedFoldersReuseTheArtist) {
    testsupport::TempDir dir;
    const std::string output = dir.file("Audio CD");
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Album"), dir.file("Artist/Album"));
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Album"), dir.file("Artist/Album 1"));
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Other"), dir.file("Artist/Other"));
    EXPECT_EQ(platform::listDirectory(dir.path()), (std::vector<std::string>{"Artist"}));
    EXPECT_EQ(createUniqueNestedFolderAtPath(dir.file("missing/Audio CD"), "Artist", "Album"),
              dir.file("missing/Artist/Album"));
}

} // namespace
