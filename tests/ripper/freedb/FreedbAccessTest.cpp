#include "ripper/freedb/FreedbAccess.h"
#include "tests/ripper/freedb/CddbServer.h"

#include <gtest/gtest.h>

#include <regex>

using namespace ripper;
using testsupport::CddbServer;
using Step = CddbServer::Step;

namespace {

// The delegate a window would be: it records alerts and answers the chooser with `choice`.
struct RecordingDelegate : FreedbDelegate {
    std::vector<std::pair<std::string, std::string>> alerts;
    std::vector<std::vector<std::string>> offered;
    std::int32_t choice = 0;
    std::string getChosenCDName() override { return "/nonexistent"; }
    void runAlertWithTitle(const std::string& title, const std::string& text) override {
        alerts.emplace_back(title, text);
    }
    std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>& matches) override {
        offered.push_back(matches);
        return choice;
    }
};

// The worked example's disc: 13031e03, three tracks.
TableOfContents exampleDisc() {
    TableOfContents toc;
    toc.numTracks = 3;
    toc.numSessions = 1;
    toc.totalTime = 800;
    toc.trackOffsets = {150, 18000, 40000};
    return toc;
}

const std::string greeting = "201 test.freedb CDDBP server v1.5.2PL0 ready at Fri Dec 11 10:00:00 2026\r\n";
const std::string helloOk = "200 Hello and welcome user@host running discwell v0.5.3.\r\n";
const std::string query = "cddb query 13031e03 3 150 18000 40000 800\n";

// An entry in the freedb format: a split disc title, a title split over two lines, "/" in
// titles, and Latin-1 bytes (an e with an acute accent, 0xE9).
const std::string entryLatin1 = "210 rock 13031e03 CD database entry follows (until terminating `.')\r\n"
                                "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t18000\r\n#\t40000\r\n"
                                "DISCID=13031e03\r\n"
                                "DTITLE=Caf\xE9 Tacvba / Re (Remastered Anniversary Editi\r\n"
                                "DTITLE=on)\r\n"
                                "DYEAR=1994\r\n"
                                "TTITLE0=El Aparato\r\n"
                                "TTITLE1=La Ingrata / Live and very long so that the server splits it o\r\n"
                                "TTITLE1=ver two lines\r\n"
                                "TTITLE2=El Borrego\r\n"
                                "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n";
// The disc title is the DTITLE lines alone (DYEAR does not creep in); a title keeps its " / ".
const AlbumInfo albumLatin1 = {"Caf\xC3\xA9 Tacvba", "Re (Remastered Anniversary Edition)", "El Aparato",
                               "La Ingrata / Live and very long so that the server splits it over two lines",
                               "El Borrego"};

struct Lookup {
    RecordingDelegate delegate;
    FreedbAccess access{delegate, exampleDisc()};
    std::vector<std::string> sent;

    void run(CddbServer& server, const std::string& host = "127.0.0.1") {
        access.setPort(server.port());
        access.setTimeout(std::chrono::milliseconds(1500));
        access.lookupCDInformation(host);
        server.join();
        sent = server.received();
    }
    std::string alert() const { return delegate.alerts.empty() ? "<no alert>" : delegate.alerts.back().second; }
};

void expectHello(const std::string& line) {
    EXPECT_TRUE(std::regex_match(line, std::regex("cddb hello [^ \n]+ [^ \n]+ discwell v0\\.5\\.3\n"))) << line;
}

TEST(FreedbAccess, ExactMatch) {
    CddbServer server(greeting, {{helloOk}, {"200 rock 13031e03 Cafe Tacvba / Re\r\n"}, {entryLatin1}});
    Lookup lookup;
    lookup.run(server);
    ASSERT_EQ(lookup.sent.size(), 4u);
    expectHello(lookup.sent[0]);
    EXPECT_EQ(lookup.sent[1], query);
    EXPECT_EQ(lookup.sent[2], "cddb read rock 13031e03\n");
    EXPECT_EQ(lookup.sent[3], "quit\n");
    EXPECT_TRUE(lookup.delegate.alerts.empty()) << lookup.alert();
    EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
}

