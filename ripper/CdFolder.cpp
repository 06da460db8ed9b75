#include "ripper/CdFolder.h"

#include "platform/cd/AudioCd.h"
#include "platform/core/Files.h"
#include "platform/core/PropertyList.h"
#include "ripper/freedb/TableOfContents.h"

#include <cstdio>
#include <filesystem>

namespace ripper {
std::optional<std::string> prepareCdFolder(const std::string& deviceOrImage, const std::string& cacheRoot,
                                           const std::function<bool(const CdFolderProgress&)>& progress,
                                           std::string* error,
                                           const std::function<void(const std::string&, const std::vector<std::string>&)>&
                                               folderReady,
                                           const std::function<void(const std::string&)>& trackDone) {
    const auto cd = platform::AudioCd::open(deviceOrImage, error);
    if (!cd)
        return std::nullopt;
    const auto& toc = cd->toc();

    TableOfContents identity;
    identity.numSessions = 1;
    identity.numTracks = static_cast<std::int32_t>(toc.tracks.size());
    identity.totalTime = static_cast<std::int32_t>(toc.leadoutBlock / 75);
    platform::PlistArray trackArray;
    for (const auto& track : toc.tracks) {
        identity.trackOffsets.push_back(track.startBlock);
        trackArray.push_back(
            platform::PlistDict{{"Start Block", track.startBlock}, {"Point", track.number}, {"Data", !track.audio}});
    }
    // MusicBrainz counts the audio tracks ahead of a data track (an enhanced CD) and ends them
    // where that session's lead-out began: 11,400 blocks before the data track.
    for (const auto& track : toc.tracks) {
        if (!track.audio) {
            identity.firstSessionLeadout = track.startBlock - 11400;
            break;
        }
        ++identity.firstSessionTracks;
    }
    if (identity.firstSessionTracks == identity.numTracks)
        identity.firstSessionLeadout = toc.leadoutBlock;
    // The folder is the disc's: its MusicBrainz id tells discs apart by their whole table of
    // contents, where freedb's 32 bits are shared by many discs.
    std::string id = musicBrainzDiscId(identity);
    if (id.empty()) {
        char freedb[16];
        std::snprintf(freedb, sizeof freedb, "%08x", discIdentifier(identity));
        id = freedb;
    }
    const std::string folder = platform::joinPath(cacheRoot, id);
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made) {
        *error = "Cannot make the folder \"" + folder + "\": " + made.message();
        return std::nullopt;
    }
    const platform::PlistDict tocPlist{
        {"Sessions", platform::PlistArray{platform::PlistDict{{"Track Array", trackArray},
                                                              {"Leadout Block", toc.leadoutBlock},
                                                              {"First Track", toc.tracks.front().number},
                                                              {"Last Track", toc.tracks.back().number}}}}};
    if (!platform::writePropertyList(platform::joinPath(folder, ".TOC.plist"), tocPlist)) {
        *error = "Cannot write the table of contents in \"" + folder + "\".";
        return std::nullopt;
    }

    int audioTracks = 0;
    std::vector<std::string> names{".TOC.plist"};
    for (const auto& track : toc.tracks)
        if (track.audio) {
            ++audioTracks;
            names.push_back(std::to_string(track.number) + " Audio Track.aiff");
        }
    if (folderReady)
        folderReady(folder, names);
    int done = 0;
    for (const auto& track : toc.tracks) {
        if (!track.audio)
            continue;
        ++done;
        const std::string name = std::to_string(track.number) + " Audio Track.aiff";
        const std::string path = platform::joinPath(folder, name);
        // Tracks get their name only once they are whole (see below), so one that is there
        // from an earlier time is complete.
        if (platform::fileExists(path)) {
            if (trackDone)
                trackDone(name);
            continue;
        }
        const std::string partial = platform::joinPath(folder, "." + name + ".part");
        const bool ok = cd->extractTrack(
            track.number, partial,
            [&](long sectorsDone, long sectorsTotal) {
                return !progress || progress({done, audioTracks, sectorsDone, sectorsTotal});
            },
            error);
        if (!ok)
            return std::nullopt;
        std::error_code renamed;
        std::filesystem::rename(partial, path, renamed);
        if (renamed) {
            *error = "Cannot keep \"" + path + "\": " + renamed.message();
            return std::nullopt;
        }
        if (trackDone)
            trackDone(name);
    }
    return folder;
}

} // namespace ripper
