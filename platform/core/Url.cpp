#include "platform/core/Url.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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
    result.target = part(url.get(), CURLUPART_PATH).value_or("/");
    if (auto query = part(url.get(), CURLUPART_QUERY))
        result.target += "?" + *query;
    return result;
}

bool isSendableAddress(const std::string& text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
}

std::optional<std::string> resolveAddress(const std::string& base, const std::string& location) {
    if (!isSendableAddress(location))
        return std::nullopt;
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    const auto scheme = part(url.get(), CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https"))
        return std::nullopt;
    return part(url.get(), CURLUPART_URL);
}

namespace {

struct Transfer {
    std::string body;
    std::size_t maxBytes;
    std::optional<long> retryAfter;
    const std::function<bool()>* cancelled;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (transfer->body.size() + n > transfer->maxBytes)
        return 0; // ends the transfer with an error
    transfer->body.append(data, n);
    return n;
}

size_t header(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::string line(data, size * count);
    static const std::string name = "retry-after:";
    if (line.size() > name.size()) {
        std::string head = line.substr(0, name.size());
        for (char& c : head)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (head == name) {
            char* end = nullptr;
            const long seconds = std::strtol(line.c_str() + name.size(), &end, 10);
            if (end != line.c_str() + name.size() && seconds >= 0)
                transfer->retryAfter = seconds;
        }
    }
    return size * count;
}

// The extra CA file a test may name is trusted beside the system's store.
CURLcode addExtraAuthority(CURL*, void* context, void*) {
    if (const char* extra = std::getenv("AIRCASK_EXTRA_CA_FILE"); extra && *extra)
        SSL_CTX_load_verify_locations(static_cast<SSL_CTX*>(context), extra, nullptr);
    return CURLE_OK;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<Transfer*>(user);
    return *transfer->cancelled && (*transfer->cancelled)() ? 1 : 0;
}

} // namespace

HttpResponse fetch(const HttpRequest& request) {
    HttpResponse response;
    auto parsed = Url::parse(request.url);
    if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) {
        response.error = "Not an http or https address: " + request.url;
        return response;
    }
    globalInit();
    std::unique_ptr<CURL, EasyFree> curl(curl_easy_init());
    if (!curl) {
        response.error = "The HTTP library could not start.";
        return response;
    }
    Transfer transfer{{}, request.limits.maxBytes, std::nullopt, &request.cancelled};
    char problem[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &addExtraAuthority);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.limits.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.limits.totalTimeout.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // safe on worker threads
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, problem);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &header);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    if (request.cancelled) {
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    }
    if (!request.userAgent.empty())
        curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.c_str());
    const CURLcode result = curl_easy_perform(c);
    if (result == CURLE_ABORTED_BY_CALLBACK) {
        response.cancelled = true;
        return response;
    }
    if (result != CURLE_OK) {
        response.error = problem[0] ? problem : curl_easy_strerror(result);
        return response;
    }
    response.answered = true;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(transfer.body);
    response.retryAfter = transfer.retryAfter;
    return response;
}

std::optional<std::vector<std::uint8_t>> fetchBytes(const std::string& url, const FetchLimits& limits) {
    HttpRequest request;
    request.url = url;
    request.limits = limits;
    auto response = fetch(request);
    if (!response.answered || response.status < 200 || response.status >= 300)
        return std::nullopt;
    return std::vector<std::uint8_t>(response.body.begin(), response.body.end());
}

std::optional<std::string> fetchText(const std::string& url, const FetchLimits& limits) {
    auto bytes = fetchBytes(url, limits);
    if (!bytes)
        return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

} // namespace platform
