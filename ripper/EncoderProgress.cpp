#include "ripper/EncoderProgress.h"

#include <regex>

namespace ripper {

std::optional<EncoderProgress> lastEncoderProgress(const std::string& text) {
    static const std::regex report(R"((\d+)/(\d+)\s*\(\s*(\d+)%\)\|[^|\n]*\|[^|\n]*\|[^|\n]*\|\s*(\d+:\d+(?::\d+)?))");
    std::optional<EncoderProgress> last;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), report); it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        EncoderProgress p;
        try {
            p.framesDone = std::stol(m[1]);
            p.framesTotal = std::stol(m[2]);
            p.percent = std::stoi(m[3]);
        } catch (...) {
            continue; // numbers too large to be lame's
        }
        p.eta = m[4];
        last = p;
    }
    return last;
}

} // namespace ripper
