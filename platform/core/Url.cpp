#include "platform/core/Url.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace platform {
namespace {

struct UrlFree {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct EasyFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, flags) != CURLUE_OK || !value)
        return std::nullopt;
    std::string result(value);
    curl_free(value);
    return result;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
    std::vector<std::uint8_t> body;
    std::size_t maxBytes;
};

size_t write(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    if (sink->body.size() + n > sink->maxBytes)
        return 0; // ends the transfer with an error
    sink->body.insert(sink->body.end(), data, data + n);
    return n;
}

} // namespace

std::optional<Url> Url::parse(const std::string& text) {
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url || text.empty())
        return std::nullopt;
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    Url result;
    result.scheme = part(url.get(), CURLUPART_SCHEME).value_or("");
    result.host = part(url.get(), CURLUPART_HOST).value_or("");
    if (auto port = part(url.get(), CURLUPART_PORT)) {
        try {
            const unsigned long value = std::stoul(*port);
            if (value > 65535)
                return std::nullopt;
            result.port = static_cast<std::uint16_t>(value);
        } catch (...) {
            return std::nullopt;
        }
    }
    result.path = part(url.get(), CURLUPART_PATH, CURLU_URLDECODE).value_or("");
    return result;
}

std::optional<std::vector<std::uint8_t>> fetchBytes(const std::string& url, const FetchLimits& limits) {
    auto parsed = Url::parse(url);
    if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https"))
        return std::nullopt;
    globalInit();
    std::unique_ptr<CURL, EasyFree> curl(curl_easy_init());
    if (!curl)
        return std::nullopt;
    Sink sink{{}, limits.maxBytes};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // safe on worker threads
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    if (curl_easy_perform(c) != CURLE_OK)
        return std::nullopt;
    return std::move(sink.body);
}

std::optional<std::string> fetchText(const std::string& url, const FetchLimits& limits) {
    auto bytes = fetchBytes(url, limits);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

} // namespace platform
