#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

using Bytes = std::vector<std::uint8_t>;

// A growable byte buffer whose front can be removed cheaply: removed bytes only move a read
// offset, and the storage is compacted once the dead front outweighs the live bytes, so a
// long run of small front removals costs amortised O(bytes removed).
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::string_view bytes) { append(bytes.data(), bytes.size()); }

    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    const std::uint8_t* data() const { return storage_.get() + start_; }
    std::size_t length() const { return end_ - start_; }
    bool empty() const { return length() == 0; }

    void append(const void* bytes, std::size_t count);
    void append(const Bytes& bytes) { append(bytes.data(), bytes.size()); }
    void clear() { start_ = end_ = 0; }

    // Room for `count` more bytes at the end, to be filled in place (a receive straight into
    // the buffer) and then made part of it with commitTail.
    std::uint8_t* prepareTail(std::size_t count);
    void commitTail(std::size_t count) { end_ += count; }

    // The buffer-search operations (BufferExtension.cpp).

    // Removes the first n bytes and returns them as a new block. Raises "not enough data"
    // when n exceeds the length (or is negative); the buffer is then unchanged.
    Bytes getBytes(std::int32_t n);
    // Removes everything up to and including the first occurrence of the delimiter.
    // Raises "pattern not found" when there is none.
    Bytes getBytesUpToData(const Bytes& delimiter);
    Bytes getBytesUpToString(std::string_view delimiter);
    // Offset of the first occurrence, or -1.
    std::int32_t indexOfData(const Bytes& delimiter) const;
    // The string's bytes up to its first zero byte, then indexOfData.
    std::int32_t indexOfString(std::string_view text) const;
    bool containsData(const Bytes& delimiter) const { return indexOfData(delimiter) != -1; }
    bool containsString(std::string_view text) const { return indexOfString(text) != -1; }

private:
    void compactIfWorthIt();

    // Live bytes are storage_[start_, end_); capacity_ bytes are allocated. Not a vector, so
    // that growing for a receive does not zero-fill what the receive overwrites.
    std::unique_ptr<std::uint8_t[]> storage_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

// The first position at which the whole pattern lies inside the buffer, or none.
// An empty pattern is found at position 0.
std::optional<std::size_t> findPattern(const std::uint8_t* pattern, std::int32_t patternLength,
                                       const std::uint8_t* buffer, std::int32_t bufferLength);

} // namespace net
