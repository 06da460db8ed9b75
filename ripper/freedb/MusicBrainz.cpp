#include "ripper/freedb/MusicBrainz.h"

#include "platform/core/Exception.h"
#include "platform/core/Log.h"
#include "platform/core/Url.h"
#include "platform/core/Version.h"
#include "ripper/freedb/FreedbAccess.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <mutex>
#include <thread>

namespace ripper {
namespace {

using Json = nlohmann::json;

const std::string notFound = "MusicBrainz does not know this disc.";

std::string textOf(const Json& object, const char* key) {
    if (!object.is_object())
        return {};
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int numberOf(const Json& object, const char* key) {
    if (!object.is_object())
        return 0;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_integer())
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(found->get<std::int64_t>(), INT32_MIN, INT32_MAX));
}

const Json& arrayOf(const Json& object, const char* key) {
    static const Json none = Json::array();
    if (!object.is_object())
        return none;
    const auto found = object.find(key);
    return found != object.end() && found->is_array() ? *found : none;
}

// The credited names joined by their join phrases: "Simon & Garfunkel".
std::string creditedArtist(const Json& object) {
    std::string name;
    for (const Json& credit : arrayOf(object, "artist-credit")) {
        std::string part = textOf(credit, "name");
        if (part.empty())
            part = textOf(credit.is_object() ? credit.value("artist", Json::object()) : Json(), "name");
        name += part + textOf(credit, "joinphrase");
    }
    return name;
}

const Json* mediumHolding(const Json& media, const std::string& discId, int trackCount) {
    for (const Json& medium : media)
        for (const Json& disc : arrayOf(medium, "discs"))
            if (!discId.empty() && textOf(disc, "id") == discId)
                return &medium;
    for (const Json& medium : media)
        if (numberOf(medium, "track-count") == trackCount || static_cast<int>(arrayOf(medium, "tracks").size()) == trackCount)
            return &medium;
    return media.empty() ? nullptr : &media.front();
}

Release releaseFrom(const Json& release, const std::string& discId, int trackCount) {
    Release result;
    result.id = textOf(release, "id");
    result.date = textOf(release, "date");
    result.country = textOf(release, "country");
    const std::string artist = creditedArtist(release);
    const std::string title = textOf(release, "title");
    result.entry.info = {artist, title};
    result.entry.year = result.date.substr(0, std::min<std::size_t>(4, result.date.size()));
    if (const auto& labels = arrayOf(release, "label-info"); !labels.empty()) {
        result.label = textOf(labels.front().is_object() ? labels.front().value("label", Json::object()) : Json(), "name");
        result.catalogNumber = textOf(labels.front(), "catalog-number");
    }
    const Json& media = arrayOf(release, "media");
    const Json* medium = mediumHolding(media, discId, trackCount);
    if (!medium)
        return result;
    result.format = textOf(*medium, "format");
    // The disc's place in a set, when it is one and its position makes sense.
    if (const int position = numberOf(*medium, "position"); media.size() > 1 && position >= 1 &&
                                                             static_cast<std::size_t>(position) <= media.size()) {
        result.entry.discNumber = position;
        result.entry.discTotal = static_cast<int>(media.size());
    }
    std::vector<const Json*> tracks;
    for (const Json& track : arrayOf(*medium, "tracks"))
        if (track.is_object())
            tracks.push_back(&track);
    std::stable_sort(tracks.begin(), tracks.end(),
                     [](const Json* a, const Json* b) { return numberOf(*a, "position") < numberOf(*b, "position"); });
    bool anyOwnArtist = false;
    for (const Json* track : tracks) {
        std::string trackTitle = textOf(*track, "title");
        if (trackTitle.empty())
            trackTitle = textOf(track->value("recording", Json::object()), "title");
        result.entry.info.push_back(trackTitle);
        std::string trackArtist = creditedArtist(*track);
        if (trackArtist == artist)
            trackArtist.clear();
        anyOwnArtist = anyOwnArtist || !trackArtist.empty();
        result.entry.trackArtists.push_back(trackArtist);
    }
    if (!anyOwnArtist)
        result.entry.trackArtists.clear();
    return result;
}

// One request a second at most, from the whole program.
void waitForTurn(const MusicBrainzSettings& settings) {
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point next{};
    std::chrono::steady_clock::time_point turn;
    {
        std::lock_guard lock(mutex);
        turn = std::max(next, std::chrono::steady_clock::now());
        next = turn + std::chrono::seconds(1);
    }
    while (std::chrono::steady_clock::now() < turn) {
        if (settings.cancelled && settings.cancelled())
            throw LookupCancelled();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(50), turn - std::chrono::steady_clock::now()));
    }
}

