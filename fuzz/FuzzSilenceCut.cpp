// The cut search over arbitrary audio blocks: the decoder adapter, the re-synchronisation and
// the mapping back to a byte offset.
#include "recorder/engine/SilenceCut.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16))
        return 0;
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::uint32_t cut = 0xFFFFFFFF;
    recorder::findsep_silence(bytes.data(), static_cast<std::int32_t>(size), &cut);
    if (cut > size)
        __builtin_trap();
    return 0;
}
