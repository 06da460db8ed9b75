#include "ripper/freedb/FreedbAccess.h"
#include "tests/ripper/freedb/CddbServer.h"
#include "tests/support/HttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

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
const std::string protoOk = "201 OK, CDDB protocol level now: 6\r\n";
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
    CddbServer server(greeting, {{helloOk}, {protoOk}, {"200 rock 13031e03 Cafe Tacvba / Re\r\n"}, {entryLatin1}});
    Lookup lookup;
    lookup.run(server);
    ASSERT_EQ(lookup.sent.size(), 5u);
    expectHello(lookup.sent[0]);
    EXPECT_EQ(lookup.sent[1], "proto 6\n");
    EXPECT_EQ(lookup.sent[2], query);
    EXPECT_EQ(lookup.sent[3], "cddb read rock 13031e03\n");
    EXPECT_EQ(lookup.sent[4], "quit\n");
    EXPECT_TRUE(lookup.delegate.alerts.empty()) << lookup.alert();
    EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
}

TEST(FreedbAccess, TheReadUsesTheLocalIdentifier) {
    TableOfContents small;
    small.numTracks = 1;
    small.totalTime = 10;
    small.trackOffsets = {0};
    CddbServer server(greeting, {{helloOk}, {protoOk}, {"200 misc ffffffff Wrong / Id\r\n"}, {entryLatin1}});
    RecordingDelegate delegate;
    FreedbAccess access(delegate, small);
    access.setPort(server.port());
    access.lookupCDInformation("127.0.0.1");
    server.join();
    ASSERT_GE(server.received().size(), 4u);
    // A first track at 0 s: the length is the lead-out second, 10.
    EXPECT_EQ(server.received()[2], "cddb query 00000a01 1 0 10\n");
    EXPECT_EQ(server.received()[3], "cddb read misc 00000a01\n");
}

TEST(FreedbAccess, InexactMatchesAskTheUser) {
    const std::string matches = "211 Found inexact matches, list follows (until terminating `.')\r\n"
                                "rock 13031e03 Artist / Album\r\n"
                                "jazz 0a0b0c0d Other / Record\r\n"
                                "misc 13031e05 Third / One\r\n"
                                ".\r\n";
    CddbServer server(greeting, {{helloOk}, {protoOk}, {matches, false, false, 20}, {entryLatin1}});
    Lookup lookup;
    lookup.delegate.choice = 1;
    lookup.run(server);
    ASSERT_EQ(lookup.delegate.offered.size(), 1u);
    EXPECT_EQ(lookup.delegate.offered[0],
              (std::vector<std::string>{"rock 13031e03 Artist / Album", "jazz 0a0b0c0d Other / Record",
                                        "misc 13031e05 Third / One"}));
    ASSERT_GE(lookup.sent.size(), 4u);
    EXPECT_EQ(lookup.sent[3], "cddb read jazz 0a0b0c0d\n");
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
        CddbServer server(greeting, {{helloOk}, {protoOk}, {"200 rock 13031e03 Cafe Tacvba / Re\r\n"}, c.entryStep});
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
         {{helloOk}, {protoOk}, {"202 No match for disc ID 13031e03.\r\n"}},
         "freedb: I couldn't find this CD in the freedb database."},
        {"query 403",
         {{helloOk}, {protoOk}, {"403 Database entry is corrupt.\r\n"}},
         "freedb: The database entry for this cd is corrupt and cannot be retrieved."},
        {"query 409",
         {{helloOk}, {protoOk}, {"409 No handshake.\r\n"}},
         "freedb: It seems I forgot to shake hands with the server."},
        {"query with another code",
         {{helloOk}, {protoOk}, {"530 Server error, server timeout.\r\n"}},
         "freedb: The server could not look the disc up."},
        {"a client the server does not know",
         {{"500 Unknown developer email for discwell v0.5.3\r\n"}},
         "freedb: Command Syntax Error"},
        {"entry 530",
         {{helloOk}, {protoOk}, {exact}, {"530 Server error, server timeout.\r\n"}},
         "freedb: The server could not send the entry."},
        {"a 200 reply with one blank",
         {{helloOk}, {protoOk}, {"200 rock\r\n"}},
         "freedb: The server sent a reply I don't understand."},
        {"no match chosen",
         {{helloOk}, {protoOk}, {"211 matches\r\nrock 1 A / B\r\n.\r\n"}},
         "freedb: No matching album was chosen.",
         -1},
        {"a list of matches that ends early",
         {{helloOk}, {protoOk}, {"211 matches\r\nrock 1 A / B\r\n", true}},
         "freedb: The list of matching albums ended early."},
        {"a match line with one blank",
         {{helloOk}, {protoOk}, {"211 matches\r\nrock\r\n.\r\n"}},
         "freedb: The server sent a reply I don't understand."},
        {"entry 401",
         {{helloOk}, {protoOk}, {exact}, {"401 rock 13031e03 No such CD entry in database.\r\n"}},
         "freedb: The CD should be in the database, but apparently isn't.   (freedb: entry not found.)"},
        {"entry 402",
         {{helloOk}, {protoOk}, {exact}, {"402 Server error.\r\n"}},
         "freedb: I tired to shake hands with the server, but we already shook hands!"},
        {"entry 403",
         {{helloOk}, {protoOk}, {exact}, {"403 Database entry is corrupt.\r\n"}},
         "freedb: The database entry for this cd is corrupt and cannot be retrieved."},
        {"entry 409",
         {{helloOk}, {protoOk}, {exact}, {"409 No handshake.\r\n"}},
         "freedb: It seems I forgot to shake hands with the server."},
        {"an entry that cannot be taken apart",
         {{helloOk}, {protoOk}, {exact}, {"210 rock 13031e03\r\nDTITLE=A\r\n.\r\n"}},
         "freedb: The database entry for this CD could not be read."},
        {"a server that stops answering", {{helloOk}, {protoOk}, {"", false, true}}, "freedb: The server did not answer in time."},
        {"an entry that never ends",
         {{helloOk}, {protoOk}, {exact}, {"210 rock 13031e03\r\nDTITLE=A / B\r\n"}},
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
        const std::string& alert = lookup.delegate.alerts[0].second;
        EXPECT_EQ(alert.substr(0, alert.find('\n')), c.alert);
        EXPECT_FALSE(lookup.access.getAlbumInfo());
    }
}

