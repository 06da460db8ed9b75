#include "platform/core/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Utf8OrLatin1) {
    struct Case {
        const char* bytes;
        const char* text;
    } cases[] = {
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},               // UTF-8 stays
        {"Caf\xE9", "Caf\xC3\xA9"},                   // Latin-1 is converted
        {"\xC3\x28 \xFF", "\xC3\x83( \xC3\xBF"},      // broken UTF-8 is Latin-1
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}, // surrogates are no UTF-8
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},             // nor are overlong forms
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},     // four bytes
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::utf8OrLatin1(c.bytes), c.text) << c.bytes;
}

} // namespace
