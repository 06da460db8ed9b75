#include "tests/ripper/freedb/CddbServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <thread>

namespace testsupport {
namespace {

// One line, read byte by byte so that nothing of the next command is taken early; "" when the
// client closed or sent nothing for 10 s.
std::string readLine(int fd) {
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0 || ::recv(fd, &c, 1, 0) != 1)
            return line;
        line += c;
    }
    return line;
}

} // namespace

CddbServer::CddbServer(std::string greeting, std::vector<Step> steps) {
    server_ =
        std::make_unique<LoopbackServer>([this, greeting = std::move(greeting), steps = std::move(steps)](int fd) {
            LoopbackServer::sendAll(fd, greeting);
            for (const auto& step : steps) {
                const std::string line = readLine(fd);
                {
                    std::lock_guard lock(mutex_);
                    lines_.push_back(line);
                }
                if (line.empty())
                    return;
                if (step.silent) {
                    LoopbackServer::readAll(fd);
                    return;
                }
                if (step.pieceSize == 0) {
                    LoopbackServer::sendAll(fd, step.reply);
                } else {
                    for (std::size_t at = 0; at < step.reply.size(); at += step.pieceSize) {
                        LoopbackServer::sendAll(fd, step.reply.substr(at, step.pieceSize));
                        std::this_thread::sleep_for(step.pause);
                    }
                }
                if (step.close)
                    return;
            }
            // After the script: keep what the client still sends ("quit").
            for (std::string line; !(line = readLine(fd)).empty();) {
                std::lock_guard lock(mutex_);
                lines_.push_back(line);
            }
        });
}

std::vector<std::string> CddbServer::received() {
    std::lock_guard lock(mutex_);
    return lines_;
}

} // namespace testsupport
