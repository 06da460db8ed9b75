#pragma once

#include <string>

namespace recorder {

// A quantity as a short text with a magnitude letter in steps of 1000 ("3.5M"). The first
// division always happens, so a value below a thousand reads as a fraction of "k"; 0 reads "-".
class ZNSISize {
public:
    explicit ZNSISize(double value) : value_(value) {}
    virtual ~ZNSISize() = default;

    static ZNSISize sizeWithValue(double value) { return ZNSISize(value); }

    void setDisplayPrecision(int digits) { displayPrecision_ = digits; }
    void setShowsSIUnits(bool shows) { showsSIUnits_ = shows; }
    float floatValue() const { return static_cast<float>(value_); }
    std::string stringValue() const { return description(); }
    std::string description() const;

    virtual float thousand() const { return 1000.0f; }
    virtual const char* globalPostfix() const { return ""; }

private:
    double value_;
    int displayPrecision_ = 1;
    bool showsSIUnits_ = true;
};

} // namespace recorder
