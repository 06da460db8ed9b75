// Metadata blocks from a hostile station: the title and the file name made from it.
#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "recorder/engine/StationProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = platform::utf8OrLatin1(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const std::string title = recorder::nameFromMetadata(text);
        for (int copy : {1, 2, 10000}) {
            const std::string name = recorder::songFileName(title, copy);
            // Never a path, never longer than a file system allows, never "." or "..".
            if (name.find('/') != std::string::npos || name.size() > 255 || name == "." || name == "..")
                __builtin_trap();
        }
        const std::string folder = recorder::stationFolderName(text);
        if (folder.empty() || folder.find('/') != std::string::npos || folder == "." || folder == ".." ||
            folder.size() > 255)
            __builtin_trap();
    } catch (const platform::Exception&) {
    }
    return 0;
}
