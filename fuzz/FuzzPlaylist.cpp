// Playlists from a hostile web server.
#include "platform/core/Exception.h"
#include "recorder/engine/StationProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto url = recorder::serverURLFromPlaylist(std::string_view(reinterpret_cast<const char*>(data), size));
        if (url && url->rfind("http", 0) != 0)
            __builtin_trap();
    } catch (const platform::Exception&) {
    }
    return 0;
}