TEST(FreedbAccess, TheReadUsesTheLocalIdentifier) {
    TableOfContents small;
    small.numTracks = 1;
    small.totalTime = 10;
    small.trackOffsets = {0};
    CddbServer server(greeting, {{helloOk}, {"200 misc ffffffff Wrong / Id\r\n"}, {entryLatin1}});
    RecordingDelegate delegate;
    FreedbAccess access(delegate, small);
    access.setPort(server.port());
    access.lookupCDInformation("127.0.0.1");
    server.join();
    ASSERT_GE(server.received().size(), 3u);
    // A first track at 0 s: the length is the lead-out second, 10.
    EXPECT_EQ(server.received()[1], "cddb query 00000a01 1 0 10\n");
    EXPECT_EQ(server.received()[2], "cddb read misc 00000a01\n");
}

TEST(FreedbAccess, InexactMatchesAskTheUser) {
    const std::string matches = "211 Found inexact matches, list follows (until terminating `.')\r\n"
                                "rock 13031e03 Artist / Album\r\n"
                                "jazz 0a0b0c0d Other / Record\r\n"
                                "misc 13031e05 Third / One\r\n"
                                ".\r\n";
    CddbServer server(greeting, {{helloOk}, {matches, false, false, 20}, {entryLatin1}});
    Lookup lookup;
    lookup.delegate.choice = 1;
    lookup.run(server);
    ASSERT_EQ(lookup.delegate.offered.size(), 1u);
    EXPECT_EQ(lookup.delegate.offered[0],
              (std::vector<std::string>{"rock 13031e03 Artist / Album", "jazz 0a0b0c0d Other / Record",
                                        "misc 13031e05 Third / One"}));
    ASSERT_GE(lookup.sent.size(), 3u);
    EXPECT_EQ(lookup.sent[2], "cddb read jazz 0a0b0c0d\n");
    EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
}

