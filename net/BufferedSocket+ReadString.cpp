// String reads of BufferedSocket, through the object's own block reads so that a subclass
// with timed reads times these as well.
#include "net/BufferedSocket.h"

namespace net {
namespace {

std::optional<std::string> text(const std::optional<Bytes>& block) {
    if (!block)
        return std::nullopt;
    return std::string(block->begin(), block->end());
}

} // namespace

std::optional<std::string> BufferedSocket::readString(std::int32_t n) { return text(readData(n)); }

std::optional<std::string> BufferedSocket::readStringUpToString(std::string_view delimiter) {
    return text(readDataUpToString(delimiter));
}

} // namespace net
