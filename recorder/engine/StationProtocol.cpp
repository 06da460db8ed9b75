#include "recorder/engine/StationProtocol.h"

#include "platform/core/Exception.h"
#include "platform/core/Files.h"
#include "platform/core/Text.h"

#include <vector>

namespace recorder {
namespace {

constexpr std::size_t maxNameBytes = 255;

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception("Stream", reason); }

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    std::size_t at = 0;
    for (;;) {
        const std::size_t next = text.find(separator, at);
        if (next == std::string_view::npos) {
            pieces.push_back(text.substr(at));
            return pieces;
        }
        pieces.push_back(text.substr(at, next - at));
        at = next + separator.size();
    }
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

} // namespace

std::string trimWhitespace(std::string_view text) {
    std::string result;
    for (std::string_view piece : split(text, " ")) {
        if (piece.empty())
            continue;
        if (!result.empty())
            result += ' ';
        result.append(piece);
    }
    return result;
}

namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

bool isStreamAddress(std::string_view text) {
    const std::string head = lowered(text.substr(0, 8));
    return startsWith(head, "http://") || startsWith(head, "https://");
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::vector<PlaylistEntry> playlistEntries(std::string_view text) {
    if (startsWith(text, "\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    for (std::string_view line : split(text, "\n"))
        lines.push_back(trimmed(line));
    for (std::string_view line : lines)
        if (startsWith(line, "#EXT-X-"))
            fail("HLS streams are not supported");

    std::vector<PlaylistEntry> entries;
    std::size_t first = 0;
    while (first < lines.size() && lines[first].empty())
        ++first;
    if (first < lines.size() && lowered(lines[first]) == "[playlist]") {
        // FileN and TitleN, in the order of their numbers.
        std::map<long, PlaylistEntry> numbered;
        for (std::string_view line : lines) {
            const std::size_t equals = line.find('=');
            if (equals == std::string_view::npos)
                continue;
            const std::string key = lowered(trimmed(line.substr(0, equals)));
            const std::string_view value = trimmed(line.substr(equals + 1));
            const bool file = startsWith(key, "file"), title = startsWith(key, "title");
            if (!file && !title)
                continue;
            const std::string digits = key.substr(file ? 4 : 5);
            if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
                continue;
            PlaylistEntry& entry = numbered[std::stol(digits)];
            (file ? entry.address : entry.title) = std::string(value);
        }
        for (auto& [number, entry] : numbered)
            if (isStreamAddress(entry.address))
                entries.push_back(std::move(entry));
    } else {
        std::string title;
        for (std::string_view line : lines) {
            if (startsWith(line, "#EXTINF:")) {
                const std::size_t comma = line.find(',');
                title = comma == std::string_view::npos ? std::string() : std::string(trimmed(line.substr(comma + 1)));
            } else if (!line.empty() && line.front() != '#') {
                if (isStreamAddress(line))
                    entries.push_back({std::string(line), title});
                title.clear();
            }
        }
    }
    if (entries.empty())
        fail("Bad playlist URL");
    return entries;
}

int responseStatus(std::string_view header) {
    const std::string_view line = header.substr(0, header.find("\r\n"));
    std::string_view code;
    if (startsWith(line, "ICY "))
        code = line.substr(4);
    else if (startsWith(line, "HTTP/1.0 ") || startsWith(line, "HTTP/1.1 "))
        code = line.substr(9);
    if (code.size() < 3 || code.substr(0, 3).find_first_not_of("0123456789") != std::string_view::npos ||
        (code.size() > 3 && code[3] != ' '))
        return 0;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

std::optional<std::string> headerField(const HeaderFields& fields, std::string_view name) {
    const std::string wanted = lowered(name);
    for (const auto& [key, value] : fields)
        if (lowered(key) == wanted)
            return value;
    return std::nullopt;
}

AudioKind audioKindOf(std::string_view contentType) {
    const std::string type = lowered(trimmed(contentType.substr(0, contentType.find(';'))));
    if (type.empty() || type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3" || type == "audio/x-mpeg")
        return AudioKind::Mp3;
    if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac")
        return AudioKind::Aac;
    return AudioKind::Other;
}

HeaderFields parseResponseHeader(std::string_view text) {
    const auto lines = split(text, "\r\n");
    const std::string_view status = lines.front();
    bool ok = status == "ICY 200 OK";
    // Today's servers answer ICY requests with an HTTP status line.
    if (!ok && (startsWith(status, "HTTP/1.0 200") || startsWith(status, "HTTP/1.1 200")))
        ok = status.size() == 12 || status[12] == ' ';
    if (!ok)
        fail(std::string(status));
    return parseHeaderFields(text);
}

HeaderFields parseHeaderFields(std::string_view text) {
    const auto lines = split(text, "\r\n");
    HeaderFields fields;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos)
            continue;
        fields.insert_or_assign(std::string(lines[i].substr(0, colon)), trimWhitespace(lines[i].substr(colon + 1)));
    }
    return fields;
}

std::int32_t metadataInterval(const HeaderFields& fields) {
    const auto found = fields.find("icy-metaint");
    if (found == fields.end())
        fail("Station does not send song titles");
    std::int64_t value = 0;
    for (char c : found->second) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > maxMetadataInterval)
            break;
    }
    if (value < 1 || value > maxMetadataInterval)
        fail("Station sends an invalid metadata interval");
    return static_cast<std::int32_t>(value);
}

std::string nameFromMetadata(std::string_view text) {
    static constexpr std::string_view key = "StreamTitle='";
    const std::size_t end = text.find("';");
    const std::string_view head = text.substr(0, end);
    if (!startsWith(head, key))
        fail("Station sends song titles in an unknown form");
    std::string_view title = head.substr(key.size());
    title = title.substr(0, title.find(key));
    return trimWhitespace(title);
}

std::string songFileName(std::string_view title, int copy, std::string_view extension) {
    std::string_view base = title;
    if (base.size() >= extension.size() && base.substr(base.size() - extension.size()) == extension)
        base.remove_suffix(extension.size());
    const std::string suffix = copy > 1 ? " (" + std::to_string(copy) + ")" : "";
    // An empty base is allowed here: ".mp3" is a name that stays in its folder.
    const std::string name =
        base.empty() ? std::string() : platform::safeFileName(base, maxNameBytes - extension.size() - suffix.size());
    return name + suffix + std::string(extension);
}

std::string stationFolderName(std::string_view stationName) {
    return platform::safeFileName(stationName, maxNameBytes);
}

} // namespace recorder
