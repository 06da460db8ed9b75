#pragma once

#include <string>

namespace testsupport {

// A station's metadata block for a text: the length byte (in units of 16 bytes) and the text
// padded with zero bytes.
inline std::string metadataFor(const std::string& text) {
    const std::size_t blocks = (text.size() + 15) / 16;
    std::string block(1, static_cast<char>(blocks));
    block += text;
    block.resize(1 + blocks * 16, '\0');
    return block;
}

// The metadata block of a title, as stations send it.
inline std::string titleBlock(const std::string& title) {
    return metadataFor("StreamTitle='" + title + "';StreamUrl='http://example.org/';");
}

} // namespace testsupport
