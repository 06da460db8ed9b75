#include "ripper/freedb/DiscLookup.h"

#include "platform/core/Exception.h"
#include "platform/core/Log.h"
#include "ripper/freedb/FreedbAccess.h"

namespace ripper {
namespace {

// The freedb dialogue's window side, on the lookup's thread: the alert is kept for the outcome,
// the choice goes to the caller's chooser.
class LookupDelegate : public FreedbDelegate {
public:
    explicit LookupDelegate(const std::function<int(const std::vector<Release>&)>& choose) : choose_(choose) {}
    std::string getChosenCDName() override { return {}; }
    void runAlertWithTitle(const std::string&, const std::string& text) override { failure = text; }
    std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>& matches) override {
        std::vector<Release> rows;
        for (const auto& line : matches)
            rows.push_back(releaseFromMatchLine(line));
        const int chosen = choose_ ? choose_(rows) : -1;
        declined = chosen < 0 || static_cast<std::size_t>(chosen) >= rows.size();
        return chosen;
    }
    std::string failure;
    bool declined = false; // the user chose none of the matches: nothing to tell them

private:
    const std::function<int(const std::vector<Release>&)>& choose_;
};

} // namespace

LookupOrder lookupOrderNamed(const std::string& name) {
    if (name == "freedb")
        return LookupOrder::FreedbOnly;
    if (name == "MusicBrainz")
        return LookupOrder::MusicBrainzOnly;
    return LookupOrder::MusicBrainzThenFreedb;
}

std::string lookupOrderName(LookupOrder order) {
    switch (order) {
    case LookupOrder::FreedbOnly:
        return "freedb";
    case LookupOrder::MusicBrainzOnly:
        return "MusicBrainz";
    case LookupOrder::MusicBrainzThenFreedb:
        break;
    }
    return "MusicBrainz+freedb";
}

Release releaseFromMatchLine(const std::string& line) {
    Release release;
    const std::size_t category = line.find(' ');
    const std::size_t id = category == std::string::npos ? category : line.find(' ', category + 1);
    const std::string title = id == std::string::npos ? line : line.substr(id + 1);
    const std::size_t separator = title.find(" / ");
    if (separator == std::string::npos)
        release.entry.info = {title, title};
    else
        release.entry.info = {title.substr(0, separator), title.substr(separator + 3)};
    if (category != std::string::npos)
        release.format = "freedb: " + line.substr(0, category);
    return release;
}

DiscLookupOutcome lookUpDisc(const TableOfContents& toc, const DiscLookupSettings& settings,
                             const std::function<int(const std::vector<Release>&)>& chooseFreedbMatch,
                             const std::function<bool()>& cancelled) {
    DiscLookupOutcome outcome;
    std::vector<std::pair<std::string, std::string>> failures; // service, its words
    const bool askMusicBrainz = settings.order != LookupOrder::FreedbOnly;
    const bool askFreedb = settings.order != LookupOrder::MusicBrainzOnly;

    if (askMusicBrainz) {
        MusicBrainzSettings musicBrainz;
        musicBrainz.baseAddress = settings.musicBrainzServer;
        musicBrainz.contact = settings.emailAddress;
        musicBrainz.timeout = settings.timeout;
        musicBrainz.cancelled = cancelled;
        try {
            outcome.releases = lookUpMusicBrainz(toc, musicBrainz);
            outcome.source = "MusicBrainz";
            return outcome;
        } catch (const LookupCancelled&) {
            outcome.cancelled = true;
            return outcome;
        } catch (const std::exception& e) {
            platform::log(std::string("MusicBrainz: ") + e.what());
            failures.emplace_back("MusicBrainz", e.what());
        }
    }
    if (askFreedb) {
        LookupDelegate delegate(chooseFreedbMatch);
        FreedbAccess access(delegate, toc);
        access.setEmailAddress(settings.emailAddress);
        access.setTimeout(settings.timeout);
        access.setCancelled(cancelled);
        access.lookupCDInformation(settings.freedbServer);
        if (cancelled && cancelled()) {
            outcome.cancelled = true;
            return outcome;
        }
        if (auto entry = access.getAlbumEntry()) {
            Release release;
            release.entry = std::move(*entry);
            outcome.releases.push_back(std::move(release));
            outcome.source = "freedb";
            return outcome;
        }
        if (!delegate.declined)
            failures.emplace_back("freedb", delegate.failure);
    }
    if (failures.size() == 1) {
        outcome.failureTitle = failures[0].first == "freedb" ? "Freedb Error" : "MusicBrainz Error";
        outcome.failureText = failures[0].second;
    } else if (!failures.empty()) {
        outcome.failureTitle = "The disc was not found";
        // Each service's words, named by the service where they do not say it themselves.
        for (const auto& [service, words] : failures)
            outcome.failureText += (outcome.failureText.empty() ? "" : "\n\n") +
                                   (words.rfind(service, 0) == 0 ? "" : service + ": ") + words;
    }
    return outcome;
}

} // namespace ripper