void pause(std::chrono::milliseconds length, const MusicBrainzSettings& settings) {
    const auto until = std::chrono::steady_clock::now() + length;
    while (std::chrono::steady_clock::now() < until) {
        if (settings.cancelled && settings.cancelled())
            throw LookupCancelled();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The service's own words: the "error" of a JSON reply, else the start of the body.
std::string serviceWords(const std::string& body) {
    try {
        const Json reply = Json::parse(body);
        if (const std::string error = textOf(reply, "error"); !error.empty())
            return error;
    } catch (const Json::exception&) {
    }
    std::string start = body.substr(0, 200);
    std::replace_if(start.begin(), start.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return start;
}

platform::HttpResponse get(const std::string& url, const MusicBrainzSettings& settings) {
    platform::HttpRequest request;
    request.url = url;
    // The contact is the user's address; without one, the login and machine names, as the
    // freedb hello has them.
    const auto [user, machine] = cddbHelloNames(settings.contact);
    request.userAgent = std::string("Discwell/") + platform::discwellVersion + " ( " + user + "@" + machine + " )";
    request.limits.connectTimeout = settings.timeout;
    request.limits.totalTimeout = settings.timeout;
    request.cancelled = settings.cancelled;
    // A busy service (503) is asked again after the time it names, twice at most.
    for (int attempt = 0;; ++attempt) {
        waitForTurn(settings);
        auto response = platform::fetch(request);
        if (response.cancelled)
            throw LookupCancelled();
        if (!response.answered)
            throw platform::Exception("MusicBrainz could not be reached: " + response.error);
        if (response.status != 503 || attempt == 2)
            return response;
        const long wait = std::clamp<long>(response.retryAfter.value_or(1), 1, 5);
        platform::log("MusicBrainz is busy; asking again in " + std::to_string(wait) + " s");
        pause(std::chrono::seconds(wait), settings);
    }
}

} // namespace

std::vector<Release> parseMusicBrainzReleases(const std::string& json, const std::string& discId, int trackCount) {
    Json reply;
    try {
        reply = Json::parse(json);
    } catch (const Json::exception&) {
        throw platform::Exception("MusicBrainz sent a reply that is not JSON.");
    }
    std::vector<Release> releases;
    for (const Json& release : arrayOf(reply, "releases"))
        if (release.is_object())
            releases.push_back(releaseFrom(release, discId, trackCount));
    return releases;
}

std::vector<Release> lookUpMusicBrainz(const TableOfContents& toc, const MusicBrainzSettings& settings) {
    const std::string discId = musicBrainzDiscId(toc);
    if (discId.empty())
        throw platform::Exception("The disc's table of contents cannot be described to MusicBrainz.");
    std::string base = settings.baseAddress;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const std::string include = "inc=artist-credits+labels+recordings&fmt=json";
    auto response = get(base + "/ws/2/discid/" + discId + "?" + include, settings);
    if (response.status == 404) // an unknown id: releases with a table of contents like this one
        response = get(base + "/ws/2/discid/-?toc=" + musicBrainzToc(toc) + "&" + include, settings);
    if (response.status == 404)
        throw platform::Exception(notFound);
    if (response.status != 200)
        throw platform::Exception("MusicBrainz answered with HTTP status " + std::to_string(response.status) +
                                  ": \"" + serviceWords(response.body) + "\"");
    auto releases = parseMusicBrainzReleases(response.body, discId, toc.firstSessionTracks);
    if (releases.empty())
        throw platform::Exception(notFound);
    return releases;
}

} // namespace ripper
