#include "platform/core/PropertyList.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

using namespace platform;
using testsupport::TempDir;

namespace {

TEST(PropertyList, RoundTripKeepsEveryKind) {
    TempDir dir;
    const PlistDict written{
        {"OutputDirectory", "/home/user/Music/Ünïcode"},
        {"Bitrate", std::int64_t{192}},
        {"UseTags", true},
        {"Gain", 1.5},
        {"Sessions", PlistArray{PlistDict{{"First Track", 1}, {"Leadout Block", 190000}}}},
        {"Empty", PlistArray{}},
    };
    ASSERT_TRUE(writePropertyList(dir.file("prefs.plist"), written));
    auto read = readPropertyList(dir.file("prefs.plist"));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, written);
    // Rewriting replaces the file whole and leaves no temporary file behind.
    ASSERT_TRUE(writePropertyList(dir.file("prefs.plist"), PlistDict{{"A", "b"}}));
    EXPECT_EQ(readPropertyList(dir.file("prefs.plist"))->size(), 1u);
    EXPECT_EQ(std::system(("test $(ls -A " + dir.path() + " | wc -l) -eq 1").c_str()), 0);
}

TEST(PropertyList, ReadsBinaryFiles) {
    TempDir dir;
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "Name", plist_new_string("disc"));
    plist_dict_set_item(root, "Start Block", plist_new_uint(150));
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    plist_free(root);
    testsupport::writeFile(dir.file("toc.plist"), std::string(bin, length));
    std::free(bin);

    auto read = readPropertyList(dir.file("toc.plist"));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read->at("Name").string(), "disc");
    EXPECT_EQ(*read->at("Start Block").integer(), 150);
}

TEST(PropertyList, NoneForMissingBrokenOrNonDictionaryFiles) {
    TempDir dir;
    EXPECT_FALSE(readPropertyList(dir.file("missing.plist")));
    testsupport::writeFile(dir.file("broken.plist"), "<?xml version=\"1.0\"?><plist><dict><key>a</key>");
    EXPECT_FALSE(readPropertyList(dir.file("broken.plist")));
    testsupport::writeFile(dir.file("empty.plist"), "");
    EXPECT_FALSE(readPropertyList(dir.file("empty.plist")));
    testsupport::writeFile(dir.file("array.plist"),
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>");
    EXPECT_FALSE(readPropertyList(dir.file("array.plist")));
    EXPECT_FALSE(writePropertyList(dir.file("no/such/folder.plist"), {}));
}

} // namespace
