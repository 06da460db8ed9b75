#pragma once

#include <string>
#include <vector>

namespace ripper {

// The album information of a freedb entry: element 0 the artist, 1 the album, then one element
// per track in track order. No element contains "/" (each became "-").
using AlbumInfo = std::vector<std::string>;

// Takes a "cddb read" reply apart: the "DTITLE=" lines (joined, split at the first "/" into
// artist and album) and the track title lines from "TTITLE0=" up to "EXTD=". A title continued
// over several lines with the same key is one element. Raises platform::Exception when the
// entry lacks DTITLE, TTITLE0 or EXTD, when the disc title has no "/" between an artist and an
// album, or when a line in the track block has no "=" while a later one has.
AlbumInfo parseAlbumInfo(const std::string& text);

// The match lines of a 211 (inexact matches) reply, without their line ends, in reply order.
// Raises when the list ends before its "." line.
std::vector<std::string> albumMatchLines(const std::string& reply);

} // namespace ripper
