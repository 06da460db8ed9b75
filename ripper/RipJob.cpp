#include "ripper/RipJob.h"

#include "platform/core/Files.h"
#include "ripper/OutputFolders.h"

namespace ripper {
namespace {

bool hidden(const std::string& entry) { return platform::lastPathComponent(entry).rfind('.', 0) == 0; }

std::string withoutExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

RipJob planRipJob(const RipJobRequest& request) {
    RipJob job;
    const auto& album = request.album;
    std::optional<std::string> folder;
    if (album && album->size() >= 2) {
        job.artist = (*album)[0];
        job.album = (*album)[1];
        folder = request.nestedFolders
                     ? createUniqueNestedFolderAtPath(request.outputDirectoryField, (*album)[0], (*album)[1])
                     : createUniqueFolderAtPath(request.outputDirectoryField, (*album)[0] + " - " + (*album)[1]);
    } else {
        folder = createUniqueFolderAtPath(request.outputDirectoryField, std::nullopt);
    }
    job.outputFolder = folder.value_or(request.outputDirectoryField);
    const bool haveAlbum = job.artist.has_value();
    const auto common = loadCLArguments(request.options, job.artist, job.album);

    if (request.singleTrack) {
        std::vector<std::string> paths;
        for (const auto& entry : request.trackList)
            if (!hidden(entry))
                paths.push_back(platform::joinPath(request.cdPath, entry));
        if (paths.empty())
            return job;
        const std::string name = job.album.value_or(platform::lastPathComponent(request.cdPath));
        job.runs.push_back({gaplessRunArguments(common, paths, job.outputFolder), job.outputFolder, name, {}});
        return job;
    }

    std::vector<std::string> trackNames;
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
        trackNames.push_back(title);
        pairs.emplace_back(platform::joinPath(request.cdPath, entry), platform::joinPath(job.outputFolder, fileName));
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const auto currentTrack = static_cast<std::int32_t>(k + 1);
        const auto tags = loadID3TrackTagArgumentsforCurrentTrack(request.options, pairs[k], trackNames, currentTrack);
        job.runs.push_back({perTrackRunArguments(common, pairs[k].first, pairs[k].second, tags), job.outputFolder,
                            trackNames[k], pairs[k].first});
    }
    return job;
}

} // namespace ripper
