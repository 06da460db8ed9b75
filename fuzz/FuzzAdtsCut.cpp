// The cut search over AAC audio (ADTS frames) from a hostile station: any bytes, any title
// position. The cut must lie within the window and at or after the settling bytes.
#include "recorder/engine/AdtsCut.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const auto length = static_cast<std::uint32_t>(size - 2);
    const std::uint32_t from = length ? data[0] % (length + 1) : 0;
    const std::uint32_t titleAt = length ? data[1] % (length + 1) : 0;
    std::uint32_t cut = 0;
    recorder::findAdtsCut(data + 2, length, from, titleAt, &cut);
    if (cut > length)
        __builtin_trap();
    recorder::adtsBytesPerSecond(data + 2, length);
    return 0;
}
