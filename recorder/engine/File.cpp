#include "recorder/engine/File.h"

#include "platform/core/Files.h"
#include "recorder/engine/StationProtocol.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace recorder {
namespace {

std::atomic<std::uint64_t> nextId{1};

// Enough tries for every sensible repetition of a title; past it the folder is full of copies.
constexpr int maxCopies = 10000;

} // namespace

File::File(std::string path) : id_(nextId++), path_(std::move(path)) {}

File::~File() { close(); }

std::error_code File::create(const std::string& folder, const std::string& title, std::shared_ptr<File>* made,
                             const std::string& extension) {
    for (int copy = 1; copy <= maxCopies; ++copy) {
        const std::string path = platform::joinPath(folder, songFileName(title, copy, extension));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd == -1) {
            if (errno == EEXIST)
                continue;
            return {errno, std::generic_category()};
        }
        auto file = std::make_shared<File>(path);
        file->title_ = title;
        file->extension_ = extension;
        file->fd_ = fd;
        *made = std::move(file);
        return {};
    }
    return std::make_error_code(std::errc::file_exists);
}

std::string File::name() const { return platform::lastPathComponent(path_); }

std::error_code File::write(const std::uint8_t* bytes, std::size_t length) {
    if (fd_ == -1) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd_ == -1)
            return {errno, std::generic_category()};
    }
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd_, bytes + written, length - written);
        if (n == -1) {
            if (errno == EINTR)
                continue;
            const std::error_code error{errno, std::generic_category()};
            if (before >= 0 && written > 0)
                (void)::ftruncate(fd_, before);
            return error;
        }
        written += static_cast<std::size_t>(n);
    }
    return {};
}

void File::close() {
    if (fd_ != -1) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::error_code File::moveTo(const std::string& folder) {
    for (int copy = 1; copy <= maxCopies; ++copy) {
        const std::string destination = platform::joinPath(folder, songFileName(title_, copy, extension_));
        const std::error_code error = platform::moveWithoutReplacing(path_, destination);
        if (error == std::errc::file_exists)
            continue;
        if (!error)
            path_ = destination;
        return error;
    }
    return std::make_error_code(std::errc::file_exists);
}

} // namespace recorder
