#pragma once

#include "recorder/window/ZNSISize.h"

namespace recorder {

// A byte count in steps of 1024 with the unit "B" ("3.3MB").
class ZNByteSize : public ZNSISize {
public:
    explicit ZNByteSize(double bytes) : ZNSISize(bytes) {}
    static ZNByteSize sizeWithValue(double bytes) { return ZNByteSize(bytes); }

    float thousand() const override { return 1024.0f; }
    const char* globalPostfix() const override { return "B"; }
};

} // namespace recorder
