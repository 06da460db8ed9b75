#pragma once

#include <string>
#include <vector>

namespace ripper {

// The album information of a freedb entry: element 0 the artist, 1 the album, then one element
// per track in track order. Names keep their "/" ("AC/DC"); file and folder names turn it into
// "-" where they are made.
using AlbumInfo = std::vector<std::string>;

struct AlbumEntry {
    AlbumInfo info;
    std::string year;  // DYEAR, "" when the entry has none
    std::string genre; // DGENRE, "" when the entry has none
    // What MusicBrainz adds: each track's artist (none, or "" for a track, where it is the
    // album's), and the disc's place in a set of several (0 when not known).
    std::vector<std::string> trackArtists;
    int discNumber = 0;
    int discTotal = 0;

    bool operator==(const AlbumEntry&) const = default;
};

// Takes a "cddb read" reply apart as freedb entries are written: "KEY=value" lines, comments
// ("#...") and keys other than DTITLE, DYEAR, DGENRE and TTITLEn ignored wherever they stand, a
// key repeated on following lines continued (the values joined with nothing between them). The
// disc title splits at its first " / " into artist and album; without one both are the whole
// title. TTITLEn places its title at track n; a number with no line leaves that title empty.
// Reading stops at the "." line. Raises platform::Exception when the entry has no DTITLE or no
// track title.
AlbumEntry parseAlbumEntry(const std::string& text);
// The album information of parseAlbumEntry.
AlbumInfo parseAlbumInfo(const std::string& text);

// The match lines of a 211 (inexact matches) reply, without their line ends, in reply order.
// Raises when the list ends before its "." line.
std::vector<std::string> albumMatchLines(const std::string& reply);

} // namespace ripper
