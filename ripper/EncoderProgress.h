#pragma once

#include <optional>
#include <string>

namespace ripper {

// One progress report of `lame`: "  2816/7176  (39%)|    0:01/    0:03|    0:01/    0:03|   43.125x|    0:02 ".
struct EncoderProgress {
    long framesDone = 0;
    long framesTotal = 0;
    int percent = 0;
    std::string eta; // as lame prints it, "0:02"
};

// The last complete progress report in `text` (lame's output is full of terminal escapes and
// histogram lines, which are passed over); none when there is none.
std::optional<EncoderProgress> lastEncoderProgress(const std::string& text);

} // namespace ripper
