#include "ripper/freedb/AlbumEntry.h"
#include "tests/support/ExpectException.h"

#include <gtest/gtest.h>

using namespace ripper;

namespace {

// An entry reply: the status line, the given lines, the "." line, every line ending in CR LF.
std::string entry(const std::vector<std::string>& lines) {
    std::string text = "210 rock 13031e03 CD database entry follows (until terminating `.')\r\n";
    for (const auto& line : lines)
        text += line + "\r\n";
    return text + ".\r\n";
}

TEST(AlbumEntry, TheWorkedExample) {
    const auto info = parseAlbumInfo(
        entry({"# xmcd", "DISCID=13031e03", "DTITLE=Some Artist / Some Alb", "DTITLE=um", "TTITLE0=First",
               "TTITLE1=Second/Third", "TTITLE2=A=B", "EXTD=", "EXTT0=", "PLAYORDER="}));
    EXPECT_EQ(info, (AlbumInfo{"Some Artist", "Some Album", "First", "Second-Third", "A=B"}));
}

TEST(AlbumEntry, Cases) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        AlbumInfo info;
    } cases[] = {
        {"lines between the disc title and the first track belong to the album",
         {"DTITLE=A / B", "DYEAR=1999", "TTITLE0=x", "EXTD="},
         {"A", "B\r\nDYEAR=1999", "x"}},
        {"two slashes split at the first", {"DTITLE=AC / DC / Live", "TTITLE0=x", "EXTD="}, {"AC", "DC - Live", "x"}},
        {"an empty title", {"DTITLE=A / B", "TTITLE0=", "TTITLE1=y", "EXTD="}, {"A", "B", "", "y"}},
        {"a title continued with the same key is one element",
         {"DTITLE=A / B", "TTITLE0=A very long ti", "TTITLE0=tle/continued", "TTITLE1=Next", "EXTD="},
         {"A", "B", "A very long title-continued", "Next"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseAlbumInfo(entry(c.lines)), c.info);
    }
    // Lines ending in a bare line feed keep their last letter.
    EXPECT_EQ(parseAlbumInfo("210 x\nDTITLE=A / B\nDTITLE=C\nTTITLE0=Song\nTTITLE1=Two\nEXTD=\n.\n"),
              (AlbumInfo{"A", "BC", "Song", "Two"}));

    std::vector<std::string> twelve{"DTITLE=A / B"};
    for (int i = 0; i < 12; ++i)
        twelve.push_back("TTITLE" + std::to_string(i) + "=T" + std::to_string(i));
    twelve.push_back("EXTD=");
    EXPECT_EQ(parseAlbumInfo(entry(twelve)).size(), 14u);
}

TEST(AlbumEntry, EntriesThatCannotBeTakenApart) {
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"no DTITLE", entry({"TTITLE0=x", "EXTD="})},
        {"no TTITLE0", entry({"DTITLE=A / B", "EXTD="})},
        {"no EXTD", entry({"DTITLE=A / B", "TTITLE0=x"})},
        {"no slash", entry({"DTITLE=Just a title", "TTITLE0=x", "EXTD="})},
        {"slash first", entry({"DTITLE=/ Album", "TTITLE0=x", "EXTD="})},
        {"slash last", entry({"DTITLE=Artist /", "TTITLE0=x", "EXTD="})},
        {"a line without = before a title", entry({"DTITLE=A / B", "TTITLE0=x", "garbage", "TTITLE1=y", "EXTD="})},
        {"EXTD before the titles", entry({"EXTD=", "DTITLE=A / B", "TTITLE0=x"})},
        {"TTITLE0 before DTITLE", entry({"TTITLE0=x", "DTITLE=A / B", "EXTD="})},
        {"only the keys", "DTITLE=TTITLE0=EXTD="},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::expectException([&] { parseAlbumInfo(c.text); },
                                     "freedb: The database entry for this CD could not be read.", "");
    }
}

TEST(AlbumEntry, MatchLines) {
    const std::string reply = "211 Found inexact matches, list follows (until terminating `.')\r\n"
                              "rock 13031e03 Artist / Album\r\n"
                              "jazz 13031e04 Other / Record\r\n"
                              "misc 13031e05 Third / One\r\n"
                              ".\r\n";
    EXPECT_EQ(albumMatchLines(reply),
              (std::vector<std::string>{"rock 13031e03 Artist / Album", "jazz 13031e04 Other / Record",
                                        "misc 13031e05 Third / One"}));
    testsupport::expectException([] { albumMatchLines("211 matches\r\nrock 1 A / B\r\n"); },
                                 "freedb: The list of matching albums ended early.", "");
    testsupport::expectException([] { albumMatchLines("211 no line feed at all"); },
                                 "freedb: The list of matching albums ended early.", "");
}

} // namespace
