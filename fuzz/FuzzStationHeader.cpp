// Response headers from a hostile station: parse, then take the metadata interval.
#include "platform/core/Exception.h"
#include "platform/core/Text.h"
#include "recorder/engine/StationProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = platform::utf8OrLatin1(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const auto fields = recorder::parseResponseHeader(text);
        const std::int32_t interval = recorder::metadataInterval(fields);
        if (interval < 1 || interval > recorder::maxMetadataInterval)
            __builtin_trap();
    } catch (const platform::Exception&) {
    }
    return 0;
}
