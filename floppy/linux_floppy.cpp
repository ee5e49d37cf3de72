#include "floppy/linux_floppy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fd.h>
#include <linux/fs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/errors.h"

namespace kv {
namespace {

constexpr unsigned kFloppyMajor = 2;  // the floppy-disk controller's block devices
constexpr std::size_t kDirectAlignment = 4096;

bool IsControllerName(const std::string& name, unsigned& number) {
    if (name.size() < 3 || name.compare(0, 2, "fd") != 0) return false;
    number = 0;
    for (std::size_t i = 2; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return true;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

int FdOf(const FloppyDevice& device) { return static_cast<int>(device.handle); }

std::uint32_t LastErrno() { return ErrorFromErrno(errno); }

// An aligned buffer for transfers that bypass the page cache (O_DIRECT), so
// that each sector goes to the drive by itself.
struct AlignedBuffer {
    explicit AlignedBuffer(std::size_t size) {
        if (::posix_memalign(&p, kDirectAlignment, size) != 0) p = nullptr;
    }
    ~AlignedBuffer() { std::free(p); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    void* p = nullptr;
};

}  // namespace

std::vector<LinuxDrive> ScanLinuxDrives(const std::string& sysBlock, const std::string& dev) {
    std::vector<std::pair<unsigned, std::string>> controller;
    std::vector<std::string> removable;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(sysBlock, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        unsigned number = 0;
        if (IsControllerName(name, number)) {
            controller.emplace_back(number, name);
        } else if (name.compare(0, 2, "sr") != 0 && ReadFirstLine(it->path().string() + "/removable") == "1") {
            removable.push_back(name);
        }
    }
    std::sort(controller.begin(), controller.end());
    std::sort(removable.begin(), removable.end());
    std::vector<LinuxDrive> drives;
    for (const auto& [number, name] : controller) drives.push_back({dev + "/" + name, true});
    for (const std::string& name : removable) drives.push_back({dev + "/" + name, false});
    if (drives.size() > 26) drives.resize(26);
    return drives;
}

LinuxFloppyBackend::LinuxFloppyBackend(std::string sysBlock, std::string dev)
    : sysBlock_(std::move(sysBlock)), dev_(std::move(dev)) {}

const std::vector<LinuxDrive>& LinuxFloppyBackend::Drives() {
    if (!scanned_) {
        drives_ = ScanLinuxDrives(sysBlock_, dev_);
        for (const std::string& path : attached_) {
            if (drives_.size() < 26) drives_.push_back({path, false});
        }
        scanned_ = true;
    }
    return drives_;
}

std::vector<std::string> LinuxFloppyBackend::ListDrives() {
    scanned_ = false;  // drives come and go: look again for every list
    std::vector<std::string> lines;
    const std::vector<LinuxDrive>& drives = Drives();
    for (std::size_t i = 0; i < drives.size(); ++i) {
        lines.push_back(std::string(1, static_cast<char>('A' + i)) + ": [" + drives[i].path + "]");
    }
    return lines;
}

bool LinuxFloppyBackend::AttachDrive(const std::string& path, std::uint32_t& driveIndex) {
    const std::vector<LinuxDrive>& drives = Drives();
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].path == path) {
            driveIndex = static_cast<std::uint32_t>(i);
            return true;
        }
    }
    if (drives.size() >= 26) return false;
    attached_.push_back(path);
    drives_.push_back({path, false});
    driveIndex = static_cast<std::uint32_t>(drives_.size() - 1);
    return true;
}

bool LinuxFloppyBackend::Open(FloppyDevice& device) {
    const std::vector<LinuxDrive>& drives = Drives();
    device.handle = kInvalidDeviceHandle;
    if (device.driveIndex >= drives.size()) {
        device.lastError = ERROR_INVALID_DRIVE;
        return false;
    }
    const std::string& path = drives[device.driveIndex].path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        device.lastError = LastErrno();
        return false;
    }
    bool block = S_ISBLK(st.st_mode);
    if (!block && !S_ISREG(st.st_mode)) {
        device.lastError = ERROR_BAD_UNIT;
        return false;
    }
    // A block device opened for writing with O_EXCL is refused while it is
    // mounted or otherwise in use; O_DIRECT sends every sector to the drive by
    // itself instead of whole cache pages.
    int flags = O_CLOEXEC | (device.readOnlyAccess ? O_RDONLY : O_RDWR);
    if (block) flags |= O_DIRECT | (device.readOnlyAccess ? 0 : O_EXCL);
    int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        device.lastError = LastErrno();
        return false;
    }
    auto fail = [&](std::uint32_t error) {
        ::close(fd);
        device.lastError = error;
        return false;
    };
    // A stand-in file is locked for exclusive use while it is written.
    if (!block && !device.readOnlyAccess && ::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(LastErrno());
#ifdef __linux__
    if (block) {
        int sectorSize = 0;
        if (::ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize != static_cast<int>(kFloppySectorSize)) {
            return fail(kErrorSectorSize);
        }
    }
#endif
    device.handle = static_cast<DeviceHandle>(fd);
    open_[device.handle] = OpenState{block, block && major(st.st_rdev) == kFloppyMajor, false};
    return true;
}

