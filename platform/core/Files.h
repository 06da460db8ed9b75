#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

// File operations with the guarantees the programs rely on. Each reports a failure
// as an error code whose message() is the system's text ("No space left on device").

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);

// Creates one folder; its parent must exist. An existing folder is not an error.
std::error_code createDirectory(const std::string& path);

// Moves a file or folder. Never replaces: when `to` exists the move fails with EEXIST.
std::error_code moveWithoutReplacing(const std::string& from, const std::string& to);

// Removes a file, or a folder with everything in it.
std::error_code removePath(const std::string& path);

// The names in a folder, hidden ones included, without "." and "..", sorted. Empty when
// the folder cannot be read.
std::vector<std::string> listDirectory(const std::string& path);

// `folder` joined with `name` by one "/".
std::string joinPath(const std::string& folder, const std::string& name);

// A name that is safe as one path component, made from text anyone may have typed or sent:
// "/" becomes "-", control characters are dropped, the result is cut to `maxBytes` at a UTF-8
// character boundary, and a name that would be "", "." or ".." gets "_" for each missing or
// point character, so that it can only name an entry inside its folder.
std::string safeFileName(std::string_view text, std::size_t maxBytes = 255);

// The last component of a path ("/a/b/c.mp3" gives "c.mp3").
std::string lastPathComponent(const std::string& path);

// Makes `path` a folder that files can be written into: created with its parents when missing,
// then checked by writing and removing a file in it. The system's error when it cannot be.
std::error_code makeWritableFolder(const std::string& path);

// Keeps a copy of a settings file that could not be read whole, beside it, as
// "<name>.damaged-<YYYY-MM-DD>" ("-2", "-3", ... after it when that name holds other bytes), so
// that writing the settings back loses nothing. A copy with the same bytes already there is
// reused: one damaged file is copied aside once. Returns the copy's path, or "" when the file
// could not be read or the copy not written.
std::string keepDamagedCopy(const std::string& path);

} // namespace platform
