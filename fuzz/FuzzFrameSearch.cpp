// The frame-header search over arbitrary stream bytes, for every run length the cut uses.
#include "recorder/engine/FrameHeader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past the end is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    for (int run : {2, 3, 5, 6}) {
        std::int32_t position = -1;
        if (recorder::mpeg_find_first_header(bytes.data(), static_cast<std::int32_t>(size), run, &position) == 0 &&
            (position < 0 || static_cast<std::size_t>(position) + 4 > size))
            __builtin_trap();
    }
    return 0;
}
