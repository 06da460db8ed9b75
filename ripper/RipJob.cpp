#include "ripper/RipJob.h"

#include "platform/core/Files.h"
#include "ripper/OutputFolders.h"

#include <algorithm>
#include <filesystem>

namespace ripper {
namespace {

bool hidden(const std::string& entry) { return platform::lastPathComponent(entry).rfind('.', 0) == 0; }

std::string withoutExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// The folders from `folder` up that do not exist yet, outermost last.
std::vector<std::string> missingFolders(std::string folder) {
    std::vector<std::string> missing;
    while (!folder.empty() && folder != "/" && folder != "." && !platform::fileExists(folder)) {
        missing.push_back(folder);
        folder = std::filesystem::path(folder).parent_path().string();
    }
    return missing;
}

} // namespace

std::optional<std::string> nameStyleProblem(const std::string& style) {
    if (style.empty())
        return std::nullopt; // the default, "%d - %t.mp3"
    if (style.find("%d") == std::string::npos && style.find("%t") == std::string::npos)
        return "The file-name style \"" + style +
               "\" gives every track the same name, so each would replace the one before. Put %d (the track "
               "number) or %t (the title) in it.";
    const std::string end = style.size() >= 4 ? style.substr(style.size() - 4) : style;
    if (end != ".mp3" && end != ".MP3")
        return "The file-name style \"" + style + "\" does not end in \".mp3\", so players would not know the files.";
    return std::nullopt;
}

std::string numberedName(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    return dot == std::string::npos || dot == 0 ? name + suffix : name.substr(0, dot) + suffix + name.substr(dot);
}

RipJob planRipJob(const RipJobRequest& request) {
    RipJob job;
    const auto& album = request.album;
    if (album && album->size() >= 2) {
        job.artist = (*album)[0];
        job.album = (*album)[1];
    }
    const bool haveAlbum = job.artist.has_value();
    if (haveAlbum && !request.singleTrack)
        if (auto problem = nameStyleProblem(request.options.nameStyle)) {
            job.problem = *problem;
            return job;
        }
    // The artist folder (nested folders) may be there already; what is not is made by the job.
    const std::string parent = std::filesystem::path(request.outputDirectoryField).parent_path().string();
    const auto before = missingFolders(haveAlbum && request.nestedFolders
                                           ? platform::joinPath(parent, platform::safeFileName(*job.artist))
                                           : parent);
    std::optional<std::string> folder;
    if (haveAlbum)
        folder = request.nestedFolders
                     ? createUniqueNestedFolderAtPath(request.outputDirectoryField, *job.artist, *job.album, &job.problem)
                     : createUniqueFolderAtPath(request.outputDirectoryField, *job.artist + " - " + *job.album,
                                                &job.problem);
    else
        folder = createUniqueFolderAtPath(request.outputDirectoryField, std::nullopt, &job.problem);
    if (!folder)
        return job;
    job.outputFolder = *folder;
    job.createdFolders.assign(before.begin(), before.end());
    job.createdFolders.push_back(*folder);
    AlbumTagExtras extras;
    extras.tracksHaveOwnArtists = std::any_of(request.trackArtists.begin(), request.trackArtists.end(),
                                              [](const std::string& a) { return !a.empty(); });
    extras.discNumber = request.discNumber;
    extras.discTotal = request.discTotal;
    const auto common = loadCLArguments(request.options, job.artist, job.album, request.year, request.genre, extras);

    if (request.singleTrack) {
        std::vector<std::string> paths;
        for (const auto& entry : request.trackList)
            if (!hidden(entry))
                paths.push_back(platform::joinPath(request.cdPath, entry));
        if (paths.empty())
            return job;
        const std::string name = job.album.value_or(platform::lastPathComponent(request.cdPath));
        const std::string temporary = platform::joinPath(job.outputFolder, ".discwell-gapless.part");
        job.runs.push_back(
            {gaplessRunArguments(common, paths, temporary), job.outputFolder, name, {}, job.outputFolder, temporary});
        return job;
    }

    std::vector<std::string> trackNames, trackArtists;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::int32_t position = 0;
    for (const std::string& entry : request.trackList) {
        if (hidden(entry))
            continue;
        // A name without a number after its first space ("1 Audio Track.aiff") takes its place
        // among the tracks; hidden entries such as the table of contents do not count, or every
        // track would get the next one's number and title.
        ++position;
        std::int32_t number = extractRealTrackNumberFromString(entry);
        if (number == 0)
            number = position;
        std::string fileName, title;
        const auto n = static_cast<std::size_t>(number);
        if (haveAlbum && number > 0 && n + 1 < album->size()) {
            title = (*album)[n + 1];
            fileName = createOutputFilenameWithFormat(request.options, request.options.nameStyle, number, title,
                                                      job.artist, job.album);
        } else {
            title = withoutExtension(entry);
            fileName = haveAlbum ? createOutputFilenameWithFormat(request.options, request.options.nameStyle, number,
                                                                  title, job.artist, job.album)
                                 : withoutExtension(entry) + ".mp3";
        }
        // Two tracks of one name (two "Intro"s) get numbered names, in track order.
        const std::string plain = fileName;
        for (int n = 2; std::any_of(pairs.begin(), pairs.end(), [&](const auto& pair) {
                 return platform::lastPathComponent(pair.second) == fileName;
             });
             ++n)
            fileName = numberedName(plain, n);
        trackNames.push_back(title);
        trackArtists.push_back(haveAlbum && number > 0 && n <= request.trackArtists.size() ? request.trackArtists[n - 1]
                                                                                         : std::string());
        pairs.emplace_back(platform::joinPath(request.cdPath, entry), platform::joinPath(job.outputFolder, fileName));
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const auto currentTrack = static_cast<std::int32_t>(k + 1);
        // The album information counts the disc's tracks.
        const auto total = haveAlbum ? static_cast<std::int32_t>(album->size() - 2) : 0;
        const auto tags = loadID3TrackTagArgumentsforCurrentTrack(request.options, pairs[k], trackNames, currentTrack,
                                                                  total, trackArtists[k]);
        const std::string temporary =
            platform::joinPath(job.outputFolder, "." + platform::lastPathComponent(pairs[k].second) + ".part");
        job.runs.push_back({perTrackRunArguments(common, pairs[k].first, temporary, tags), job.outputFolder,
                            trackNames[k], pairs[k].first, pairs[k].second, temporary});
    }
    return job;
}

} // namespace ripper
