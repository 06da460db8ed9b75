#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ripper {

// What the CDDB protocol needs of a disc, read from the ".TOC.plist" of a CD folder. Block
// numbers are CD frames (75 a second), exactly as the file gives them.
struct TableOfContents {
    std::int32_t numTracks = 0; // all sessions together
    std::int32_t numSessions = 0;
    std::int32_t totalTime = 0;             // the last session's lead-out block / 75
    std::vector<std::int64_t> trackOffsets; // every track's "Start Block", session by session
    // The first session: its tracks are the disc's audio (a later session holds data), and its
    // lead-out ends them. MusicBrainz describes a disc by these.
    std::int32_t firstSessionTracks = 0;
    std::int64_t firstSessionLeadout = 0;
};

// Reads "<volumePath>/.TOC.plist"; none when it is missing or no property list. Entries that
// lack a key or hold something other than a number count as 0.
std::optional<TableOfContents> readTableOfContents(const std::string& volumePath);

// The sum of the decimal digits of n for n > 0; 0 otherwise.
std::int32_t cddb_sum(std::int32_t n);

// The freedb disc identifier: digit-sum checksum mod 255 in bits 31-24, the lead-out second
// minus the first track's start second in bits 23-8, the track count in bits 7-0.
std::uint32_t discIdentifier(const TableOfContents& toc);

// The MusicBrainz disc id of the first session (28 characters of [A-Za-z0-9._-], safe as a file
// name), computed by libdiscid; "" when the table cannot describe a disc (no track, more than
// 99, offsets out of order or past the lead-out).
std::string musicBrainzDiscId(const TableOfContents& toc);
// The first session as MusicBrainz's "toc" parameter: first track, last track, lead-out, then
// each track's offset, joined by "+".
std::string musicBrainzToc(const TableOfContents& toc);

} // namespace ripper
