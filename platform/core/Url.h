#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The parts of a URL that the programs use.
struct Url {
    std::string scheme;
    std::string host;
    std::optional<std::uint16_t> port; // none when the URL gives no port (not even 80)
    std::string path;                  // percent escapes decoded; no query, no fragment
    std::string target;                // what a request asks for: the path and query as written

    // Parses an absolute URL with a scheme. None when it cannot be parsed.
    static std::optional<Url> parse(const std::string& text);
};

// Whether an address can be sent as it is written: no blank and no control character, which a
// request line would carry into the request (a raw space, or a CR LF that starts a header line).
bool isSendableAddress(const std::string& text);

// `location` (absolute, or relative as a redirect may give it) read against `base`; none when
// the two make no http or https address.
std::optional<std::string> resolveAddress(const std::string& base, const std::string& location);

struct FetchLimits {
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{30000};
    std::size_t maxBytes = 16u << 20; // a larger body counts as a failed fetch
};

struct HttpRequest {
    std::string url;
    std::string userAgent; // none sent when empty
    FetchLimits limits;
    std::function<bool()> cancelled; // asked now and then while the fetch runs; true ends it
};

struct HttpResponse {
    bool answered = false; // an HTTP reply came (of any status)
    bool cancelled = false;
    long status = 0;
    std::string body;
    std::string error;                 // why nothing came: curl's words ("Couldn't connect to server")
    std::optional<long> retryAfter;    // a Retry-After header given in seconds
};

// A blocking HTTP(S) GET with redirects followed, whatever the status. Never raises.
HttpResponse fetch(const HttpRequest& request);

// A blocking HTTP(S) GET with redirects followed. The body, or none when the fetch fails,
// the server answers with an error status, a limit is reached or the URL is not http(s).
std::optional<std::vector<std::uint8_t>> fetchBytes(const std::string& url, const FetchLimits& limits = {});
std::optional<std::string> fetchText(const std::string& url, const FetchLimits& limits = {});

} // namespace platform
