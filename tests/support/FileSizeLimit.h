#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace testsupport {

// While it lives, no file of this process may grow past `bytes`: writes beyond fail as a full
// disk's do (EFBIG, "File too large"), instead of the signal that would end the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        handler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool set() const { return set_; }

private:
    rlimit old_{};
    sighandler_t handler_;
    bool set_ = false;
};

} // namespace testsupport
