// The whole CDDB dialogue against a server that answers in memory with the input: the input's
// first byte picks the match the "user" chooses, the rest is cut at zero bytes into the
// greeting and the replies to hello, query and read. A reply is handed over in pieces whose
// size the second byte sets, as a network would. The lookup must end, report or succeed, and
// never raise.
#include "ripper/freedb/FreedbAccess.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Delegate : ripper::FreedbDelegate {
    std::int32_t choice = 0;
    std::string getChosenCDName() override { return "/nonexistent"; }
    void runAlertWithTitle(const std::string&, const std::string&) override {}
    std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>&) override { return choice; }
};

// A server that sends the greeting on connect and one reply for every command line it gets;
// it closes once every reply is sent, and stays silent while it waits for a command.
class ScriptedServer : public ripper::CddbConnection {
public:
    ScriptedServer(std::vector<std::string> replies, std::size_t piece)
        : replies_(std::move(replies)), piece_(std::max<std::size_t>(piece, 1)) {}

    void connectToHostName(const std::string&, std::uint16_t, std::chrono::milliseconds) override { sendNext(); }
    Received receive(std::string& text, std::chrono::milliseconds) override {
        if (pending_.empty())
            return next_ < replies_.size() ? Received::NothingInTime : Received::Closed;
        const std::size_t n = std::min(piece_, pending_.size());
        text.append(pending_, 0, n);
        pending_.erase(0, n);
        return Received::Some;
    }
    void send(const std::string& text) override {
        for (char c : text)
            if (c == '\n')
                sendNext();
    }
    void close() override {}

private:
    void sendNext() {
        if (next_ < replies_.size())
            pending_ += replies_[next_++];
    }

    std::vector<std::string> replies_;
    std::size_t piece_;
    std::size_t next_ = 0;
    std::string pending_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 1 << 16)
        return 0;
    std::vector<std::string> replies(1);
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] == 0 && replies.size() < 4)
            replies.emplace_back();
        else
            replies.back() += static_cast<char>(data[i]);
    }

    Delegate delegate;
    delegate.choice = static_cast<std::int8_t>(data[0]);
    ripper::TableOfContents toc;
    toc.numTracks = 2;
    toc.totalTime = 600;
    toc.trackOffsets = {150, 20000};
    ripper::FreedbAccess access(delegate, toc);
    const std::size_t piece = data[1] < 128 ? std::size_t{1} << (data[1] % 16) : data[1];
    access.setConnectionFactory([&] { return std::make_unique<ScriptedServer>(replies, piece); });
    access.lookupCDInformation("cddb.example");
    return 0;
}
