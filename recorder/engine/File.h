#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

namespace recorder {

// The record of one song file. Thread ownership: the recording worker alone writes the file
// and changes the record; the record's fields are guarded by the owning Stream's lock, and the
// main thread reads them only through Stream::snapshot().
class File {
public:
    // Creates the song's file in `folder` under the first free name of "Title.mp3",
    // "Title (2).mp3", ... — an existing file is never replaced. Fails with the system's error.
    // `extension` names the audio: ".mp3", or ".aac" for AAC.
    static std::error_code create(const std::string& folder, const std::string& title, std::shared_ptr<File>* made,
                                  const std::string& extension = ".mp3");

    explicit File(std::string path);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // A number that tells records apart for as long as the program runs.
    std::uint64_t id() const { return id_; }

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    // The last path component.
    std::string name() const;
    const std::string& title() const { return title_; }

    std::uint64_t bytes() const { return bytes_; }
    void setBytes(std::uint64_t bytes) { bytes_ = bytes; }
    bool isCurrent() const { return current_; }
    void setIsCurrent(bool current) { current_ = current; }
    bool isIncomplete() const { return incomplete_; }
    void setIsIncomplete(bool incomplete) { incomplete_ = incomplete; }
    bool isFirst() const { return first_; }
    void setIsFirst(bool first) { first_ = first; }
    // The station folder a finished song moves into: the one of the download folder in force
    // when the song began.
    const std::string& finishedFolder() const { return finishedFolder_; }
    void setFinishedFolder(std::string folder) { finishedFolder_ = std::move(folder); }

    // The owning stream's change count at the record's last change, for incremental snapshots.
    std::uint64_t changeStamp() const { return changeStamp_; }
    void setChangeStamp(std::uint64_t stamp) { changeStamp_ = stamp; }

    // Appends the bytes to the file, opening it on first use (and again after close()). A write
    // that fails part-way is taken back: the file holds whole writes only.
    std::error_code write(const std::uint8_t* bytes, std::size_t length);
    // Closes the writing handle; a later write opens it again and appends.
    void close();
    bool isOpen() const { return fd_ != -1; }

    // Moves the file into `folder` under the first free name of its title; never replaces.
    std::error_code moveTo(const std::string& folder);

private:
    std::uint64_t id_;
    std::string path_;
    std::string title_;
    std::string extension_ = ".mp3";
    int fd_ = -1;
    std::uint64_t bytes_ = 0;
    bool current_ = false;
    bool incomplete_ = false;
    bool first_ = false;
    std::string finishedFolder_;
    std::uint64_t changeStamp_ = 0;
};

} // namespace recorder
