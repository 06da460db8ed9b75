#include "recorder/window/ZNByteSize.h"
#include "recorder/window/ZNSISize.h"

#include <gtest/gtest.h>

using namespace recorder;

namespace {

TEST(Sizes, TheExampleTable) {
    struct Case {
        double value;
        const char* bytes;
        const char* si;
    } cases[] = {
        {0, "-", "-"},
        {1, "0.0kB", "0.0k"},
        {500, "0.5kB", "0.5k"},
        {1000, "1.0kB", "1.0k"},
        {1500, "1.5kB", "1.5k"},
        {1048575, "1024.0kB", "1.0M"},
        {1048576, "1.0MB", "1.0M"},
        {3500000, "3.3MB", "3.5M"},
        {4294967295.0, "4.0GB", "4.3G"},
        {-500, "-0.5kB", "-0.5k"},
        {-5000000, "-4882.8kB", "-5000.0k"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZNByteSize::sizeWithValue(c.value).description(), c.bytes) << c.value;
        EXPECT_EQ(ZNSISize::sizeWithValue(c.value).description(), c.si) << c.value;
    }
}

TEST(Sizes, PrecisionAndUnits) {
    auto size = ZNByteSize::sizeWithValue(3500000);
    size.setDisplayPrecision(0);
    EXPECT_EQ(size.description(), "3MB");
    size.setDisplayPrecision(2);
    EXPECT_EQ(size.stringValue(), "3.34MB");
    size.setShowsSIUnits(false);
    size.setDisplayPrecision(1);
    EXPECT_EQ(size.description(), "3500000.0B");
    auto zero = ZNSISize::sizeWithValue(0);
    zero.setShowsSIUnits(false);
    EXPECT_EQ(zero.description(), "-");
    // Past the last letter: the reduced number and the postfix alone.
    EXPECT_EQ(ZNSISize::sizeWithValue(1e34).description(), "10.0");
}

} // namespace
