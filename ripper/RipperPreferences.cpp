#include "ripper/RipperPreferences.h"

#include <filesystem>

namespace ripper {
namespace {

std::string stringFor(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    if (found == dict.end() || !found->second.string())
        return {};
    return *found->second.string();
}

void turnOnIfOne(const platform::PlistDict& dict, const char* key, bool& option) {
    const auto found = dict.find(key);
    if (found == dict.end())
        return;
    const auto* integer = found->second.integer();
    const auto* boolean = found->second.boolean();
    if ((integer && *integer == 1) || (boolean && *boolean))
        option = true;
}

} // namespace

void RipperPreferences::load(const platform::PlistDict& stored, const std::string& home) {
    basicConfigOption = stringFor(stored, "BasicConfigOption");
    audioCDLocation = stringFor(stored, "AudioCDLocation");
    mp3NameStyle = stringFor(stored, "MP3NameStyle");
    const std::string output = stringFor(stored, "OutputDirectory");
    outputDirectory = output.empty() ? home + "/Music/Audio CD" : output + "/Audio CD";
    turnOnIfOne(stored, "ConvertSpacesToUnderscores", convertSpacesToUnderscores);
    const std::string expert = stringFor(stored, "ExpertConfigOption");
    if (!expert.empty()) {
        expertConfigOption = expert;
        expertRowSelected = true;
    }
    turnOnIfOne(stored, "AddID3Tags", addID3Tags);
    turnOnIfOne(stored, "MakeAltPresetFaster", makeAltPresetFaster);
    turnOnIfOne(stored, "RipAsSingleTrack", ripAsSingleTrack);
    turnOnIfOne(stored, "SoundAlertWhenFinished", soundAlertWhenFinished);
    turnOnIfOne(stored, "EditTrackInformation", editTrackInformation);
    turnOnIfOne(stored, "CreateSeparateArtistAlbumDirs", createSeparateArtistAlbumDirs);
    const std::string server = stringFor(stored, "FreedbServer");
    freedbServer = server.empty() ? defaultFreedbServer : server;
}

platform::PlistDict RipperPreferences::dictionary() const {
    const auto flag = [](bool on) { return platform::PlistValue(std::int64_t{on ? 1 : 0}); };
    return {
        {"BasicConfigOption", basicConfigOption},
        {"AudioCDLocation", audioCDLocation},
        {"MP3NameStyle", mp3NameStyle},
        {"OutputDirectory", std::filesystem::path(outputDirectory).parent_path().string()},
        {"ConvertSpacesToUnderscores", flag(convertSpacesToUnderscores)},
        {"ExpertConfigOption", expertConfigOption},
        {"AddID3Tags", flag(addID3Tags)},
        {"MakeAltPresetFaster", flag(makeAltPresetFaster)},
        {"RipAsSingleTrack", flag(ripAsSingleTrack)},
        {"SoundAlertWhenFinished", flag(soundAlertWhenFinished)},
        {"EditTrackInformation", flag(editTrackInformation)},
        {"CreateSeparateArtistAlbumDirs", flag(createSeparateArtistAlbumDirs)},
        {"FreedbServer", freedbServer},
    };
}

} // namespace ripper
