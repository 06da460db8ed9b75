#include "ripper/RipperPreferences.h"

#include <filesystem>

namespace ripper {
namespace {

enum class Kind { Text, Option, Count };

struct Key {
    const char* name;
    Kind kind;
};

// The keys of the preferences file.
constexpr Key keys[] = {
    {"BasicConfigOption", Kind::Text},          {"AudioCDLocation", Kind::Text},
    {"MP3NameStyle", Kind::Text},               {"OutputDirectory", Kind::Text},
    {"ConvertSpacesToUnderscores", Kind::Option}, {"ExpertConfigOption", Kind::Text},
    {"AddID3Tags", Kind::Option},               {"MakeAltPresetFaster", Kind::Option},
    {"RipAsSingleTrack", Kind::Option},         {"SoundAlertWhenFinished", Kind::Option},
    {"EditTrackInformation", Kind::Option},     {"CreateSeparateArtistAlbumDirs", Kind::Option},
    {"FreedbServer", Kind::Text},               {"EncoderJobs", Kind::Count},
    {"EmailAddress", Kind::Text},               {"LookupOrder", Kind::Text},
    {"MusicBrainzServer", Kind::Text},
};

constexpr std::int64_t maxEncoderJobs = 64;

bool readable(const platform::PlistValue& value, Kind kind) {
    if (kind == Kind::Text)
        return value.string() != nullptr;
    const auto* integer = value.integer();
    if (kind == Kind::Count)
        return integer && *integer >= 0 && *integer <= maxEncoderJobs;
    return value.boolean() || (integer && (*integer == 0 || *integer == 1));
}

std::string text(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    return found != dict.end() && found->second.string() ? *found->second.string() : std::string();
}

bool option(const platform::PlistDict& dict, const char* key) {
    const auto found = dict.find(key);
    if (found == dict.end())
        return false;
    if (const auto* boolean = found->second.boolean())
        return *boolean;
    const auto* integer = found->second.integer();
    return integer && *integer == 1;
}

} // namespace

std::vector<std::string> RipperPreferences::load(const platform::PlistDict& stored,
                                                 const platform::PlistDict& freshInstall, const std::string& home) {
    std::vector<std::string> unreadable;
    platform::PlistDict values;
    for (const Key& key : keys) {
        if (const auto found = freshInstall.find(key.name); found != freshInstall.end())
            values[key.name] = found->second;
        const auto found = stored.find(key.name);
        if (found == stored.end())
            continue;
        if (readable(found->second, key.kind))
            values[key.name] = found->second;
        else
            unreadable.push_back(key.name);
    }

    basicConfigOption = text(values, "BasicConfigOption");
    expertRowSelected = !basicConfigOption.empty() && basicConfigOption.find(' ') == std::string::npos;
    audioCDLocation = text(values, "AudioCDLocation");
    mp3NameStyle = text(values, "MP3NameStyle");
    const std::string output = text(values, "OutputDirectory");
    outputDirectory = output.empty() ? home + "/Music/Audio CD" : output + "/Audio CD";
    expertConfigOption = text(values, "ExpertConfigOption");
    convertSpacesToUnderscores = option(values, "ConvertSpacesToUnderscores");
    addID3Tags = option(values, "AddID3Tags");
    makeAltPresetFaster = option(values, "MakeAltPresetFaster");
    ripAsSingleTrack = option(values, "RipAsSingleTrack");
    soundAlertWhenFinished = option(values, "SoundAlertWhenFinished");
    editTrackInformation = option(values, "EditTrackInformation");
    createSeparateArtistAlbumDirs = option(values, "CreateSeparateArtistAlbumDirs");
    const std::string server = text(values, "FreedbServer");
    freedbServer = server.empty() ? defaultFreedbServer : server;
    emailAddress = text(values, "EmailAddress");
    lookupOrder = text(values, "LookupOrder");
    if (lookupOrder != "freedb" && lookupOrder != "MusicBrainz")
        lookupOrder = "MusicBrainz+freedb";
    const std::string musicBrainz = text(values, "MusicBrainzServer");
    musicBrainzServer = musicBrainz.empty() ? defaultMusicBrainzServer : musicBrainz;
    const auto jobs = values.find("EncoderJobs");
    encoderJobs = jobs != values.end() && jobs->second.integer() ? static_cast<int>(*jobs->second.integer()) : 0;
    return unreadable;
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
        {"EncoderJobs", std::int64_t{encoderJobs}},
        {"EmailAddress", emailAddress},
        {"LookupOrder", lookupOrder},
        {"MusicBrainzServer", musicBrainzServer},
    };
}

} // namespace ripper
