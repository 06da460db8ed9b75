#include "ripper/freedb/FreedbAccess.h"

#include "net/Socket.h"
#include "platform/core/Exception.h"
#include "platform/core/Log.h"
#include "platform/core/Text.h"
#include "platform/core/Url.h"
#include "platform/core/Version.h"

#include <cctype>
#include <climits>
#include <cstdlib>
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

// The first line of a reply, as the server wrote it.
std::string firstLine(const std::string& reply) { return reply.substr(0, reply.find_first_of("\r\n")); }

// A failure that quotes the server, with a hint where one helps.
[[noreturn]] void failQuoting(const std::string& message, const std::string& reply, const std::string& hint = {}) {
    std::string reason = message;
    if (const std::string line = firstLine(reply); !line.empty() && line != message)
        reason += "\n\nThe server said: \"" + line + "\"";
    if (!hint.empty())
        reason += "\n\n" + hint;
    throw platform::Exception(message, reason);
}

const std::string identifyHint =
    "The server may answer only clients whose user it knows: set your e-mail address in Discwell's "
    "preferences. gnudb also prefers its HTTP address, http://gnudb.gnudb.org/~cddb/cddb.cgi, as the server.";
const std::string httpHint =
    "If only web traffic gets through here, use the server's HTTP address as the server, such as "
    "http://gnudb.gnudb.org/~cddb/cddb.cgi.";

// Names in the hello may not hold blanks.
std::string helloWord(std::string word) {
    for (char& c : word)
        if (static_cast<unsigned char>(c) <= ' ')
            c = '_';
    return word;
}

std::string loginName() {
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_name && user->pw_name[0])
        return user->pw_name;
    return "user";
}

std::string machineName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0])
        return "localhost";
    return name;
}

