#pragma once

#include "tests/support/LoopbackServer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// A small HTTP/1.0 server on loopback for a test: each request is answered by the handler from
// its target ("/path?query"), one request a connection. Every request's head is kept.
class HttpServer {
public:
    struct Reply {
        Reply(int status = 200, std::string body = {}, std::string headers = {}, bool silent = false)
            : status(status), body(std::move(body)), headers(std::move(headers)), silent(silent) {}
        int status;
        std::string body;
        std::string headers; // extra header lines, each ending in "\r\n"
        bool silent;         // answers nothing; waits for the client to go
    };
    using Handler = std::function<Reply(const std::string& target)>;

    HttpServer(Handler handler, int connections);
    std::uint16_t port() const { return server_->port(); }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }
    std::vector<std::string> requests();
    void join() { server_->join(); }

private:
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::unique_ptr<LoopbackServer> server_;
};

} // namespace testsupport
