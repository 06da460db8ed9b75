#include "ripper/OutputFolders.h"

#include "platform/core/Files.h"

#include <filesystem>

namespace ripper {
namespace {

std::string parentOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// `candidate`, or the first of "<candidate> 1", "<candidate> 2", ... at which nothing exists, created.
std::optional<std::string> createFirstFree(const std::string& candidate) {
    // The folder it goes into is made when missing: a first run has no Music folder yet.
    std::error_code ignored;
    std::filesystem::create_directories(parentOf(candidate), ignored);
    std::string folder = candidate;
    for (int k = 1; platform::fileExists(folder); ++k)
        folder = candidate + " " + std::to_string(k);
    if (platform::createDirectory(folder) || !platform::isDirectory(folder))
        return std::nullopt;
    return folder;
}

} // namespace

std::optional<std::string> createUniqueFolderAtPath(const std::string& path, const std::optional<std::string>& name) {
    if (!name)
        return createFirstFree(path);
    return createFirstFree(platform::joinPath(parentOf(path), platform::safeFileName(*name)));
}

std::optional<std::string> createUniqueNestedFolderAtPath(const std::string& path, const std::string& artist,
                                                          const std::string& album) {
    const std::string artistFolder = platform::joinPath(parentOf(path), platform::safeFileName(artist));
    if (!platform::fileExists(artistFolder))
        platform::createDirectory(artistFolder);
    return createFirstFree(platform::joinPath(artistFolder, platform::safeFileName(album)));
}

} // namespace ripper
