#include "platform/cd/AudioCd.h"

#include <cdio/cdio.h>
#include <cdio/cd_types.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr long samplesPerSector = CDIO_CD_FRAMESIZE_RAW / 4; // 588 stereo frames of 16 bits

void put16(std::string& s, unsigned v) {
    s += static_cast<char>((v >> 8) & 0xff);
    s += static_cast<char>(v & 0xff);
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v >> 16);
    put16(s, v & 0xffff);
}

std::string aiffHeader(std::uint32_t frames) {
    const std::uint32_t dataBytes = frames * 4;
    std::string h = "FORM";
    put32(h, 4 + 8 + 18 + 8 + 8 + dataBytes);
    h += "AIFFCOMM";
    put32(h, 18);
    put16(h, 2);
    put32(h, frames);
    put16(h, 16);
    h.append("\x40\x0E\xAC\x44\0\0\0\0\0\0", 10); // 44100 as an 80-bit extended number
    h += "SSND";
    put32(h, 8 + dataBytes);
    put32(h, 0);
    put32(h, 0);
    return h;
}

void quiet(cdio_log_level_t, const char*) {}

} // namespace

struct AudioCd::Handles {
    CdIo_t* cdio = nullptr;
    cdrom_drive_t* drive = nullptr;
    ~Handles() {
        if (drive)
            cdio_cddap_close_no_free_cdio(drive);
        if (cdio)
            cdio_destroy(cdio);
    }
};

std::vector<std::string> AudioCd::audioCdDrives() {
    cdio_log_set_handler(quiet);
    std::vector<std::string> drives;
    char** found = cdio_get_devices_with_cap(nullptr, CDIO_FS_AUDIO, false);
    for (char** d = found; d && *d; ++d)
        drives.emplace_back(*d);
    if (found)
        cdio_free_device_list(found);
    return drives;
}

std::unique_ptr<AudioCd> AudioCd::open(const std::string& deviceOrImage, std::string* error) {
    cdio_log_set_handler(quiet);
    auto handles = std::make_unique<Handles>();
    handles->cdio = cdio_open(deviceOrImage.c_str(), DRIVER_UNKNOWN);
    if (!handles->cdio) {
        *error = "\"" + deviceOrImage + "\" is neither an audio CD drive nor a disc image that can be read.";
        return nullptr;
    }
    const track_t first = cdio_get_first_track_num(handles->cdio);
    const track_t count = cdio_get_num_tracks(handles->cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        *error = "The disc in \"" + deviceOrImage + "\" has no tracks.";
        return nullptr;
    }
    Toc toc;
    for (track_t t = first; t < first + count; ++t) {
        const lba_t start = cdio_get_track_lba(handles->cdio, t);
        if (start == CDIO_INVALID_LBA) {
            *error = "The table of contents of \"" + deviceOrImage + "\" cannot be read.";
            return nullptr;
        }
        toc.tracks.push_back({t, start, cdio_get_track_format(handles->cdio, t) == TRACK_FORMAT_AUDIO});
    }
    toc.leadoutBlock = cdio_get_track_lba(handles->cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (toc.leadoutBlock == CDIO_INVALID_LBA || toc.leadoutBlock <= toc.tracks.back().startBlock) {
        *error = "The table of contents of \"" + deviceOrImage + "\" cannot be read.";
        return nullptr;
    }
    handles->drive = cdio_cddap_identify_cdio(handles->cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (!handles->drive || cdio_cddap_open(handles->drive) != 0) {
        *error = "The audio of \"" + deviceOrImage + "\" cannot be read.";
        return nullptr;
    }
    return std::unique_ptr<AudioCd>(new AudioCd(std::move(handles), std::move(toc)));
}

AudioCd::AudioCd(std::unique_ptr<Handles> handles, Toc toc) : handles_(std::move(handles)), toc_(std::move(toc)) {}

AudioCd::~AudioCd() = default;

bool AudioCd::extractTrack(int number, const std::string& aiffPath, const Progress& progress, std::string* error) {
    const lsn_t first = cdio_cddap_track_firstsector(handles_->drive, static_cast<track_t>(number));
    const lsn_t last = cdio_cddap_track_lastsector(handles_->drive, static_cast<track_t>(number));
    if (first < 0 || last < first || !cdio_cddap_track_audiop(handles_->drive, static_cast<track_t>(number))) {
        *error = "Track " + std::to_string(number) + " is no audio track.";
        return false;
    }
    const long sectors = last - first + 1;
    const int fd = ::open(aiffPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd == -1) {
        *error = "Cannot write \"" + aiffPath + "\": " + std::strerror(errno);
        return false;
    }
    // Every write is checked; the track is whole only once its data has reached the disk.
    const auto writeAll = [&](const char* bytes, std::size_t length) {
        while (length > 0) {
            const ssize_t n = ::write(fd, bytes, length);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *error = "Cannot write \"" + aiffPath + "\": " + std::strerror(n < 0 ? errno : EIO);
                return false;
            }
            bytes += n;
            length -= static_cast<std::size_t>(n);
        }
        return true;
    };
    const std::string head = aiffHeader(static_cast<std::uint32_t>(sectors * samplesPerSector));
    bool ok = writeAll(head.data(), head.size());

    cdrom_paranoia_t* paranoia = cdio_paranoia_init(handles_->drive);
    cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    cdio_paranoia_seek(paranoia, first, SEEK_SET);
    std::string big(CDIO_CD_FRAMESIZE_RAW, '\0');
    for (long s = 0; s < sectors && ok; ++s) {
        const std::int16_t* samples = cdio_paranoia_read_limited(paranoia, nullptr, 5);
        if (!samples) {
            // The drive's messages are its own allocation, handed over and freed here.
            char* problem = cdio_cddap_errors(handles_->drive);
            *error = "Track " + std::to_string(number) + " cannot be read at sector " + std::to_string(first + s) +
                     (problem ? std::string(": ") + problem : std::string("."));
            if (problem)
                cdio_cddap_free_messages(problem);
            ok = false;
            break;
        }
        // AIFF holds big-endian samples; the drive hands them in the machine's order.
        for (long i = 0; i < CDIO_CD_FRAMESIZE_RAW / 2; ++i) {
            const auto v = static_cast<std::uint16_t>(samples[i]);
            big[static_cast<std::size_t>(2 * i)] = static_cast<char>(v >> 8);
            big[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>(v & 0xff);
        }
        if (!writeAll(big.data(), big.size())) {
            ok = false;
        } else if (progress && !progress(s + 1, sectors)) {
            *error = "Cancelled.";
            ok = false;
        }
    }
    cdio_paranoia_free(paranoia);
    if (ok && ::fsync(fd) != 0) {
        *error = "Cannot write \"" + aiffPath + "\": " + std::strerror(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        *error = "Cannot write \"" + aiffPath + "\": " + std::strerror(errno);
        ok = false;
    }
    if (!ok)
        std::remove(aiffPath.c_str());
    return ok;
}

} // namespace platform
