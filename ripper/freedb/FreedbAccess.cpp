#include "ripper/freedb/FreedbAccess.h"

#include "net/Socket.h"
#include "platform/core/Exception.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/core/Version.h"

#include <climits>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace ripper {
namespace {

const std::string alreadyShookHands = "freedb: I tired to shake hands with the server, but we already shook hands!";
const std::string handshakeFailed = "freedb: Handshake was not successful; closing connection";
const std::string syntaxError = "freedb: Command Syntax Error";
const std::string unknownError =
    "freedb: I got an error, but the server couldn't tell me what it was!  Aborting Connection";
const std::string notFound = "freedb: I couldn't find this CD in the freedb database.";
const std::string corrupt = "freedb: The database entry for this cd is corrupt and cannot be retrieved.";
const std::string forgotHandshake = "freedb: It seems I forgot to shake hands with the server.";
const std::string entryMissing =
    "freedb: The CD should be in the database, but apparently isn't.   (freedb: entry not found.)";
const std::string noAnswer = "freedb: The server did not answer in time.";
const std::string notUnderstood = "freedb: The server sent a reply I don't understand.";
const std::string tooLong = "freedb: The server sent more than any entry holds.";
const std::string noChoice = "freedb: No matching album was chosen.";

// No entry, list of matches or reply line comes anywhere near this.
constexpr std::size_t maxReplyBytes = 4u << 20;

[[noreturn]] void fail(const std::string& message) { throw platform::Exception(message); }

std::string loginName() {
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_name)
        return user->pw_name;
    return "user";
}

std::string machineName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0])
        return "localhost";
    return name;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A multi-line reply (21x) is complete at its terminating "." line.
bool endsWithTerminator(std::string_view text) { return endsWith(text, "\n.\r\n") || endsWith(text, "\n.\n"); }

class SocketConnection : public CddbConnection {
public:
    void connectToHostName(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) override {
        socket_->connectToHostName(host, port, static_cast<int>(timeout.count()));
    }
    Received receive(std::string& text, std::chrono::milliseconds timeout) override {
        if (!socket_->isConnected())
            return Received::Closed;
        if (!socket_->waitUntilReadable(static_cast<int>(timeout.count())))
            return Received::NothingInTime;
        net::ByteBuffer buffer;
        if (socket_->readData(&buffer) == 0)
            return Received::Closed;
        text.append(reinterpret_cast<const char*>(buffer.data()), buffer.length());
        return Received::Some;
    }
    void send(const std::string& text) override { socket_->writeString(text); }
    void close() override {
        if (socket_->isConnected())
            socket_->close();
    }

private:
    std::unique_ptr<net::Socket> socket_ = net::Socket::socket();
};

} // namespace

std::unique_ptr<CddbConnection> cddbSocketConnection() { return std::make_unique<SocketConnection>(); }

std::int32_t cddbReplyCode(const std::string& reply) {
    std::int64_t code = 0;
    for (char c : reply) {
        if (c < '0' || c > '9')
            break;
        code = std::min<std::int64_t>(code * 10 + (c - '0'), INT32_MAX);
    }
    return static_cast<std::int32_t>(code);
}

std::unique_ptr<FreedbAccess> FreedbAccess::create(FreedbDelegate& delegate) {
    auto toc = readTableOfContents(delegate.getChosenCDName());
    if (!toc)
        return nullptr;
    return std::make_unique<FreedbAccess>(delegate, std::move(*toc));
}

FreedbAccess::FreedbAccess(FreedbDelegate& delegate, TableOfContents toc)
    : delegate_(delegate), toc_(std::move(toc)), discid_(discIdentifier(toc_)) {}

FreedbAccess::~FreedbAccess() = default;

std::optional<AlbumInfo> FreedbAccess::getAlbumInfo() const {
    if (albumInfo_.empty())
        return std::nullopt;
    return albumInfo_;
}

std::string FreedbAccess::queryString() const {
    char head[64];
    std::snprintf(head, sizeof head, "cddb query %08lx %d ", static_cast<unsigned long>(discid_), toc_.numTracks);
    std::string line = head;
    for (const std::int64_t offset : toc_.trackOffsets)
        line += std::to_string(offset) + " ";
    return line + std::to_string(toc_.totalTime) + "\n";
}

