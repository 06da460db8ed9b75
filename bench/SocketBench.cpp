// Receiving cost of the buffered socket against a plain recv loop. A loopback sender pushes
// 256 MiB as fast as it can; the receiving thread's CPU time gives bytes per CPU-second for
//   (a) recv into a 4096-byte array, and
//   (b) BufferedSocket::readData(16000) then readData(1), repeated (the recorder's pattern).
// Prints the ratio b/a (1.0 = as cheap as the plain loop). Each variant runs three times and
// the best run counts, so that a busy machine hurts both sides alike.
#include "net/BufferedSocket.h"
#include "tests/support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t total = 256u << 20;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Starts a sender of `total` bytes and returns its port; the thread is joined by the caller.
std::uint16_t startSender(std::thread& sender) {
    std::uint16_t port = 0;
    const int listener = testsupport::listenOnLoopback(&port, 1);
    sender = std::thread([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        std::vector<char> block(1 << 16, 'x');
        std::size_t sent = 0;
        while (sent < total) {
            const ssize_t n = ::send(fd, block.data(), std::min(block.size(), total - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        ::close(fd);
        ::close(listener);
    });
    return port;
}

// Bytes per CPU-second of the receiving side.
double measure(const std::function<std::size_t(std::uint16_t)>& receive) {
    std::thread sender;
    const std::uint16_t port = startSender(sender);
    const double start = threadCpuSeconds();
    const std::size_t bytes = receive(port);
    const double cpu = threadCpuSeconds() - start;
    sender.join();
    if (bytes != total)
        std::fprintf(stderr, "received %zu of %zu bytes\n", bytes, total);
    return static_cast<double>(bytes) / cpu;
}

std::size_t plainRecv(std::uint16_t port) {
    net::Socket socket;
    socket.connectToHostName("127.0.0.1", port);
    char area[4096];
    std::size_t bytes = 0;
    for (;;) {
        const ssize_t n = ::recv(socket.socketfd(), area, sizeof area, 0);
        if (n <= 0)
            break;
        bytes += static_cast<std::size_t>(n);
    }
    return bytes;
}

std::size_t bufferedReads(std::uint16_t port) {
    net::BufferedSocket socket(net::CloseLock::On); // as the recorder's
    socket.connectToHostName("127.0.0.1", port);
    std::size_t bytes = 0;
    for (;;) {
        auto block = socket.readData(16000);
        if (!block)
            break;
        bytes += block->size();
        auto one = socket.readData(1);
        if (!one)
            break;
        bytes += one->size();
    }
    return bytes + socket.buffer().length();
}

} // namespace

int main() {
    double plain = 0, buffered = 0;
    for (int run = 0; run < 3; ++run) {
        plain = std::max(plain, measure(plainRecv));
        buffered = std::max(buffered, measure(bufferedReads));
    }
    std::printf("plain recv loop:        %8.1f MiB per CPU-second\n", plain / (1 << 20));
    std::printf("BufferedSocket reads:   %8.1f MiB per CPU-second\n", buffered / (1 << 20));
    std::printf("ratio buffered/plain:   %.2f (goal: at least 0.80)\n", buffered / plain);
}
