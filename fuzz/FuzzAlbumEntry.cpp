// Entry replies and lists of matches from a hostile freedb server.
#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "ripper/freedb/AlbumEntry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = platform::utf8OrLatin1(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        // Artist, album and at least one title, at most a CD's 99; no value spans a line.
        const auto info = ripper::parseAlbumInfo(text);
        if (info.size() < 3 || info.size() > 2 + 99)
            __builtin_trap();
        for (const auto& element : info)
            if (element.find('\n') != std::string::npos)
                __builtin_trap();
    } catch (const platform::Exception&) {
    }
    try {
        for (const auto& line : ripper::albumMatchLines(text))
            if (line.find('\n') != std::string::npos)
                __builtin_trap();
    } catch (const platform::Exception&) {
    }
    return 0;
}
