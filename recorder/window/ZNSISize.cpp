#include "recorder/window/ZNSISize.h"

#include <cstdio>
#include <cstring>

namespace recorder {
namespace {

constexpr const char* letters = "kMGTPEZYXVU";

} // namespace

std::string ZNSISize::description() const {
    if (value_ == 0)
        return "-";
    char text[128];
    const int precision = displayPrecision_ < 0 ? 0 : displayPrecision_ > 20 ? 20 : displayPrecision_;
    if (!showsSIUnits_) {
        std::snprintf(text, sizeof text, "%.*f%s", precision, value_, globalPostfix());
        return text;
    }
    // Single precision, as the thresholds have always been compared.
    float a = static_cast<float>(value_);
    int i = 0;
    while (a >= thousand() || i == 0) {
        a /= thousand();
        ++i;
    }
    if (i > 0 && i < static_cast<int>(std::strlen(letters)))
        std::snprintf(text, sizeof text, "%.*f%c%s", precision, static_cast<double>(a), letters[i - 1],
                      globalPostfix());
    else // beyond the letters: the reduced number and the postfix alone
        std::snprintf(text, sizeof text, "%.*f%s", precision, static_cast<double>(a), globalPostfix());
    return text;
}

} // namespace recorder