TEST(FreedbAccess, FailureAlertsQuoteTheServerWithAHint) {
    const std::string unknownClient = "500 Unknown developer email for discwell v0.5.3";
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string quoted; // "" when no server line belongs in the alert
        std::string hint;   // a piece of the hint, "" for none
    } cases[] = {
        {"a client gnudb does not know", {{unknownClient + "\r\n"}}, unknownClient, "e-mail address"},
        {"a refused handshake", {{"431 Handshake not successful\r\n"}}, "431 Handshake not successful", "e-mail address"},
        {"not found", {{helloOk}, {protoOk}, {"202 No match for disc ID 13031e03.\r\n"}}, "202 No match for disc ID 13031e03.", ""},
        {"a server error", {{helloOk}, {protoOk}, {"530 Server error, server timeout.\r\n"}}, "530 Server error, server timeout.", ""},
        {"no handshake", {{helloOk}, {protoOk}, {"200 rock 13031e03 A / B\r\n"}, {"409 No handshake.\r\n"}}, "409 No handshake.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CddbServer server(greeting, c.steps);
        Lookup lookup;
        lookup.run(server);
        const std::string alert = lookup.alert();
        EXPECT_NE(alert.find("The server said: \"" + c.quoted + "\""), std::string::npos) << alert;
        if (!c.hint.empty()) {
            EXPECT_NE(alert.find(c.hint), std::string::npos) << alert;
        }
    }
    // A server that cannot be reached over CDDBP: the HTTP address may get through.
    Lookup refused;
    refused.access.setPort(1);
    refused.access.lookupCDInformation("127.0.0.1");
    EXPECT_NE(refused.alert().find("http://gnudb.gnudb.org/~cddb/cddb.cgi"), std::string::npos) << refused.alert();
}

TEST(FreedbAccess, AReplyThatTricklesInFailsWithinTheLimit) {
    // A byte every 100 ms: each read gets something, but the whole entry would take 4.5 s.
    const std::string slow = "210 rock 13031e03\r\nDTITLE=A / B\r\nTTITLE0=x\r\n.\r\n";
    CddbServer server(greeting, {{helloOk}, {protoOk}, {"200 rock 13031e03 A / B\r\n"}, {slow, false, false, 1, std::chrono::milliseconds(100)}});
    RecordingDelegate delegate;
    FreedbAccess access(delegate, exampleDisc());
    access.setPort(server.port());
    access.setTimeout(std::chrono::milliseconds(1500));
    const auto start = std::chrono::steady_clock::now();
    access.lookupCDInformation("127.0.0.1");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2500)) << "the time limit applied to each read, not to the reply";
    ASSERT_EQ(delegate.alerts.size(), 1u);
    EXPECT_EQ(delegate.alerts[0].second.substr(0, delegate.alerts[0].second.find('\n')),
              "freedb: The server did not answer in time.");
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
    EXPECT_EQ(refused.alert().substr(0, refused.alert().find('\n')), "Socket: Connect failed: Connection refused");
    EXPECT_FALSE(refused.access.getAlbumInfo());
}

