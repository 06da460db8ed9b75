#pragma once

#include "tests/support/LoopbackServer.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// A scripted CDDBP server on loopback: after its greeting it reads one line per step, keeps it
// for the test to check byte for byte, and answers with the step's reply (sent in pieces of
// `pieceSize` bytes, `pause` apart, when that is not 0). A step with `close` set closes the connection after its
// reply; one with `silent` set answers nothing and waits for the client to go.
class CddbServer {
public:
    struct Step {
        std::string reply;
        bool close = false;
        bool silent = false;
        std::size_t pieceSize = 0;
        std::chrono::milliseconds pause{5}; // between pieces
    };

    CddbServer(std::string greeting, std::vector<Step> steps);
    std::uint16_t port() const { return server_->port(); }
    // Every line the client sent, each with its line feed.
    std::vector<std::string> received();
    void join() { server_->join(); }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::unique_ptr<LoopbackServer> server_;
};

} // namespace testsupport
