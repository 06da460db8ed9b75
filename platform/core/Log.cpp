#include "platform/core/Log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <unistd.h>

namespace platform {

void log(std::string_view text) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[40];
    const size_t stampLength = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

    std::string line(stamp, stampLength);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%03d [%d] ", static_cast<int>(millis), static_cast<int>(getpid()));
    line += fraction;
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    // One write per line, so lines of different threads never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform
