#pragma once

#include <string>

namespace recorder {

// What a song file's tag says of it.
struct SongTagInfo {
    std::string streamTitle; // "Artist - Title" by the stations' convention, or just a title
    std::string station;     // goes in as the album
    std::string date;        // the recording date, "YYYY-MM-DD"
    std::string address;     // the station's address
};

// An ID3v2.4 tag (UTF-8 texts) to stand at the start of a song file: the title (TIT2) and, when
// the stream title reads "Artist - Title", the artist (TPE1); the station as the album (TALB);
// the recording date (TDRC); the station's address (WORS). Players read it ahead of MP3 and ADTS
// frames alike.
std::string id3v2Tag(const SongTagInfo& info);

// Today's date, "YYYY-MM-DD", in local time.
std::string todaysDate();

} // namespace recorder