std::string FreedbAccess::buildCDDBReadEntryString(std::int32_t code, const std::string& text) const {
    if (code == 200) {
        const std::size_t first = text.find(' ');
        const std::size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
        if (second == std::string::npos)
            fail(notUnderstood);
        char id[16];
        std::snprintf(id, sizeof id, "%08lx", static_cast<unsigned long>(discid_));
        return "cddb read " + text.substr(first + 1, second - first - 1) + " " + id + "\n";
    }
    const std::size_t lineStart = text.find('\n');
    const std::size_t categoryEnd = lineStart == std::string::npos ? lineStart : text.find(' ', lineStart + 1);
    const std::size_t idEnd = categoryEnd == std::string::npos ? categoryEnd : text.find(' ', categoryEnd + 1);
    if (idEnd == std::string::npos)
        fail(notUnderstood);
    return "cddb read " + text.substr(lineStart + 1, categoryEnd - lineStart - 1) + " " +
           text.substr(categoryEnd + 1, idEnd - categoryEnd - 1) + "\n";
}

std::string FreedbAccess::displayAlbumSelectionDialog(const std::string& reply) {
    const auto matches = albumMatchLines(reply);
    const std::int32_t chosen = delegate_.displayMultipleAlbumMatches(matches);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= matches.size())
        fail(noChoice);
    return matches[static_cast<std::size_t>(chosen)];
}

// Reads one reply: up to the end of its first line, and for a multi-line reply (code 21x) up to
// its terminating "." line. A server that closes the connection ends the reply where it is.
std::string FreedbAccess::readReply(CddbConnection& connection) {
    // The time limit is the whole reply's: a server that trickles a byte now and then does not
    // hold the lookup past it.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    std::string received;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            fail(noAnswer);
        const auto got = connection.receive(received, left);
        if (got == CddbConnection::Received::NothingInTime)
            fail(noAnswer);
        if (got == CddbConnection::Received::Closed)
            break;
        if (received.size() > maxReplyBytes)
            fail(tooLong);
        const std::size_t lineEnd = received.find('\n');
        if (lineEnd == std::string::npos)
            continue;
        const std::int32_t code = cddbReplyCode(received.substr(0, 3));
        const bool multiLine = code >= 210 && code <= 219;
        if (!multiLine || endsWithTerminator(received))
            break;
    }
    return platform::utf8OrLatin1(received);
}

void FreedbAccess::converse(CddbConnection& connection, const std::string& hostName, std::optional<AlbumEntry>& parsed) {
    const auto failOnCode = [](const std::string& reply,
                               std::initializer_list<std::pair<std::int32_t, const std::string*>> table) {
        if (reply.find(' ') == std::string::npos)
            fail(notUnderstood);
        const std::int32_t code = cddbReplyCode(reply);
        for (const auto& [failing, message] : table)
            if (code == failing)
                fail(*message);
        return code;
    };

    connection.connectToHostName(hostName, port_, timeout_);
    readReply(connection); // the greeting is not examined
    connection.send("cddb hello " + loginName() + " " + machineName() + " discwell v" +
                    platform::discwellVersion + "\n");
    failOnCode(readReply(connection),
               {{402, &alreadyShookHands}, {431, &handshakeFailed}, {500, &syntaxError}, {0, &unknownError}});

    connection.send(queryString());
    const std::string query = readReply(connection);
    const std::int32_t code =
        failOnCode(query, {{202, &notFound}, {403, &corrupt}, {409, &forgotHandshake}, {0, &unknownError}});
    std::string readCommand;
    if (code == 200)
        readCommand = buildCDDBReadEntryString(200, query);
    else if (code == 211)
        readCommand = buildCDDBReadEntryString(211, "Stupid bogus data\n" + displayAlbumSelectionDialog(query) + "\n.");
    else
        fail(query.substr(0, query.find_first_of("\r\n")));

    connection.send(readCommand);
    const std::string entry = readReply(connection);
    failOnCode(entry, {{401, &entryMissing},
                       {402, &alreadyShookHands},
                       {403, &corrupt},
                       {409, &forgotHandshake},
                       {0, &unknownError}});
    parsed = parseAlbumEntry(entry);

    connection.send("quit\n");
}

void FreedbAccess::lookupCDInformation(const std::string& hostName) {
    std::optional<AlbumEntry> parsed;
    std::unique_ptr<CddbConnection> connection;
    try {
        connection = connectionFactory_();
        converse(*connection, hostName, parsed);
    } catch (const platform::Exception& e) {
        platform::log("Freedb Error (" + e.name() + "):  " + e.reason());
        delegate_.runAlertWithTitle("Freedb Error", e.reason());
    } catch (const std::exception& e) {
        platform::log(std::string("Freedb Error (failure):  ") + e.what());
        delegate_.runAlertWithTitle("Freedb Error", e.what());
    }
    if (connection)
        connection->close();
    if (parsed) {
        albumInfo_.insert(albumInfo_.end(), parsed->info.begin(), parsed->info.end());
        year_ = parsed->year;
        genre_ = parsed->genre;
    }
}

} // namespace ripper
