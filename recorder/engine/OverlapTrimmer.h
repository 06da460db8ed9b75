#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace recorder {

// Drops the audio a station sends twice across a reconnect. Servers send a new listener a
// burst of recent audio, so the first bytes of a new connection repeat the end of what the old
// one delivered. The repeat is found by matching bytes: the new connection's first bytes are
// looked for in the tail of what came before, and what follows them must match that tail to its
// end. Nothing is guessed from time. Thread ownership: the recording worker's alone.
class OverlapTrimmer {
public:
    static constexpr std::size_t tailBytes = 256 * 1024; // more than any server's burst
    static constexpr std::size_t probeBytes = 4096;

    // A new connection begins: its first bytes are checked against what came before.
    void reconnected();
    // The connection's audio, in order; returns what is new (a view of the input or of bytes
    // held here, valid until the next call). While undecided it may hold the connection's first
    // bytes back (at most about as many as the tail holds).
    std::string_view pass(const std::uint8_t* bytes, std::size_t length);
    // The connection ended: what was held back while undecided.
    std::string_view flush();

private:
    void remember(std::string_view bytes);
    std::string_view decide(bool final);

    std::string tail() const; // the ring's bytes, oldest first

    std::string ring_;        // the last `tailBytes` of audio passed on, as a ring
    std::size_t ringEnd_ = 0; // where the next byte goes
    bool ringFull_ = false;
    std::string pending_;  // a new connection's first bytes, undecided
    std::string released_; // what a decision passed on
    bool checking_ = false;
};

} // namespace recorder
