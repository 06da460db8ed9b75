#include "ripper/freedb/TableOfContents.h"

#include "platform/core/PropertyList.h"

#include <discid/discid.h>

#include <climits>
#include <memory>

namespace ripper {
namespace {

std::int64_t integerFor(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    if (found == dict.end())
        return 0;
    if (const auto* i = found->second.integer())
        return *i;
    return 0;
}

const platform::PlistArray* arrayFor(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    return found == dict.end() ? nullptr : found->second.array();
}

} // namespace

std::optional<TableOfContents> readTableOfContents(const std::string& volumePath) {
    const auto root = platform::readPropertyList(volumePath + "/.TOC.plist");
    if (!root)
        return std::nullopt;
    TableOfContents toc;
    const auto* sessions = arrayFor(*root, "Sessions");
    if (!sessions)
        return toc;
    toc.numSessions = static_cast<std::int32_t>(sessions->size());
    for (const auto& sessionValue : *sessions) {
        const auto* session = sessionValue.dict();
        if (!session)
            continue;
        toc.totalTime =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(integerFor(*session, "Leadout Block")) / 75);
        if (const auto* tracks = arrayFor(*session, "Track Array")) {
            for (const auto& track : *tracks)
                toc.trackOffsets.push_back(track.dict() ? integerFor(*track.dict(), "Start Block") : 0);
            toc.numTracks += static_cast<std::int32_t>(tracks->size());
        }
        if (toc.numSessions > 0 && &sessionValue == &sessions->front()) {
            toc.firstSessionTracks = toc.numTracks;
            toc.firstSessionLeadout = integerFor(*session, "Leadout Block");
        }
    }
    return toc;
}

std::int32_t cddb_sum(std::int32_t n) {
    std::int32_t sum = 0;
    while (n > 0) {
        sum += n % 10;
        n /= 10;
    }
    return sum;
}

std::uint32_t discIdentifier(const TableOfContents& toc) {
    std::uint32_t total = 0;
    for (const std::int64_t offset : toc.trackOffsets)
        total += static_cast<std::uint32_t>(cddb_sum(static_cast<std::int32_t>(offset / 75)));
    const std::uint32_t checksum = total % 255;
    // The playing time: the lead-out less the first track's start, in seconds (a disc may hold
    // audio before track 1, which then starts later than 2 s).
    const std::int64_t first = toc.trackOffsets.empty() ? 150 : toc.trackOffsets.front();
    const std::uint32_t length = static_cast<std::uint32_t>(toc.totalTime - first / 75);
    return (checksum << 24) | (length << 8) | static_cast<std::uint32_t>(toc.numTracks);
}

namespace {

struct DiscFree {
    void operator()(DiscId* disc) const { discid_free(disc); }
};

bool describesADisc(const TableOfContents& toc) {
    const std::int32_t n = toc.firstSessionTracks;
    if (n < 1 || n > 99 || static_cast<std::size_t>(n) > toc.trackOffsets.size())
        return false;
    std::int64_t previous = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int64_t offset = toc.trackOffsets[static_cast<std::size_t>(i)];
        if (offset < previous || offset >= toc.firstSessionLeadout)
            return false;
        previous = offset;
    }
    return toc.firstSessionLeadout <= INT32_MAX;
}

} // namespace

std::string musicBrainzDiscId(const TableOfContents& toc) {
    if (!describesADisc(toc))
        return {};
    int offsets[100] = {};
    offsets[0] = static_cast<int>(toc.firstSessionLeadout);
    for (std::int32_t i = 0; i < toc.firstSessionTracks; ++i)
        offsets[i + 1] = static_cast<int>(toc.trackOffsets[static_cast<std::size_t>(i)]);
    std::unique_ptr<DiscId, DiscFree> disc(discid_new());
    if (!disc || !discid_put(disc.get(), 1, toc.firstSessionTracks, offsets))
        return {};
    return discid_get_id(disc.get());
}

std::string musicBrainzToc(const TableOfContents& toc) {
    if (!describesADisc(toc))
        return {};
    std::string text = "1+" + std::to_string(toc.firstSessionTracks) + "+" + std::to_string(toc.firstSessionLeadout);
    for (std::int32_t i = 0; i < toc.firstSessionTracks; ++i)
        text += "+" + std::to_string(toc.trackOffsets[static_cast<std::size_t>(i)]);
    return text;
}

} // namespace ripper
