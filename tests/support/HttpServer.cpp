#include "tests/support/HttpServer.h"

namespace testsupport {

HttpServer::HttpServer(Handler handler, int connections) {
    server_ = std::make_unique<LoopbackServer>(
        [this, handler = std::move(handler)](int fd) {
            const std::string head = LoopbackServer::readUntil(fd, "\r\n\r\n");
            if (head.empty())
                return;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(head);
            }
            const std::size_t start = head.find(' ') + 1;
            const std::string target = head.substr(start, head.find(' ', start) - start);
            const Reply reply = handler(target);
            if (reply.silent) {
                LoopbackServer::readAll(fd);
                return;
            }
            LoopbackServer::sendAll(fd, "HTTP/1.0 " + std::to_string(reply.status) + " Status\r\nContent-Length: " +
                                            std::to_string(reply.body.size()) + "\r\n" + reply.headers + "\r\n" +
                                            reply.body);
        },
        connections);
}

std::vector<std::string> HttpServer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

} // namespace testsupport
