#pragma once

#include "ripper/freedb/AlbumEntry.h"
#include "ripper/freedb/TableOfContents.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ripper {

// The line a CDDB dialogue runs over: a CDDBP socket in the program; tests and the fuzz target
// may answer in memory instead.
class CddbConnection {
public:
    enum class Received { Some, Closed, NothingInTime };

    virtual ~CddbConnection() = default;
    // Raises (with the system's reason) when the server cannot be reached within the time.
    virtual void connectToHostName(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) = 0;
    // Appends what the server sent to `text`, waiting at most `timeout` for the first byte.
    virtual Received receive(std::string& text, std::chrono::milliseconds timeout) = 0;
    virtual void send(const std::string& text) = 0;
    virtual void close() = 0;
};

// A CDDBP connection on a socket.
std::unique_ptr<CddbConnection> cddbSocketConnection();

// What the freedb dialogue needs of the window that runs it: the CD folder, alerts, and the
// user's choice among several matching albums.
class FreedbDelegate {
public:
    virtual ~FreedbDelegate() = default;
    virtual std::string getChosenCDName() = 0;
    virtual void runAlertWithTitle(const std::string& title, const std::string& text) = 0;
    // The 0-based index of the chosen line; anything outside the list means no choice.
    virtual std::int32_t displayMultipleAlbumMatches(const std::vector<std::string>& matches) = 0;
};

// A lookup that was cancelled: it ends quietly, with no alert.
class LookupCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "The lookup was cancelled."; }
};

// A disc's freedb identity and its one lookup on a freedb server: over CDDBP (port 8880), or
// over HTTP when the server is an http:// or https:// address of a CDDB script
// ("http://gnudb.gnudb.org/~cddb/cddb.cgi"). Protocol level 6 is asked for, so replies are
// UTF-8; a server that will not go there answers in ISO 8859-1. Made afresh for every rip job.
// The lookup blocks its thread; the connect and every reply (whole) give up after the time
// limit (30 s unless set otherwise), and a cancel ends it within a tenth of a second.
class FreedbAccess {
public:
    // Reads the table of contents of the delegate's chosen CD folder; none when it cannot be read.
    static std::unique_ptr<FreedbAccess> create(FreedbDelegate& delegate);
    FreedbAccess(FreedbDelegate& delegate, TableOfContents toc);
    ~FreedbAccess();

    std::uint32_t cddb_discid() const { return discid_; }
    std::int32_t numTracks() const { return toc_.numTracks; }
    std::int32_t numSessions() const { return toc_.numSessions; }
    std::int32_t totalTime() const { return toc_.totalTime; }
    const std::vector<std::int64_t>& trackOffsets() const { return toc_.trackOffsets; }

    // The whole dialogue with the server ("host", "host:port" or an http(s) address). Never
    // raises: every failure is logged and shown in an alert titled "Freedb Error" that quotes
    // the server, and the album information then stays empty. A cancelled lookup shows nothing.
    void lookupCDInformation(const std::string& server);
    // The whole entry (album information, year, genre), or none.
    std::optional<AlbumEntry> getAlbumEntry() const;
    // The protocol level the server answered at (1 until it agrees to 6).
    int protocolLevel() const { return level_; }
    // The album information, or none when the lookup found none.
    std::optional<AlbumInfo> getAlbumInfo() const;
    // The entry's year and genre ("" when it has none or there was no entry).
    const std::string& getAlbumYear() const { return year_; }
    const std::string& getAlbumGenre() const { return genre_; }

    // The "cddb query" line for this disc.
    std::string queryString() const;
    // The "cddb read" line for a 200 reply, or for a chosen match line of a 211 reply wrapped
    // as "Stupid bogus data\n<line>\n.". Raises when the text has too few blanks.
    std::string buildCDDBReadEntryString(std::int32_t code, const std::string& text) const;
    // Offers the match lines of a 211 reply to the delegate and returns the chosen one.
    std::string displayAlbumSelectionDialog(const std::string& reply);

    // The CDDBP port when the server field names none.
    void setPort(std::uint16_t port) { port_ = port; }
    // The hello's user and host are the two halves of this address; the login and machine
    // names when it is not one.
    void setEmailAddress(const std::string& address) { email_ = address; }
    // Asked while the lookup waits; true ends it with LookupCancelled.
    void setCancelled(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }
    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // Where the lookup's connection comes from (a socket unless set).
    void setConnectionFactory(std::function<std::unique_ptr<CddbConnection>()> factory) {
        connectionFactory_ = std::move(factory);
    }

private:
    void converse(CddbConnection& connection, const std::string& host, std::uint16_t port,
                  std::optional<AlbumEntry>& parsed);
    void converseOverHttp(const std::string& address, std::optional<AlbumEntry>& parsed);
    // The query, the choice among matches and the read, over either transport: `command` sends
    // one command and returns its whole reply.
    AlbumEntry queryAndRead(const std::function<std::string(const std::string&)>& command);
    std::string readReply(CddbConnection& connection);
    std::string text(const std::string& bytes) const;
    void checkCancelled() const;

    FreedbDelegate& delegate_;
    TableOfContents toc_;
    std::uint32_t discid_;
    AlbumInfo albumInfo_;
    std::string year_, genre_;
    int level_ = 1;
    std::string email_;
    std::function<bool()> cancelled_;
    std::uint16_t port_ = 8880;
    std::chrono::milliseconds timeout_{30000};
    std::function<std::unique_ptr<CddbConnection>()> connectionFactory_ = cddbSocketConnection;
};

// The hello's user and host: the halves of an e-mail address, or the login and machine names.
std::pair<std::string, std::string> cddbHelloNames(const std::string& emailAddress);

// The code at the start of a reply: its leading decimal digits, 0 when there are none.
std::int32_t cddbReplyCode(const std::string& reply);

} // namespace ripper
