#pragma once

#include <string_view>

namespace platform {

// Writes one time-stamped line to standard error. Line breaks in the text are
// written as spaces so that a log entry is always one line. Safe from any thread.
void log(std::string_view text);

} // namespace platform
