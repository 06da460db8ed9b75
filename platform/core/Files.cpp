#include "platform/core/Files.h"

#include "platform/core/Text.h"

#include <algorithm>
#include <optional>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::error_code createDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0)
        return {};
    const int error = errno;
    if (error == EEXIST && isDirectory(path))
        return {};
    return {error, std::generic_category()};
}

std::error_code moveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    int error = errno;
    // Some file systems do not know the no-replace flag: a hard link fails on an existing
    // target, and only then is the old name removed.
    if (error == EINVAL || error == ENOSYS) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return {};
        }
        error = errno;
    }
    return {error, std::generic_category()};
}

std::error_code removePath(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    return ec;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string safeFileName(std::string_view text, std::size_t maxBytes) {
    std::string name;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::max<std::size_t>(utf8SequenceLength(text, at), 1);
        const auto c = static_cast<unsigned char>(text[at]);
        if (n == 1 && (c < 0x20 || c == 0x7F)) {
            ++at;
            continue;
        }
        if (name.size() + n > maxBytes)
            break;
        if (c == '/')
            name += '-';
        else
            name.append(text.substr(at, n));
        at += n;
    }
    if (name.empty() || name == "." || name == "..")
        name = name.empty() ? "_" : std::string(name.size(), '_');
    return name;
}

std::string lastPathComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

namespace {

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Writes a new file only: an existing name is left alone (EEXIST).
std::error_code writeNewFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return {errno, std::generic_category()};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            ::unlink(path.c_str());
            return {error, std::generic_category()};
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        return {error, std::generic_category()};
    }
    return {};
}

} // namespace

std::error_code makeWritableFolder(const std::string& path) {
    if (path.empty())
        return std::make_error_code(std::errc::no_such_file_or_directory);
    std::error_code error;
    fs::create_directories(path, error);
    if (error)
        return error;
    if (!isDirectory(path))
        return std::make_error_code(std::errc::not_a_directory);
    std::string probe = joinPath(path, ".write-test-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd == -1)
        return {errno, std::generic_category()};
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

std::string keepDamagedCopy(const std::string& path) {
    const auto bytes = readWhole(path);
    if (!bytes)
        return {};
    char date[16] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    const std::string base = path + ".damaged-" + date;
    for (int n = 1; n < 1000; ++n) {
        const std::string copy = n == 1 ? base : base + "-" + std::to_string(n);
        if (fileExists(copy)) {
            if (readWhole(copy) == bytes)
                return copy;
            continue;
        }
        const std::error_code error = writeNewFile(copy, *bytes);
        if (!error)
            return copy;
        if (error != std::errc::file_exists)
            return {};
    }
    return {};
}

} // namespace platform
