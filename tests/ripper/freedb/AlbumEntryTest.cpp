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
    const auto entryRead = parseAlbumEntry(entry({"# xmcd", "#", "# Track frame offsets:", "#\t150", "DISCID=13031e03",
                                                  "DTITLE=Some Artist / Some Alb", "DTITLE=um", "DYEAR=1999",
                                                  "DGENRE=Rock", "TTITLE0=First", "TTITLE1=Second/Third",
                                                  "TTITLE2=A=B", "EXTD=", "EXTT0=", "EXTT1=", "EXTT2=", "PLAYORDER="}));
    // Names keep their "/": file and folder names make it "-" where they are made.
    EXPECT_EQ(entryRead.info, (AlbumInfo{"Some Artist", "Some Album", "First", "Second/Third", "A=B"}));
    EXPECT_EQ(entryRead.year, "1999");
    EXPECT_EQ(entryRead.genre, "Rock");
}

TEST(AlbumEntry, EntriesAsServersSendThem) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        AlbumInfo info;
    } cases[] = {
        {"DYEAR and DGENRE between the disc title and the first track",
         {"DTITLE=A / B", "DYEAR=1999", "DGENRE=Jazz", "TTITLE0=x", "EXTD="},
         {"A", "B", "x"}},
        {"a band name with a slash", {"DTITLE=AC/DC / Back in Black", "TTITLE0=Hells Bells", "EXTD="},
         {"AC/DC", "Back in Black", "Hells Bells"}},
        {"a slash without blanks only", {"DTITLE=Artist/Album", "TTITLE0=x", "EXTD="},
         {"Artist/Album", "Artist/Album", "x"}},
        {"no separator", {"DTITLE=Just a title", "TTITLE0=x", "EXTD="}, {"Just a title", "Just a title", "x"}},
        {"two separators split at the first", {"DTITLE=AC / DC / Live", "TTITLE0=x", "EXTD="}, {"AC", "DC / Live", "x"}},
        {"a split disc title and a split track title",
         {"DTITLE=A very long ar", "DTITLE=tist / B", "TTITLE0=A very long ti", "TTITLE0=tle", "TTITLE1=Next"},
         {"A very long artist", "B", "A very long title", "Next"}},
        {"a missing track number leaves its title empty", {"DTITLE=A / B", "TTITLE0=x", "TTITLE2=z"}, {"A", "B", "x", "", "z"}},
        {"keys in another order, comments and other keys anywhere",
         {"EXTD=year 1999", "# a comment", "TTITLE1=y", "PLAYORDER=", "DTITLE=A / B", "EXTT0=", "TTITLE0=x"},
         {"A", "B", "x", "y"}},
        {"a line without a key is passed over", {"DTITLE=A / B", "TTITLE0=x", "garbage", "TTITLE1=y"}, {"A", "B", "x", "y"}},
        {"UTF-8 as level 6 sends it", {"DTITLE=Bj\xC3\xB6rk / Debut", "TTITLE0=Human Behaviour"},
         {"Bj\xC3\xB6rk", "Debut", "Human Behaviour"}},
        {"track numbers past a CD's 99 are passed over", {"DTITLE=A / B", "TTITLE0=x", "TTITLE99=y", "TTITLE123456=z"},
         {"A", "B", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseAlbumInfo(entry(c.lines)), c.info);
    }
    // Lines ending in a bare line feed keep their last letter; the "." line ends the entry.
    EXPECT_EQ(parseAlbumInfo("210 x\nDTITLE=A / B\nDTITLE=C\nTTITLE0=Song\nTTITLE1=Two\nEXTD=\n.\nTTITLE2=After\n"),
              (AlbumInfo{"A", "B" "C", "Song", "Two"}));

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
        {"no track title", entry({"DTITLE=A / B", "EXTD="})},
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
