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

    EXPECT_FALSE(createUniqueFolderAtPath(dir.file("missing/Audio CD"), "x"));
}

TEST(OutputFolders, NestedFoldersReuseTheArtist) {
    testsupport::TempDir dir;
    const std::string output = dir.file("Audio CD");
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Album"), dir.file("Artist/Album"));
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Album"), dir.file("Artist/Album 1"));
    EXPECT_EQ(createUniqueNestedFolderAtPath(output, "Artist", "Other"), dir.file("Artist/Other"));
    EXPECT_EQ(platform::listDirectory(dir.path()), (std::vector<std::string>{"Artist"}));
    EXPECT_FALSE(createUniqueNestedFolderAtPath(dir.file("missing/Audio CD"), "Artist", "Album"));
}

} // namespace
