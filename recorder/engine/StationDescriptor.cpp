#include "recorder/engine/StationDescriptor.h"

namespace recorder {

std::optional<std::string> StationDescriptor::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

void StationDescriptor::setObject(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void StationDescriptor::removeObject(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

StationDescriptor::Values StationDescriptor::values() const {
    std::lock_guard lock(mutex_);
    return values_;
}

} // namespace recorder
