#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Length of the valid UTF-8 sequence that starts at text[at], or 0 when none starts there
// (overlong forms, surrogates and code points above U+10FFFF are not valid).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

bool isValidUtf8(std::string_view text);

// Text from a peer that may send either encoding: valid UTF-8 stays as it is, anything else is
// read as ISO 8859-1 and converted to UTF-8.
std::string utf8OrLatin1(std::string_view bytes);
// ISO 8859-1 text (one character a byte) as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

} // namespace platform
