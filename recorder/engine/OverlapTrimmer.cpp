#include "recorder/engine/OverlapTrimmer.h"

#include <algorithm>
#include <string_view>

namespace recorder {

void OverlapTrimmer::reconnected() {
    checking_ = ringFull_ || ringEnd_ > 0;
    pending_.clear();
}

std::string_view OverlapTrimmer::pass(const std::uint8_t* bytes, std::size_t length) {
    const std::string_view in(reinterpret_cast<const char*>(bytes), length);
    if (!checking_) {
        remember(in);
        return in;
    }
    pending_.append(in);
    return decide(false);
}

std::string_view OverlapTrimmer::flush() {
    if (!checking_)
        return {};
    return decide(true);
}

// Looks for the pending bytes' start in the tail. A place where they match the tail to its end
// (as far as the pending bytes reach) is the repeat; the earliest such place wins, so the whole
// repeat goes. Undecided while too few bytes have come to tell, unless `final`.
std::string_view OverlapTrimmer::decide(bool final) {
    const std::string whole = tail();
    const std::string_view tail(whole), pending(pending_);
    const std::size_t probe = std::min(probeBytes, pending.size());
    if (probe < probeBytes && !final)
        return {};
    std::size_t drop = 0;
    bool undecided = false;
    if (probe > 0) {
        for (std::size_t at = tail.find(pending.substr(0, probe)); at != std::string_view::npos;
             at = tail.find(pending.substr(0, probe), at + 1)) {
            const std::size_t overlap = tail.size() - at;
            const std::size_t compared = std::min(overlap, pending.size());
            if (tail.substr(at, compared) != pending.substr(0, compared))
                continue;
            if (compared < overlap && !final) {
                undecided = true; // matches so far; the rest has not come yet
                break;
            }
            drop = compared;
            break;
        }
    }
    if (undecided)
        return {};
    checking_ = false;
    released_ = pending_.substr(drop);
    pending_.clear();
    remember(released_);
    return released_;
}

// A ring, so that remembering costs one copy of each byte; the tail is laid out straight only
// when a reconnect needs it.
void OverlapTrimmer::remember(std::string_view bytes) {
    if (ring_.empty())
        ring_.resize(tailBytes);
    if (bytes.size() >= tailBytes) {
        bytes.remove_prefix(bytes.size() - tailBytes);
        ring_.assign(bytes);
        ringEnd_ = 0;
        ringFull_ = true;
        return;
    }
    const std::size_t first = std::min(bytes.size(), tailBytes - ringEnd_);
    ring_.replace(ringEnd_, first, bytes.substr(0, first));
    ring_.replace(0, bytes.size() - first, bytes.substr(first));
    ringFull_ = ringFull_ || ringEnd_ + bytes.size() >= tailBytes;
    ringEnd_ = (ringEnd_ + bytes.size()) % tailBytes;
}

std::string OverlapTrimmer::tail() const {
    if (!ringFull_)
        return ring_.substr(0, ringEnd_);
    return ring_.substr(ringEnd_) + ring_.substr(0, ringEnd_);
}

} // namespace recorder
