#include "ripper/freedb/AlbumEntry.h"

#include "platform/core/Exception.h"

#include <algorithm>
#include <cctype>

namespace ripper {
namespace {

const std::string unreadableEntry = "freedb: The database entry for this CD could not be read.";

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception(reason); }

std::string withoutCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// A CD holds at most 99 tracks.
constexpr std::size_t maxTracks = 99;

} // namespace

AlbumEntry parseAlbumEntry(const std::string& text) {
    std::string disc, year, genre;
    bool haveDisc = false;
    std::vector<std::string> titles;
    std::size_t lineStart = 0;
    // The first line is the reply's status line ("210 rock 13031e03 ..."), not part of the entry.
    if (const std::size_t first = text.find('\n'); first != std::string::npos && !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])))
        lineStart = first + 1;
    for (std::size_t at = lineStart; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = withoutCarriageReturn(text.substr(at, end - at));
        at = end + 1;
        if (line == ".")
            break;
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "DTITLE") {
            disc += value;
            haveDisc = true;
        } else if (key == "DYEAR") {
            year += value;
        } else if (key == "DGENRE") {
            genre += value;
        } else if (key.rfind("TTITLE", 0) == 0 && key.size() > 6 && key.size() <= 8 &&
                   std::all_of(key.begin() + 6, key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            const auto number = static_cast<std::size_t>(std::stoul(key.substr(6)));
            if (number >= maxTracks)
                continue;
            if (titles.size() <= number)
                titles.resize(number + 1);
            titles[number] += value;
        }
    }
    if (!haveDisc || titles.empty())
        fail(unreadableEntry);

    AlbumEntry entry;
    // "Artist / Album", split at the first blank-slash-blank; a "/" within a name ("AC/DC")
    // stays. Without a separator the title is both.
    const std::size_t separator = disc.find(" / ");
    if (separator == std::string::npos) {
        entry.info = {disc, disc};
    } else {
        entry.info = {disc.substr(0, separator), disc.substr(separator + 3)};
    }
    entry.info.insert(entry.info.end(), titles.begin(), titles.end());
    entry.year = year;
    entry.genre = genre;
    return entry;
}

AlbumInfo parseAlbumInfo(const std::string& text) { return parseAlbumEntry(text).info; }

std::vector<std::string> albumMatchLines(const std::string& reply) {
    std::vector<std::string> matches;
    std::size_t at = reply.find('\n');
    while (at != std::string::npos) {
        if (at + 1 < reply.size() && reply[at + 1] == '.')
            return matches;
        const std::size_t end = reply.find('\n', at + 1);
        if (end == std::string::npos)
            break;
        matches.push_back(withoutCarriageReturn(reply.substr(at + 1, end - at - 1)));
        at = end;
    }
    fail("freedb: The list of matching albums ended early.");
}

} // namespace ripper
