#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace recorder {

// A station's descriptor: string keys to string values ("stationName", "serverURL", ...),
// shared by the station list and the station's Stream. Thread safety: every operation takes
// the descriptor's own lock, so the main thread and a recording worker may use it at once.
class StationDescriptor {
public:
    using Values = std::map<std::string, std::string>;

    StationDescriptor() = default;
    explicit StationDescriptor(Values values) : values_(std::move(values)) {}

    static std::shared_ptr<StationDescriptor> make(Values values = {}) {
        return std::make_shared<StationDescriptor>(std::move(values));
    }

    std::optional<std::string> objectForKey(const std::string& key) const;
    void setObject(const std::string& key, const std::string& value);
    void removeObject(const std::string& key);
    // A consistent copy of every key and value.
    Values values() const;

private:
    mutable std::mutex mutex_;
    Values values_;
};

} // namespace recorder
