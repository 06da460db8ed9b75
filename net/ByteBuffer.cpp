#include "net/ByteBuffer.h"

#include <algorithm>
#include <cstring>

namespace net {

void ByteBuffer::append(const void* bytes, std::size_t count) {
    if (count == 0)
        return;
    std::memcpy(prepareTail(count), bytes, count);
    commitTail(count);
}

std::uint8_t* ByteBuffer::prepareTail(std::size_t count) {
    compactIfWorthIt();
    if (capacity_ - end_ < count) {
        const std::size_t live = length();
        const std::size_t capacity = std::max({capacity_ * 2, live + count, std::size_t{4096}});
        auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
        if (live)
            std::memcpy(grown.get(), data(), live);
        storage_ = std::move(grown);
        capacity_ = capacity;
        start_ = 0;
        end_ = live;
    }
    return storage_.get() + end_;
}

void ByteBuffer::compactIfWorthIt() {
    if (start_ == 0)
        return;
    const std::size_t live = length();
    if (live == 0) {
        start_ = end_ = 0;
    } else if (start_ >= live) {
        // The live bytes are no more than the dead front: moving them costs less than
        // the removals that made the front dead.
        std::memmove(storage_.get(), storage_.get() + start_, live);
        start_ = 0;
        end_ = live;
    }
}

} // namespace net