TEST(FreedbAccess, EntriesInPiecesUtf8AndAClosingServer) {
    std::string entryUtf8 = entryLatin1;
    entryUtf8.replace(entryUtf8.find('\xE9'), 1, "\xC3\xA9");
    struct Case {
        const char* what;
        Step entryStep;
    } cases[] = {
        {"seven-byte pieces", {entryLatin1, false, false, 7}},
        {"UTF-8", {entryUtf8}},
        {"the server closes after the entry", {entryLatin1, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CddbServer server(greeting, {{helloOk}, {"200 rock 13031e03 Cafe Tacvba / Re\r\n"}, c.entryStep});
        Lookup lookup;
        lookup.run(server);
        EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
    }
}

TEST(FreedbAccess, FailuresAreReportedAndLeaveNoAlbum) {
    const std::string exact = "200 rock 13031e03 A / B\r\n";
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string alert;
        std::int32_t choice = 0;
    } cases[] = {
        {"handshake 402",
         {{"402 Already shook hands.\r\n"}},
         "freedb: I tired to shake hands with the server, but we already shook hands!"},
        {"handshake 431",
         {{"431 Handshake not successful, closing connection.\r\n"}},
         "freedb: Handshake was not successful; closing connection"},
        {"handshake 500", {{"500 Command syntax error.\r\n"}}, "freedb: Command Syntax Error"},
        {"handshake without a code",
         {{"oops, something\r\n"}},
         "freedb: I got an error, but the server couldn't tell me what it was!  Aborting Connection"},
        {"a reply without a blank", {{"nonsense\r\n"}}, "freedb: The server sent a reply I don't understand."},
        {"the server closes at once", {{"", true}}, "freedb: The server sent a reply I don't understand."},
        {"not found",
         {{helloOk}, {"202 No match for disc ID 13031e03.\r\n"}},
         "freedb: I couldn't find this CD in the freedb database."},
        {"query 403",
         {{helloOk}, {"403 Database entry is corrupt.\r\n"}},
         "freedb: The database entry for this cd is corrupt and cannot be retrieved."},
        {"query 409",
         {{helloOk}, {"409 No handshake.\r\n"}},
         "freedb: It seems I forgot to shake hands with the server."},
        {"query with another code",
         {{helloOk}, {"530 Server error, server timeout.\r\n"}},
         "530 Server error, server timeout."},
        {"a 200 reply with one blank",
         {{helloOk}, {"200 rock\r\n"}},
         "freedb: The server sent a reply I don't understand."},
        {"no match chosen",
         {{helloOk}, {"211 matches\r\nrock 1 A / B\r\n.\r\n"}},
         "freedb: No matching album was chosen.",
         -1},
        {"a list of matches that ends early",
         {{helloOk}, {"211 matches\r\nrock 1 A / B\r\n", true}},
         "freedb: The list of matching albums ended early."},
        {"a match line with one blank",
         {{helloOk}, {"211 matches\r\nrock\r\n.\r\n"}},
         "freedb: The server sent a reply I don't understand."},
        {"entry 401",
         {{helloOk}, {exact}, {"401 rock 13031e03 No such CD entry in database.\r\n"}},
         "freedb: The CD should be in the database, but apparently isn't.   (freedb: entry not found.)"},
        {"entry 402",
         {{helloOk}, {exact}, {"402 Server error.\r\n"}},
         "freedb: I tired to shake hands with the server, but we already shook hands!"},
        {"entry 403",
         {{helloOk}, {exact}, {"403 Database entry is corrupt.\r\n"}},
         "freedb: The database entry for this cd is corrupt and cannot be retrieved."},
        {"entry 409",
         {{helloOk}, {exact}, {"409 No handshake.\r\n"}},
         "freedb: It seems I forgot to shake hands with the server."},
        {"an entry that cannot be taken apart",
         {{helloOk}, {exact}, {"210 rock 13031e03\r\nDTITLE=A\r\n.\r\n"}},
         "freedb: The database entry for this CD could not be read."},
        {"a server that stops answering", {{helloOk}, {"", false, true}}, "freedb: The server did not answer in time."},
        {"an entry that never ends",
         {{helloOk}, {exact}, {"210 rock 13031e03\r\nDTITLE=A / B\r\n"}},
         "freedb: The server did not answer in time."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CddbServer server(greeting, c.steps);
        Lookup lookup;
        lookup.delegate.choice = c.choice;
        lookup.run(server);
        ASSERT_EQ(lookup.delegate.alerts.size(), 1u);
        EXPECT_EQ(lookup.delegate.alerts[0].first, "Freedb Error");
        EXPECT_EQ(lookup.delegate.alerts[0].second, c.alert);
        EXPECT_FALSE(lookup.access.getAlbumInfo());
    }
}

TEST(FreedbAccess, AReplyThatTricklesInFailsWithinTheLimit) {
    // A byte every 100 ms: each read gets something, but the whole entry would take 4.5 s.
    const std::string slow = "210 rock 13031e03\r\nDTITLE=A / B\r\nTTITLE0=x\r\n.\r\n";
    CddbServer server(greeting, {{helloOk}, {"200 rock 13031e03 A / B\r\n"}, {slow, false, false, 1, std::chrono::milliseconds(100)}});
    RecordingDelegate delegate;
    FreedbAccess access(delegate, exampleDisc());
    access.setPort(server.port());
    access.setTimeout(std::chrono::milliseconds(1500));
    const auto start = std::chrono::steady_clock::now();
    access.lookupCDInformation("127.0.0.1");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2500)) << "the time limit applied to each read, not to the reply";
    ASSERT_EQ(delegate.alerts.size(), 1u);
    EXPECT_EQ(delegate.alerts[0].second, "freedb: The server did not answer in time.");
    EXPECT_FALSE(access.getAlbumInfo());
    server.join();
}

TEST(FreedbAccess, UnreachableServers) {
    Lookup lookup;
    lookup.access.lookupCDInformation("no-such-host.invalid");
    ASSERT_EQ(lookup.delegate.alerts.size(), 1u);
    EXPECT_EQ(lookup.delegate.alerts[0].second.rfind("Socket: Host not found: ", 0), 0u) << lookup.alert();

    Lookup refused;
    refused.access.setPort(1);
    refused.access.lookupCDInformation("127.0.0.1");
    EXPECT_EQ(refused.alert(), "Socket: Connect failed: Connection refused");
    EXPECT_FALSE(refused.access.getAlbumInfo());
}

TEST(FreedbAccess, ReadCommands) {
    RecordingDelegate delegate;
    FreedbAccess access(delegate, exampleDisc());
    EXPECT_EQ(access.buildCDDBReadEntryString(200, "200 newage 12345678 Some / Thing\r\n"),
              "cddb read newage 13031e03\n");
    EXPECT_EQ(access.buildCDDBReadEntryString(211, "Stupid bogus data\nblues 0000abcd A / B\n."),
              "cddb read blues 0000abcd\n");
    EXPECT_EQ(cddbReplyCode("210 x"), 210);
    EXPECT_EQ(cddbReplyCode("x 210"), 0);
    EXPECT_EQ(cddbReplyCode("99999999999999 x"), INT32_MAX);
}

} // namespace