std::string withUtf8Accent(std::string entry) {
    entry.replace(entry.find('\xE9'), 1, "\xC3\xA9");
    return entry;
}

TEST(FreedbAccess, TheProtocolLevelDecidesTheEncoding) {
    const std::string exact = "200 rock 13031e03 A / B\r\n";
    struct Case {
        const char* what;
        std::string protoReply;
        std::string entry;
        int level;
        std::string artist;
    } cases[] = {
        {"level 6 set", protoOk, withUtf8Accent(entryLatin1), 6, "Caf\xC3\xA9 Tacvba"},
        {"already at 6", "502 Protocol level already 6\r\n", withUtf8Accent(entryLatin1), 6, "Caf\xC3\xA9 Tacvba"},
        // Below level 6 every byte is an ISO 8859-1 character, even where the bytes could be UTF-8.
        {"level 6 refused", "501 Illegal protocol level.\r\n", withUtf8Accent(entryLatin1), 1,
         "Caf\xC3\x83\xC2\xA9 Tacvba"},
        {"a server without proto", "500 Unrecognized command.\r\n", entryLatin1, 1, "Caf\xC3\xA9 Tacvba"},
        // An entry at level 6 that still holds ISO 8859-1 bytes is read as such.
        {"stray ISO 8859-1 at level 6", protoOk, entryLatin1, 6, "Caf\xC3\xA9 Tacvba"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CddbServer server(greeting, {{helloOk}, {c.protoReply}, {exact}, {c.entry}});
        Lookup lookup;
        lookup.run(server);
        ASSERT_TRUE(lookup.access.getAlbumInfo()) << lookup.alert();
        EXPECT_EQ(lookup.access.getAlbumInfo()->at(0), c.artist);
        EXPECT_EQ(lookup.access.protocolLevel(), c.level);
    }
}

TEST(FreedbAccess, TheHelloComesFromTheEmailAddress) {
    const std::string exact = "200 rock 13031e03 A / B\r\n";
    {
        CddbServer server(greeting, {{helloOk}, {protoOk}, {exact}, {entryLatin1}});
        Lookup lookup;
        lookup.access.setEmailAddress("jane.doe@mail.example.org");
        lookup.run(server);
        ASSERT_FALSE(lookup.sent.empty());
        EXPECT_EQ(lookup.sent[0], "cddb hello jane.doe mail.example.org discwell v0.5.3\n");
    }
    for (const char* notAnAddress : {"", "jane", "@example.org", "jane@", "jane doe@example.org"}) {
        SCOPED_TRACE(notAnAddress);
        CddbServer server(greeting, {{helloOk}, {protoOk}, {exact}, {entryLatin1}});
        Lookup lookup;
        lookup.access.setEmailAddress(notAnAddress);
        lookup.run(server);
        ASSERT_FALSE(lookup.sent.empty());
        expectHello(lookup.sent[0]); // the login and machine names
        EXPECT_EQ(lookup.sent[0].find("example.org"), std::string::npos);
    }
}

TEST(FreedbAccess, SeveralExactMatchesAreChosenAmong) {
    const std::string two = "210 Found exact matches, list follows (until terminating `.')\r\n"
                            "rock 13031e03 Artist / Album\r\nmisc 13031e03 Artist / Album (Deluxe)\r\n.\r\n";
    const std::string one = "210 Found exact matches, list follows (until terminating `.')\r\n"
                            "misc 13031e03 Artist / Album\r\n.\r\n";
    {
        CddbServer server(greeting, {{helloOk}, {protoOk}, {two}, {entryLatin1}});
        Lookup lookup;
        lookup.delegate.choice = 1;
        lookup.run(server);
        EXPECT_EQ(lookup.delegate.offered.size(), 1u);
        ASSERT_GE(lookup.sent.size(), 4u);
        EXPECT_EQ(lookup.sent[3], "cddb read misc 13031e03\n");
        EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
    }
    {
        CddbServer server(greeting, {{helloOk}, {protoOk}, {one}, {entryLatin1}});
        Lookup lookup;
        lookup.run(server);
        EXPECT_TRUE(lookup.delegate.offered.empty()) << "one exact match needs no choice";
        EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
    }
}

TEST(FreedbAccess, CddbOverHttp) {
    const std::string entry = withUtf8Accent(entryLatin1);
    testsupport::HttpServer server(
        [&](const std::string& target) -> testsupport::HttpServer::Reply {
            if (target.find("cmd=cddb+query+13031e03+3+150+18000+40000+800&") != std::string::npos)
                return {200, "200 rock 13031e03 Cafe Tacvba / Re\r\n"};
            if (target.find("cmd=cddb+read+rock+13031e03&") != std::string::npos)
                return {200, entry};
            return {200, "500 Command syntax error.\r\n"};
        },
        2);
    Lookup lookup;
    lookup.access.setEmailAddress("jane@example.org");
    lookup.access.setTimeout(std::chrono::milliseconds(3000));
    lookup.access.lookupCDInformation(server.base() + "/~cddb/cddb.cgi");
    server.join();
    EXPECT_TRUE(lookup.delegate.alerts.empty()) << lookup.alert();
    EXPECT_EQ(lookup.access.getAlbumInfo(), albumLatin1);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.rfind("GET /~cddb/cddb.cgi?cmd=cddb+", 0), 0u) << request;
        EXPECT_NE(request.find("&hello=jane+example.org+discwell+v0.5.3&proto=6 HTTP/1.1\r\n"), std::string::npos)
            << request;
    }
}

