#include "platform/core/Url.h"
#include "tests/support/LoopbackServer.h"

#include <gtest/gtest.h>

using platform::Url;
using testsupport::LoopbackServer;

namespace {

TEST(Url, ParsesWhatTheRecorderMeets) {
    struct Case {
        const char* text;
        const char* host;
        std::optional<std::uint16_t> port;
        const char* path;
    } cases[] = {
        {"http://radio.example.net:8000/live", "radio.example.net", 8000, "/live"},
        {"http://radio.example.net/", "radio.example.net", std::nullopt, "/"},
        {"http://radio.example.net", "radio.example.net", std::nullopt, "/"},
        {"http://radio.example.net:80/a", "radio.example.net", 80, "/a"},
        {"http://127.0.0.1:8080/my%20station/x%2Fy?q=1#frag", "127.0.0.1", 8080, "/my station/x/y"},
        {"https://secure.example.org/listen.pls", "secure.example.org", std::nullopt, "/listen.pls"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto url = Url::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->host, c.host);
        EXPECT_EQ(url->port, c.port);
        EXPECT_EQ(url->path, c.path);
    }
}

TEST(Url, AddressesGoOutAsWritten) {
    struct Case {
        const char* text;
        const char* target; // what the request line asks for
    } cases[] = {
        {"http://a.example:8000/;?sid=1", "/;?sid=1"},
        {"http://a.example/stream?type=http&nocache=1", "/stream?type=http&nocache=1"},
        {"http://a.example/my%20station", "/my%20station"},
        {"http://a.example/live%0D%0AX-Injected:%201", "/live%0D%0AX-Injected:%201"},
        {"https://a.example", "/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(platform::isSendableAddress(c.text));
        const auto url = Url::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->target, c.target);
    }
    for (const char* refused : {"http://a.example/my station", "http://a.example/live\r\nX-Injected: 1",
                                "http://a.example/\t", "http://a.example/\x7f", ""})
        EXPECT_FALSE(platform::isSendableAddress(refused)) << refused;
}

TEST(Url, RedirectsResolveAgainstTheAddress) {
    struct Case {
        const char* base;
        const char* location;
        std::optional<std::string> resolved;
    } cases[] = {
        {"http://a.example/live", "https://b.example:8443/stream?x=1", "https://b.example:8443/stream?x=1"},
        {"http://a.example/radio/live", "/other", "http://a.example/other"},
        {"https://a.example/radio/live", "mount2", "https://a.example/radio/mount2"},
        {"http://a.example/live", "ftp://b.example/", std::nullopt},
        {"http://a.example/live", "/a b", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::resolveAddress(c.base, c.location), c.resolved) << c.location;
}

TEST(Url, RejectsWhatIsNoUrl) {
    for (const char* text : {"", "radio.example.net:8000/live", "http://", "http://host:99999/", "http://a b/\r"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Url::parse(text));
    }
}

std::string httpReply(const std::string& status, const std::string& extra, const std::string& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

TEST(Url, FetchFollowsRedirectsAndFailsOnErrors) {
    LoopbackServer server(
        [](int fd) {
            const std::string request = LoopbackServer::readUntil(fd, "\r\n\r\n");
            if (request.rfind("GET /moved", 0) == 0)
                LoopbackServer::sendAll(fd, httpReply("302 Found", "Location: /playlist.pls\r\n", ""));
            else if (request.rfind("GET /playlist.pls", 0) == 0)
                LoopbackServer::sendAll(fd, httpReply("200 OK", "", "[playlist]\nFile1=http://x/\n"));
            else
                LoopbackServer::sendAll(fd, httpReply("404 Not Found", "", "nope"));
        },
        3);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(platform::fetchText(base + "/moved"), "[playlist]\nFile1=http://x/\n");
    EXPECT_FALSE(platform::fetchText(base + "/missing"));
    EXPECT_FALSE(platform::fetchText("ftp://127.0.0.1/file"));
}

TEST(Url, FetchGivesUpAtItsTimeLimit) {
    LoopbackServer server([](int fd) { LoopbackServer::readAll(fd); }); // never answers
    platform::FetchLimits limits;
    limits.totalTimeout = std::chrono::milliseconds(500);
    EXPECT_FALSE(platform::fetchText("http://127.0.0.1:" + std::to_string(server.port()) + "/", limits));
}

} // namespace
