// The cut search over arbitrary windows: frame splitting, re-synchronisation, the decoder and
// the choice of the cut. The first two bytes place the start of the search and the title change;
// the cut must lie between the start and the window's end.
#include "recorder/engine/SilenceCut.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > (1u << 18))
        return 0;
    const std::vector<std::uint8_t> window(data + 2, data + size);
    const auto length = static_cast<std::uint32_t>(window.size());
    const std::uint32_t from = length * data[0] / 512;        // in the first half
    const std::uint32_t titleAt = from + (length - from) * data[1] / 255;
    std::uint32_t cut = 0xFFFFFFFF;
    recorder::findsep_silence(window.data(), length, from, titleAt, &cut);
    if (cut < from || cut > length)
        __builtin_trap();
    return 0;
}