// A form value: blanks as "+", anything but letters, digits and "-._~" percent-escaped.
std::string formValue(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else if (c == ' ') {
            encoded += '+';
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

bool isHttpAddress(const std::string& server) {
    return server.rfind("http://", 0) == 0 || server.rfind("https://", 0) == 0;
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

std::pair<std::string, std::string> cddbHelloNames(const std::string& emailAddress) {
    const std::size_t at = emailAddress.rfind('@');
    if (at != std::string::npos && at > 0 && at + 1 < emailAddress.size() &&
        emailAddress.find_first_of(" \t\r\n") == std::string::npos)
        return {emailAddress.substr(0, at), emailAddress.substr(at + 1)};
    return {helloWord(loginName()), helloWord(machineName())};
}

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

void FreedbAccess::checkCancelled() const {
    if (cancelled_ && cancelled_())
        throw LookupCancelled();
}

// At level 6 the server speaks UTF-8 (an entry that still holds other bytes is read as ISO
// 8859-1); below it, ISO 8859-1.
std::string FreedbAccess::text(const std::string& bytes) const {
    return level_ >= 6 ? platform::utf8OrLatin1(bytes) : platform::latin1ToUtf8(bytes);
}

// Reads one reply: up to the end of its first line, and for a multi-line reply (code 21x) up to
// its terminating "." line. A server that closes the connection ends the reply where it is.
std::string FreedbAccess::readReply(CddbConnection& connection) {
    // The time limit is the whole reply's: a server that trickles a byte now and then does not
    // hold the lookup past it. Waits are short, so that a cancel is seen at once.
    // The silent waits are counted as well as the clock: a connection that has nothing at once
    // (one in memory) ends after as many waits as the limit holds.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    std::chrono::milliseconds silent{0};
    std::string received;
    for (;;) {
        checkCancelled();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || silent >= timeout_)
            fail(noAnswer);
        const auto wait = std::min(left, std::chrono::milliseconds(100));
        const auto got = connection.receive(received, wait);
        if (got == CddbConnection::Received::NothingInTime) {
            silent += wait;
            continue;
        }
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
    return received;
}

namespace {

// The reply's code, failing with the table's message (quoting the server) for a failing one.
// A refused handshake (431) or an unknown client (500) may be mended by the user.
std::int32_t checkedCode(const std::string& reply,
                         std::initializer_list<std::pair<std::int32_t, const std::string*>> table) {
    if (reply.find(' ') == std::string::npos)
        failQuoting(notUnderstood, reply);
    const std::int32_t code = cddbReplyCode(reply);
    for (const auto& [failing, message] : table)
        if (code == failing)
            failQuoting(*message, reply, code == 431 || code == 500 ? identifyHint : std::string());
    return code;
}

} // namespace

AlbumEntry FreedbAccess::queryAndRead(const std::function<std::string(const std::string&)>& command) {
    const std::string query = text(command(queryString()));
    const std::int32_t code =
        checkedCode(query, {{202, &notFound},
                            {403, &corrupt},
                            {409, &forgotHandshake},
                            {431, &handshakeFailed},
                            {500, &syntaxError},
                            {0, &unknownError}});
    std::string readCommand;
    if (code == 200) {
        readCommand = buildCDDBReadEntryString(200, query);
    } else if (code == 211 || code == 210) {
        // Inexact matches (211), or several exact ones (210, at level 4 and up): the user
        // chooses, unless an exact list holds only one.
        const auto matches = albumMatchLines(query);
        const std::string chosen =
            code == 210 && matches.size() == 1 ? matches.front() : displayAlbumSelectionDialog(query);
        readCommand = buildCDDBReadEntryString(211, "Stupid bogus data\n" + chosen + "\n.");
    } else {
        failQuoting("freedb: The server could not look the disc up.", query);
    }
    checkCancelled();
    const std::string entry = text(command(readCommand));
    checkedCode(entry, {{401, &entryMissing},
                        {402, &alreadyShookHands},
                        {403, &corrupt},
                        {409, &forgotHandshake},
                        {0, &unknownError}});
    if (const std::int32_t read = cddbReplyCode(entry); read != 210)
        failQuoting("freedb: The server could not send the entry.", entry);
    return parseAlbumEntry(entry);
}

void FreedbAccess::converse(CddbConnection& connection, const std::string& host, std::uint16_t port,
                            std::optional<AlbumEntry>& parsed) {
    try {
        connection.connectToHostName(host, port, timeout_);
    } catch (const platform::Exception& e) {
        throw platform::Exception(e.name(), e.reason() + "\n\n" + httpHint);
    }
    readReply(connection); // the greeting is not examined
    const auto [user, machine] = cddbHelloNames(email_);
    connection.send("cddb hello " + user + " " + machine + " discwell v" + platform::discwellVersion + "\n");
    checkedCode(text(readReply(connection)),
                {{402, &alreadyShookHands}, {431, &handshakeFailed}, {500, &syntaxError}, {0, &unknownError}});
    // Level 6 is UTF-8. A server that refuses it (501), is there already (502) or does not
    // know the command stays where it is: below 6 unless it said it is at 6.
    connection.send("proto 6\n");
    const std::string proto = readReply(connection);
    const std::int32_t protoCode = cddbReplyCode(proto);
    if (protoCode == 201 || (protoCode == 502 && firstLine(proto).find(" 6") != std::string::npos))
        level_ = 6;

    parsed = queryAndRead([&](const std::string& line) {
        connection.send(line);
        return readReply(connection);
    });
    connection.send("quit\n");
}

void FreedbAccess::converseOverHttp(const std::string& address, std::optional<AlbumEntry>& parsed) {
    const auto [user, machine] = cddbHelloNames(email_);
    const std::string hello = user + " " + machine + " discwell v" + platform::discwellVersion;
    level_ = 6; // asked for with every command
    parsed = queryAndRead([&](const std::string& line) {
        platform::HttpRequest request;
        std::string commandText = line;
        while (!commandText.empty() && (commandText.back() == '\n' || commandText.back() == '\r'))
            commandText.pop_back();
        request.url = address + (address.find('?') == std::string::npos ? "?" : "&") +
                      "cmd=" + formValue(commandText) + "&hello=" + formValue(hello) + "&proto=6";
        request.userAgent = std::string("Discwell/") + platform::discwellVersion;
        request.limits.connectTimeout = timeout_;
        request.limits.totalTimeout = timeout_;
        request.limits.maxBytes = maxReplyBytes;
        request.cancelled = [this] { return cancelled_ && cancelled_(); };
        const auto response = platform::fetch(request);
        if (response.cancelled)
            throw LookupCancelled();
        if (!response.answered)
            fail("freedb: The server could not be reached: " + response.error);
        if (response.status != 200)
            failQuoting("freedb: The server answered with HTTP status " + std::to_string(response.status) + ".",
                        response.body, response.status == 404 ? "Check the server's address in the preferences." : "");
        return response.body;
    });
}

void FreedbAccess::lookupCDInformation(const std::string& server) {
    std::optional<AlbumEntry> parsed;
    std::unique_ptr<CddbConnection> connection;
    level_ = 1;
    try {
        if (isHttpAddress(server)) {
            converseOverHttp(server, parsed);
        } else {
            // "host" or "host:port"
            std::string host = server;
            std::uint16_t port = port_;
            if (const std::size_t colon = server.rfind(':');
                colon != std::string::npos && colon > 0 && server.find(':') == colon) {
                const std::string digits = server.substr(colon + 1);
                char* end = nullptr;
                const long value = std::strtol(digits.c_str(), &end, 10);
                if (!digits.empty() && *end == '\0' && value > 0 && value < 65536) {
                    host = server.substr(0, colon);
                    port = static_cast<std::uint16_t>(value);
                }
            }
            connection = connectionFactory_();
            converse(*connection, host, port, parsed);
        }
    } catch (const LookupCancelled&) {
        platform::log("Freedb: the lookup was cancelled");
        if (connection)
            connection->close();
        return;
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

std::optional<AlbumEntry> FreedbAccess::getAlbumEntry() const {
    if (albumInfo_.empty())
        return std::nullopt;
    AlbumEntry entry;
    entry.info = albumInfo_;
    entry.year = year_;
    entry.genre = genre_;
    return entry;
}

} // namespace ripper
