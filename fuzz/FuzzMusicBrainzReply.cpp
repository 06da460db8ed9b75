// Disc id replies from a hostile or broken MusicBrainz service.
#include "platform/core/Exception.h"
#include "ripper/freedb/DiscLookup.h"
#include "ripper/freedb/MusicBrainz.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        // Every release has at least an artist and a title; a disc of a set lies within the set.
        for (const auto& release : ripper::parseMusicBrainzReleases(text, "Wn8eRBtZTz5ZrcWOzAXUOMc8mUo-", 3)) {
            if (release.entry.info.size() < 2)
                __builtin_trap();
            if (!release.entry.trackArtists.empty() && release.entry.trackArtists.size() + 2 != release.entry.info.size())
                __builtin_trap();
            if (release.entry.discNumber < 0 || release.entry.discNumber > release.entry.discTotal)
                __builtin_trap();
        }
    } catch (const platform::Exception&) {
    }
    // The match lines of a freedb list, as the chooser shows them.
    if (ripper::releaseFromMatchLine(text).entry.info.size() != 2)
        __builtin_trap();
    return 0;
}
