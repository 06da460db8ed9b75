#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The station's side of the conversation as pure functions: playlist text, response header
// and metadata text in, a record or a failure out. Failures raise platform::Exception with
// the text the user sees as the reason.

namespace recorder {

using HeaderFields = std::map<std::string, std::string>;

// Runs of spaces (" " only) become one; spaces at both ends go.
std::string trimWhitespace(std::string_view text);

struct PlaylistEntry {
    std::string address; // an http or https address
    std::string title;   // the playlist's name for it, "" when it gives none
};
// Every stream a playlist names, in its order: a `.pls` ("[playlist]", FileN= and TitleN=, by
// their numbers) or an `.m3u`/`.m3u8` list (one address a line, "#EXTINF:…,Title" naming the
// next). Lines may end in CR LF; a UTF-8 byte-order mark is passed over; entries that are no
// http or https address are left out. Raises "HLS streams are not supported" for an HLS playlist
// ("#EXT-X-" lines) and "Bad playlist URL" when no entry is left.
std::vector<PlaylistEntry> playlistEntries(std::string_view text);

// The status code of a response's first line ("ICY 200 OK", "HTTP/1.1 302 Found"); 0 when the
// line is neither.
int responseStatus(std::string_view header);
// A header field by its name in any case; none when the header lacks it.
std::optional<std::string> headerField(const HeaderFields& fields, std::string_view name);

// What a station sends, by its Content-Type: MP3 (also when the station names no type, as old
// servers do), AAC in ADTS frames, or something else.
enum class AudioKind { Mp3, Aac, Other };
AudioKind audioKindOf(std::string_view contentType);

// The header fields of a response up to and including its empty line. The status line must be
// "ICY 200 OK" or an HTTP status line with code 200; any other status line is raised as the
// failure's reason. Lines without a colon are skipped; a later field replaces an earlier one.
HeaderFields parseResponseHeader(std::string_view text);
// The header fields after the status line, whatever the status.
HeaderFields parseHeaderFields(std::string_view text);

constexpr std::int32_t maxMetadataInterval = 1 << 20;

// The "icy-metaint" value: leading decimal digits, 1 to maxMetadataInterval.
std::int32_t metadataInterval(const HeaderFields& fields);

// The title in a metadata block: the StreamTitle value, which must be the block's first field,
// trimmed. Raises when the block has no StreamTitle field first.
std::string nameFromMetadata(std::string_view text);

// A song's file name: the title with "/" made "-", control characters dropped, ".mp3" added
// unless it ends so, " (n)" before ".mp3" for n > 1, and at most 255 bytes (cut at a UTF-8
// character boundary, ".mp3" kept).
// `extension` is ".mp3" unless given (".aac" for AAC stations).
std::string songFileName(std::string_view title, int copy = 1, std::string_view extension = ".mp3");

// A station's folder name: "/" made "-", control characters dropped, at most 255 bytes; a
// name that would be "", "." or ".." gets its points replaced so it stays inside the download folder.
std::string stationFolderName(std::string_view stationName);

} // namespace recorder
