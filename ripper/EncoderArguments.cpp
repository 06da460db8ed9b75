#include "ripper/EncoderArguments.h"

#include "platform/core/Files.h"

#include <cctype>

namespace ripper {

std::optional<std::vector<std::string>> getBasicConfigOption(const EncoderOptions& options) {
    const std::size_t space = options.presetTitle.find(' ');
    if (space == std::string::npos)
        return std::nullopt;
    const std::string head = options.presetTitle.substr(0, space);
    const std::string rest = options.presetTitle.substr(space + 1);
    if (options.makeAltPresetFaster && head == "--alt-preset" && rest != "insane")
        return std::vector<std::string>{head, "fast", rest};
    return std::vector<std::string>{head, rest};
}

std::vector<std::string> getExpertConfigOption(const EncoderOptions& options) {
    std::vector<std::string> pieces;
    if (options.expertOptions.empty())
        return pieces;
    std::size_t at = 0;
    for (std::size_t space; (space = options.expertOptions.find(' ', at)) != std::string::npos; at = space + 1)
        pieces.push_back(options.expertOptions.substr(at, space - at));
    pieces.push_back(options.expertOptions.substr(at));
    return pieces;
}

std::vector<std::string> loadCLArguments(const EncoderOptions& options, const std::optional<std::string>& artist,
                                         const std::optional<std::string>& album, const std::string& year,
                                         const std::string& genre, const AlbumTagExtras& extras) {
    std::vector<std::string> arguments = getBasicConfigOption(options).value_or(getExpertConfigOption(options));
    arguments.insert(arguments.end(), {"--add-id3v2", "--disptime", "5"});
    if (options.addID3Tags) {
        // Tag texts as UTF-16, so that titles in any script survive whatever the locale.
        arguments.push_back("--id3v2-utf16");
        if (artist)
            arguments.insert(arguments.end(), {"--ta", *artist});
        if (album)
            arguments.insert(arguments.end(), {"--tl", *album});
        if (!year.empty())
            arguments.insert(arguments.end(), {"--ty", year});
        if (!genre.empty())
            arguments.insert(arguments.end(), {"--tg", genre});
        if (artist && extras.tracksHaveOwnArtists)
            arguments.insert(arguments.end(), {"--tv", "TPE2=" + *artist});
        if (extras.discNumber > 0 && extras.discTotal > 0)
            arguments.insert(arguments.end(), {"--tv", "TPOS=" + std::to_string(extras.discNumber) + "/" +
                                                           std::to_string(extras.discTotal)});
    }
    return arguments;
}

std::vector<std::string> loadID3TrackTagArgumentsforCurrentTrack(const EncoderOptions& options,
                                                                 const std::pair<std::string, std::string>& trackPair,
                                                                 const std::vector<std::string>& trackNames,
                                                                 std::int32_t currentTrack, std::int32_t trackTotal,
                                                                 const std::string& trackArtist) {
    const std::string source = platform::lastPathComponent(trackPair.first);
    // A name without a number after its first space ("1 Audio Track.aiff") gives 0; the track's
    // place in the job counts then, as it does for the file name.
    const std::int32_t written = extractRealTrackNumberFromString(source);
    const std::int32_t number = written != 0 ? written : currentTrack;
    if (!options.addID3Tags)
        return {};
    // The job's title for the track, whatever the output name starts with ("Tracks of My
    // Tears" is a title); a track past the known titles is named after its file.
    std::string title;
    if (currentTrack >= 1 && static_cast<std::size_t>(currentTrack) <= trackNames.size())
        title = trackNames[static_cast<std::size_t>(currentTrack - 1)];
    else
        title = source.substr(0, source.rfind('.'));
    std::vector<std::string> arguments{"--tt", title, "--tn",
                                       std::to_string(number) +
                                           (trackTotal >= number && number > 0 ? "/" + std::to_string(trackTotal) : "")};
    if (!trackArtist.empty())
        arguments.insert(arguments.end(), {"--ta", trackArtist});
    return arguments;
}

std::string createOutputFilenameWithFormat(const EncoderOptions& options, const std::string& format,
                                           std::int32_t trackNumber, const std::string& trackName,
                                           const std::optional<std::string>& artist,
                                           const std::optional<std::string>& album) {
    const std::string style = format.empty() ? "%d - %t.mp3" : format;
    std::string name;
    for (std::size_t i = 0; i < style.size(); ++i) {
        if (style[i] != '%') {
            name += style[i];
            continue;
        }
        if (++i == style.size())
            break; // a "%" at the very end stands for nothing
        switch (style[i]) {
        case 'd':
            name += (trackNumber >= 0 && trackNumber <= 9 ? "0" : "") + std::to_string(trackNumber);
            break;
        case 'a':
            name += artist.value_or("");
            break;
        case 'l':
            name += album.value_or("");
            break;
        case 't':
            name += trackName;
            break;
        default:
            break;
        }
    }
    name = replaceChar('/', '-', name);
    return options.convertSpacesToUnderscores ? replaceChar(' ', '_', name) : name;
}

std::vector<std::string> perTrackRunArguments(const std::vector<std::string>& common, const std::string& source,
                                              const std::string& destination, const std::vector<std::string>& tags) {
    std::vector<std::string> arguments = common;
    arguments.push_back(source);
    arguments.push_back(destination);
    arguments.insert(arguments.end(), tags.begin(), tags.end());
    return arguments;
}

std::vector<std::string> gaplessRunArguments(const std::vector<std::string>& common,
                                             const std::vector<std::string>& trackPaths,
                                             const std::string& outputFolder) {
    std::vector<std::string> arguments = common;
    arguments.push_back("--nogap");
    arguments.insert(arguments.end(), trackPaths.begin(), trackPaths.end());
    arguments.push_back("--nogapout");
    arguments.push_back(outputFolder);
    return arguments;
}

std::string replaceChar(char from, char to, const std::string& text) {
    std::string result = text;
    for (char& c : result)
        if (c == from)
            c = to;
    return result;
}

std::int32_t extractRealTrackNumberFromString(const std::string& name) {
    const std::size_t space = name.find(' ');
    if (space == std::string::npos)
        return 0;
    const std::string two = name.substr(space + 1, 2);
    std::size_t i = 0;
    while (i < two.size() && std::isspace(static_cast<unsigned char>(two[i])))
        ++i;
    bool negative = false;
    if (i < two.size() && (two[i] == '+' || two[i] == '-'))
        negative = two[i++] == '-';
    std::int32_t value = 0;
    for (; i < two.size() && std::isdigit(static_cast<unsigned char>(two[i])); ++i)
        value = value * 10 + (two[i] - '0');
    return negative ? -value : value;
}

} // namespace ripper
