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
};

// Reads "<volumePath>/.TOC.plist"; none when it is missing or no property list. Entries that
// lack a key or hold something other than a number count as 0.
std::optional<TableOfContents> readTableOfContents(const std::string& volumePath);

// The sum of the decimal digits of n for n > 0; 0 otherwise.
std::int32_t cddb_sum(std::int32_t n);

// The freedb disc identifier: digit-sum checksum mod 255 in bits 31-24, the lead-out second
// minus the first track's start second in bits 23-8, the track count in bits 7-0.
std::uint32_t discIdentifier(const TableOfContents& toc);

} // namespace ripper
