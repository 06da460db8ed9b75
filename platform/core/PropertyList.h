#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

struct PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDict = std::map<std::string, PlistValue>;

// One value of a property list: a string, an integer, a boolean, a real, an array or a dictionary.
struct PlistValue {
    std::variant<std::string, std::int64_t, bool, double, PlistArray, PlistDict> value;

    PlistValue() : value(std::string()) {}
    PlistValue(std::string s) : value(std::move(s)) {}
    PlistValue(const char* s) : value(std::string(s)) {}
    PlistValue(std::int64_t i) : value(i) {}
    PlistValue(int i) : value(std::int64_t{i}) {}
    PlistValue(bool b) : value(b) {}
    PlistValue(double d) : value(d) {}
    PlistValue(PlistArray a) : value(std::move(a)) {}
    PlistValue(PlistDict d) : value(std::move(d)) {}

    const std::string* string() const { return std::get_if<std::string>(&value); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value); }
    const bool* boolean() const { return std::get_if<bool>(&value); }
    const double* real() const { return std::get_if<double>(&value); }
    const PlistArray* array() const { return std::get_if<PlistArray>(&value); }
    const PlistDict* dict() const { return std::get_if<PlistDict>(&value); }

    bool operator==(const PlistValue&) const = default;
};

// Reads a property list file (XML or binary) whose root is a dictionary.
// None when the file is missing, unreadable, not a property list or not a dictionary.
// Values of kinds other than the ones above (dates, data) are left out.
std::optional<PlistDict> readPropertyList(const std::string& path);
// The same for a property list held in memory.
std::optional<PlistDict> parsePropertyList(const std::string& bytes);

// Writes the dictionary as an XML property list, atomically: a temporary file in the same
// folder is written and renamed over the target. Returns false when that fails.
bool writePropertyList(const std::string& path, const PlistDict& dict);

} // namespace platform
