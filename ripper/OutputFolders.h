#pragma once

#include <optional>
#include <string>

// A rip job's output folder, made beside the last component of the output directory and
// numbered (" 1", " 2", ...) when its name is taken by any file or folder. The folder is always
// one the call created itself, never one that was there. Names are made safe as one path
// component first, so an artist or album can never point outside the directory. The folders
// above it are made when missing. On failure `error` (when given) says why, with the system's
// reason.

namespace ripper {

// With a name: "<parent of path>/<name>" or the first free "<...>/<name> k". Without one: `path`
// itself or the first free "<path> k". The folder's path, or none when it cannot be created.
std::optional<std::string> createUniqueFolderAtPath(const std::string& path, const std::optional<std::string>& name,
                                                    std::string* error = nullptr);

// "<parent of path>/<artist>" (made when missing, reused when there) holding a new album folder,
// numbered when taken. The album folder's path, or none when it cannot be created.
std::optional<std::string> createUniqueNestedFolderAtPath(const std::string& path, const std::string& artist,
                                                          const std::string& album, std::string* error = nullptr);

} // namespace ripper
