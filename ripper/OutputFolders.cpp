#include "ripper/OutputFolders.h"

#include "platform/core/Files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace ripper {
namespace {

std::string parentOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// `candidate`, or the first of "<candidate> 1", "<candidate> 2", ... that this call creates
// itself: mkdir either makes a folder or finds the name taken (by anything) and goes on, so two
// jobs never share a folder and nothing already there is written into.
std::optional<std::string> createFirstFree(const std::string& candidate, std::string* error) {
    // The folder it goes into is made when missing: a first run has no Music folder yet.
    std::error_code made;
    std::filesystem::create_directories(parentOf(candidate), made);
    std::string folder = candidate;
    for (int k = 1; k < 100000; ++k) {
        if (::mkdir(folder.c_str(), 0755) == 0)
            return folder;
        if (errno != EEXIST) {
            if (error)
                *error = "The folder \"" + folder + "\" could not be created: " + std::strerror(errno) + ".";
            return std::nullopt;
        }
        folder = candidate + " " + std::to_string(k);
    }
    if (error)
        *error = "Every name for the folder \"" + candidate + "\" is taken.";
    return std::nullopt;
}

} // namespace

std::optional<std::string> createUniqueFolderAtPath(const std::string& path, const std::optional<std::string>& name,
                                                    std::string* error) {
    if (!name)
        return createFirstFree(path, error);
    return createFirstFree(platform::joinPath(parentOf(path), platform::safeFileName(*name)), error);
}

std::optional<std::string> createUniqueNestedFolderAtPath(const std::string& path, const std::string& artist,
                                                          const std::string& album, std::string* error) {
    const std::string artistFolder = platform::joinPath(parentOf(path), platform::safeFileName(artist));
    return createFirstFree(platform::joinPath(artistFolder, platform::safeFileName(album)), error);
}

} // namespace ripper
