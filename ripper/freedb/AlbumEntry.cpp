#include "ripper/freedb/AlbumEntry.h"

#include "platform/core/Exception.h"

#include <algorithm>

namespace ripper {
namespace {

const std::string unreadableEntry = "freedb: The database entry for this CD could not be read.";

[[noreturn]] void fail(const std::string& reason) { throw platform::Exception(reason); }

std::string withoutSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '/', '-');
    return text;
}

std::string withoutCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

AlbumInfo parseAlbumInfo(const std::string& text) {
    const std::size_t dtitle = text.find("DTITLE=");
    const std::size_t ttitle = text.find("TTITLE0=");
    const std::size_t extd = text.find("EXTD=");
    if (dtitle == std::string::npos || ttitle == std::string::npos || extd == std::string::npos ||
        ttitle < dtitle + 7 || extd < ttitle)
        fail(unreadableEntry);

    // The disc title, its continuation lines joined without anything between the pieces and its
    // final line break dropped ("\r\n", or a bare "\n" from servers that send those).
    std::string disc = text.substr(dtitle + 7, ttitle - dtitle - 7);
    for (std::size_t more; (more = disc.find("DTITLE=")) != std::string::npos;) {
        std::size_t from = more;
        if (from > 0 && disc[from - 1] == '\n')
            --from;
        if (from > 0 && disc[from - 1] == '\r')
            --from;
        disc.erase(from, more + 7 - from);
    }
    if (!disc.empty() && disc.back() == '\n')
        disc.pop_back();
    if (!disc.empty() && disc.back() == '\r')
        disc.pop_back();
    // "Artist / Album": an artist before the "/" and something after it.
    const std::size_t slash = disc.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= disc.size())
        fail(unreadableEntry);
    AlbumInfo info;
    info.push_back(disc.substr(0, slash - 1));
    info.push_back(disc.substr(std::min(slash + 2, disc.size())));

    // Track titles: one per line from TTITLE0 up to EXTD; a line with the key of the line
    // before continues its title.
    const std::string block = text.substr(ttitle, extd + 3 - ttitle);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t end = block.find('\n', at);
        if (end == std::string::npos) {
            lines.push_back(block.substr(at)); // the "EXT" that ends the block
            break;
        }
        lines.push_back(block.substr(at, end - at + 1));
        at = end + 1;
    }
    std::string previousKey;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || line.back() != '\n') {
            const bool laterTitle = std::any_of(lines.begin() + static_cast<long>(i) + 1, lines.end(),
                                                [](const std::string& l) { return l.find('=') != std::string::npos; });
            if (laterTitle)
                fail(unreadableEntry);
            break;
        }
        const std::string key = line.substr(0, equals);
        std::string title = withoutCarriageReturn(line.substr(equals + 1, line.size() - equals - 2));
        if (key == previousKey && info.size() > 2)
            info.back() += title;
        else
            info.push_back(std::move(title));
        previousKey = key;
    }

    for (auto& element : info)
        element = withoutSlashes(std::move(element));
    return info;
}

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