TEST(FreedbAccess, CddbOverHttpFailures) {
    struct Case {
        const char* what;
        testsupport::HttpServer::Reply reply;
        std::string start; // of the alert
        std::string quoted;
    } cases[] = {
        {"a wrong address", {404, "<html>Not Found</html>"}, "freedb: The server answered with HTTP status 404.",
         "<html>Not Found</html>"},
        {"a client gnudb does not know", {200, "500 Unknown developer email for discwell v0.5.3\r\n"},
         "freedb: Command Syntax Error", "500 Unknown developer email for discwell v0.5.3"},
        {"not found", {200, "202 No match for disc ID 13031e03.\r\n"},
         "freedb: I couldn't find this CD in the freedb database.", "202 No match for disc ID 13031e03."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::HttpServer server([&](const std::string&) { return c.reply; }, 1);
        Lookup lookup;
        lookup.access.lookupCDInformation(server.base() + "/~cddb/cddb.cgi");
        server.join();
        EXPECT_EQ(lookup.alert().rfind(c.start, 0), 0u) << lookup.alert();
        EXPECT_NE(lookup.alert().find("The server said: \"" + c.quoted + "\""), std::string::npos) << lookup.alert();
        EXPECT_FALSE(lookup.access.getAlbumInfo());
    }
    Lookup unreachable;
    unreachable.access.lookupCDInformation("http://127.0.0.1:1/~cddb/cddb.cgi");
    EXPECT_EQ(unreachable.alert().rfind("freedb: The server could not be reached: ", 0), 0u) << unreachable.alert();
}

TEST(FreedbAccess, ACancelEndsTheLookupAtOnce) {
    // Over CDDBP a server that says nothing after the query; over HTTP one that never answers.
    testsupport::HttpServer silentHttp([](const std::string&) { return testsupport::HttpServer::Reply{200, "", "", true}; }, 1);
    CddbServer silentCddb(greeting, {{helloOk}, {protoOk}, {"", false, true}});
    for (const std::string& server : {"127.0.0.1:" + std::to_string(silentCddb.port()), silentHttp.base() + "/cddb.cgi"}) {
        SCOPED_TRACE(server);
        RecordingDelegate delegate;
        FreedbAccess access(delegate, exampleDisc());
        std::atomic<bool> cancelled{false};
        access.setCancelled([&] { return cancelled.load(); });
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancelled = true;
        });
        const auto start = std::chrono::steady_clock::now();
        access.lookupCDInformation(server); // the time limit is 30 s
        const auto took = std::chrono::steady_clock::now() - start;
        canceller.join();
        EXPECT_LT(took, std::chrono::milliseconds(1300));
        EXPECT_TRUE(delegate.alerts.empty()) << "a cancelled lookup tells nothing";
        EXPECT_FALSE(access.getAlbumInfo());
    }
    silentCddb.join();
    silentHttp.join();
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