bool LinuxFloppyBackend::Close(FloppyDevice& device) {
    int fd = FdOf(device);
    OpenState state = open_[device.handle];
    std::uint32_t remembered = 0;
#ifdef __linux__
    if (state.formatting && ::ioctl(fd, FDFMTEND) != 0) remembered = LastErrno();
#endif
    if (device.mediaWritten) {
        // Make the system forget what it knew of the disk: the written data goes
        // out, and the cached blocks and the driver's buffers are dropped.
        if (::fsync(fd) != 0) remembered = LastErrno();
#ifdef __linux__
        if (state.blockDevice && ::ioctl(fd, BLKFLSBUF, 0) != 0) remembered = LastErrno();
        if (state.floppyController && ::ioctl(fd, FDFLUSH) != 0) remembered = LastErrno();
#endif
    }
    open_.erase(device.handle);
    // The descriptor is released even when close reports an error.
    device.handle = kInvalidDeviceHandle;
    if (::close(fd) != 0) {
        device.lastError = remembered != 0 ? remembered : LastErrno();
        return false;
    }
    device.lastError = 0;
    return true;
}

std::uint32_t LinuxFloppyBackend::Transfer(FloppyDevice& device, void* buffer, std::uint32_t first,
                                           std::uint32_t count, bool write) {
    int fd = FdOf(device);
    std::size_t size = static_cast<std::size_t>(count) * kFloppySectorSize;
    off_t offset = static_cast<off_t>(first) * kFloppySectorSize;
    std::uint8_t* data = static_cast<std::uint8_t*>(buffer);
    AlignedBuffer bounce(open_[device.handle].blockDevice ? size : 0);
    if (open_[device.handle].blockDevice) {
        if (bounce.p == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
        if (write) std::memcpy(bounce.p, buffer, size);
        else std::memset(bounce.p, 0, size);
        data = static_cast<std::uint8_t*>(bounce.p);
    }
    std::size_t done = 0;
    std::uint32_t error = 0;
    while (done < size) {
        ssize_t n = write ? ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done))
                          : ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = LastErrno();
            break;
        }
        if (n == 0) {  // behind the end of the disk
            error = ERROR_SECTOR_NOT_FOUND;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!write && data != buffer) std::memcpy(buffer, data, done);
    return error;
}

std::uint32_t LinuxFloppyBackend::ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first,
                                              std::uint32_t count) {
    return Transfer(device, buffer, first, count, false);
}

std::uint32_t LinuxFloppyBackend::WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                                               std::uint32_t count) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    return Transfer(device, const_cast<void*>(buffer), first, count, true);
}

std::uint32_t LinuxFloppyBackend::StartFormatting(int fd, std::uint32_t sectorsPerTrack) {
#ifdef __linux__
    // The driver formats with the parameters of the disk in the drive; give it
    // the image's sectors per track with the gaps and data rate of that density.
    floppy_struct params {};
    if (::ioctl(fd, FDGETPRM, &params) != 0) return LastErrno();
    if (params.sect != sectorsPerTrack) {
        bool high = sectorsPerTrack > 10;
        params.sect = sectorsPerTrack;
        params.size = params.sect * params.head * params.track;
        params.gap = high ? 0x1B : 0x2A;
        params.rate = high ? 0x00 : 0x02;
        params.spec1 = high ? 0xCF : 0xDF;
        params.fmt_gap = high ? 0x6C : 0x50;
        if (::ioctl(fd, FDSETPRM, &params) != 0) return LastErrno();
    }
    if (::ioctl(fd, FDFMTBEG) != 0) return LastErrno();
    return 0;
#else
    (void)fd;
    (void)sectorsPerTrack;
    return kErrorCannotFormatTracks;
#endif
}

std::uint32_t LinuxFloppyBackend::FormatTrack(FloppyDevice& device, std::uint32_t, std::uint32_t sectorsPerTrack,
                                              std::uint32_t cylinder, std::uint32_t head) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    OpenState& state = open_[device.handle];
    if (!state.floppyController) return kErrorCannotFormatTracks;
    int fd = FdOf(device);
    if (!state.formatting) {
        if (std::uint32_t error = StartFormatting(fd, sectorsPerTrack)) return error;
        state.formatting = true;
    }
#ifdef __linux__
    format_descr track{0, head, cylinder};
    if (::ioctl(fd, FDFMTTRK, &track) != 0) return LastErrno();
#else
    (void)cylinder;
    (void)head;
#endif
    return 0;
}

}  // namespace kv
