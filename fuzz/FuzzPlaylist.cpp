// Playlists from a hostile web server.
#include "platform/core/Exception.h"
#include "recorder/engine/StationProtocol.h"

#include <cctype>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        // Every entry is a stream address; none holds a line break.
        for (const auto& entry : recorder::playlistEntries(std::string_view(reinterpret_cast<const char*>(data), size))) {
            std::string scheme = entry.address.substr(0, 8);
            for (char& c : scheme)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if ((scheme.rfind("http://", 0) != 0 && scheme != "https://") ||
                entry.address.find('\n') != std::string::npos || entry.title.find('\n') != std::string::npos)
                __builtin_trap();
        }
    } catch (const platform::Exception&) {
    }
    return 0;
}
