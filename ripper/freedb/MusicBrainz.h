#pragma once

#include "ripper/freedb/AlbumEntry.h"
#include "ripper/freedb/TableOfContents.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ripper {

// A release that holds the disc, as the match chooser shows it.
struct Release {
    AlbumEntry entry; // artist, title and the tracks of the medium that holds the disc
    std::string id;   // MusicBrainz's release id; "" for a freedb match
    std::string date, country, format, label, catalogNumber;
};

struct MusicBrainzSettings {
    std::string baseAddress = "https://musicbrainz.org";
    std::string contact; // for the User-Agent: the user's e-mail address
    std::chrono::milliseconds timeout{30000};
    std::function<bool()> cancelled;
};

// The releases MusicBrainz knows for the disc: by its disc id, and when the id is unknown (404),
// by its table of contents. At most one request a second from this program; a busy service
// (503) is asked again after the time it names (a few seconds at most). Raises
// platform::Exception with the service's own words when nothing can be found, LookupCancelled
// when cancelled.
std::vector<Release> lookUpMusicBrainz(const TableOfContents& toc, const MusicBrainzSettings& settings);

// The releases of a discid reply ("releases": [...]). Of each release the medium whose discs
// hold `discId` is taken, else the first with `trackCount` tracks, else the first. Values of the
// wrong kind read as missing; raises platform::Exception on a reply that is not JSON.
std::vector<Release> parseMusicBrainzReleases(const std::string& json, const std::string& discId, int trackCount);

} // namespace ripper
