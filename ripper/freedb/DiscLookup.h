#pragma once

#include "ripper/freedb/MusicBrainz.h"
#include "ripper/freedb/TableOfContents.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ripper {

// Which services are asked, in order. Stored under the names below.
enum class LookupOrder { MusicBrainzThenFreedb, FreedbOnly, MusicBrainzOnly };
LookupOrder lookupOrderNamed(const std::string& name); // anything unknown: MusicBrainz then freedb
std::string lookupOrderName(LookupOrder order);        // "MusicBrainz+freedb", "freedb", "MusicBrainz"

struct DiscLookupSettings {
    LookupOrder order = LookupOrder::MusicBrainzThenFreedb;
    std::string freedbServer; // "host", "host:port" or the http(s) address of a CDDB script
    std::string emailAddress;
    std::string musicBrainzServer = "https://musicbrainz.org";
    std::chrono::milliseconds timeout{30000};
};

struct DiscLookupOutcome {
    std::vector<Release> releases; // what was found: several mean the user chooses
    std::string source;            // the service that found them: "MusicBrainz" or "freedb"
    bool cancelled = false;
    // Nothing found: the alert to show, with each service's own words ("" when nothing failed
    // that the user should hear of).
    std::string failureTitle, failureText;
};

// Looks the disc up in the services of the settings' order until one finds it. Blocks its
// thread (run it on a worker). `chooseFreedbMatch` is asked, on that thread, to pick among the
// matches freedb offers (the 0-based index; anything else: none); `cancelled` is asked while it
// waits, and true ends the lookup within a moment.
DiscLookupOutcome lookUpDisc(const TableOfContents& toc, const DiscLookupSettings& settings,
                             const std::function<int(const std::vector<Release>&)>& chooseFreedbMatch,
                             const std::function<bool()>& cancelled);

// A line of a freedb list of matches ("rock 13031e03 Artist / Album") as the chooser shows it.
Release releaseFromMatchLine(const std::string& line);

} // namespace ripper
