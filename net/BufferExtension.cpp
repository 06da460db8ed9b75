// The buffer-search operations of ByteBuffer.
#include "net/ByteBuffer.h"

#include "platform/core/Exception.h"

#include <cstring>

namespace net {

Bytes ByteBuffer::getBytes(std::int32_t n) {
    const auto available = static_cast<std::int64_t>(length());
    if (n < 0 || n > available)
        throw platform::Exception("not enough data", "trying to get " + std::to_string(n) + " bytes, only " +
                                                         std::to_string(available) + " bytes in data object");
    Bytes block(data(), data() + n);
    start_ += static_cast<std::size_t>(n);
    if (start_ == end_)
        start_ = end_ = 0;
    return block;
}

Bytes ByteBuffer::getBytesUpToData(const Bytes& delimiter) {
    const std::int32_t index = indexOfData(delimiter);
    if (index == -1)
        throw platform::Exception("pattern not found", "NSMutableData object dos not contain the requested pattern");
    return getBytes(index + static_cast<std::int32_t>(delimiter.size()));
}

Bytes ByteBuffer::getBytesUpToString(std::string_view delimiter) {
    return getBytesUpToData(Bytes(delimiter.begin(), delimiter.end()));
}

std::int32_t ByteBuffer::indexOfData(const Bytes& delimiter) const {
    const auto found = findPattern(delimiter.data(), static_cast<std::int32_t>(delimiter.size()), data(),
                                   static_cast<std::int32_t>(length()));
    return found ? static_cast<std::int32_t>(*found) : -1;
}

std::int32_t ByteBuffer::indexOfString(std::string_view text) const {
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    return indexOfData(Bytes(text.begin(), text.end()));
}

std::optional<std::size_t> findPattern(const std::uint8_t* pattern, std::int32_t patternLength,
                                       const std::uint8_t* buffer, std::int32_t bufferLength) {
    if (patternLength <= 0)
        return std::size_t{0};
    if (bufferLength < patternLength)
        return std::nullopt;
    const std::uint8_t* at = buffer;
    const std::uint8_t* const end = buffer + bufferLength;
    while (true) {
        at = static_cast<const std::uint8_t*>(std::memchr(at, pattern[0], static_cast<std::size_t>(end - at)));
        if (!at || end - at < patternLength)
            return std::nullopt;
        if (std::memcmp(at, pattern, static_cast<std::size_t>(patternLength)) == 0)
            return static_cast<std::size_t>(at - buffer);
        ++at;
    }
}

} // namespace net
