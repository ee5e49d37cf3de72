#include "floppy/linux_floppy.h"

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/sysmacros.h>

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
constexpr std::uint8_t kFormatFiller = 0xF6;  // what a freshly formatted sector holds

// UFI commands (12-byte command blocks) of USB floppy drives.
constexpr std::uint8_t kUfiFormatUnit = 0x04;
constexpr std::uint8_t kUfiReadFormatCapacities = 0x23;
constexpr std::uint8_t kCapacityListSize = 0xFC;  // allocation length of READ FORMAT CAPACITIES
constexpr unsigned kScsiTimeoutMs = 60000;

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

void WriteBe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint32_t ReadBe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

// The blocks a UFI drive formats for a layout: the whole disk, which tells
// the drive the format.
std::uint32_t UfiBlocks(const TrackLayout& l) { return l.cylinders * l.heads * l.sectorsPerTrack; }

// The error of a failed SCSI command from its sense data (fixed or
// descriptor format).
std::uint32_t SenseToError(const std::uint8_t* sense) {
    const bool descriptor = (sense[0] & 0x7F) >= 0x72;
    const std::uint8_t key = (descriptor ? sense[1] : sense[2]) & 0x0F;
    const std::uint8_t asc = descriptor ? sense[2] : sense[12];
    switch (key) {
        case 0x02: return asc == 0x3A ? ERROR_NO_MEDIA_IN_DRIVE : ERROR_NOT_READY;  // 3Ah: medium not present
        case 0x03: return ERROR_WRITE_FAULT;                                        // medium error
        case 0x05: return 1358;                                                     // illegal request
        case 0x06: return ERROR_MEDIA_CHANGED;                                      // unit attention
        case 0x07: return ERROR_WRITE_PROTECT;                                      // data protect
        default: return ERROR_GEN_FAILURE;
    }
}

// The driver's parameters for formatting a layout: its geometry, with the
// gaps, data rate and step rate of the driver's own formats of that density.
// A 40-cylinder double-density layout is taken to be 5.25" media in an
// 80-track (1.2 MB) drive, which steps twice per cylinder.
floppy_struct ControllerGeometry(const TrackLayout& l) {
    struct Density {
        std::uint32_t maxSectors;
        unsigned char gap, rate, spec1, fmtGap;
    };
    static constexpr Density kDensities[] = {
        {10, 0x2A, 0x02, 0xDF, 0x50},   // 720 KB 3.5"
        {15, 0x1B, 0x00, 0xDF, 0x54},   // 1.2 MB 5.25"
        {21, 0x1B, 0x00, 0xCF, 0x6C},   // 1.44 MB 3.5"
        {~0u, 0x1B, 0x43, 0xAF, 0x54},  // 2.88 MB 3.5"
    };
    const Density& d = *std::find_if(std::begin(kDensities), std::end(kDensities),
                                     [&](const Density& r) { return l.sectorsPerTrack <= r.maxSectors; });
    floppy_struct g{};
    g.size = UfiBlocks(l);
    g.sect = l.sectorsPerTrack;
    g.head = l.heads;
    g.track = l.cylinders;
    g.gap = d.gap;
    g.rate = d.rate;
    g.spec1 = d.spec1;
    g.fmt_gap = d.fmtGap;
    if (l.sectorsPerTrack <= 10 && l.cylinders <= 42) {  // 360 KB in a 1.2 MB drive
        g.stretch = FD_STRETCH;
        g.gap = 0x23;
        g.rate = 0x01;
    }
    return g;
}

}  // namespace

std::vector<std::string> ScanLinuxDrives(const std::string& sysBlock, const std::string& dev) {
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
    std::vector<std::string> drives;
    for (const auto& [number, name] : controller) drives.push_back(dev + "/" + name);
    for (const std::string& name : removable) drives.push_back(dev + "/" + name);
    if (drives.size() > 26) drives.resize(26);
    return drives;
}

std::vector<std::string> SplitDriveList(const std::string& list) {
    std::vector<std::string> drives;
    std::size_t start = 0;
    while (start <= list.size() && drives.size() < 26) {
        std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) drives.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return drives;
}

LinuxFloppyBackend::LinuxFloppyBackend(LinuxSysApi& sys, std::string sysBlock, std::string dev)
    : sys_(sys), sysBlock_(std::move(sysBlock)), dev_(std::move(dev)) {}

std::uint32_t LinuxFloppyBackend::ErrnoError() { return ErrorFromErrno(sys_.Errno()); }

const std::vector<std::string>& LinuxFloppyBackend::Drives() {
    if (!scanned_) {
        // KORVANE_DRIVES, when set (even empty), replaces the drives found.
        const char* named = std::getenv("KORVANE_DRIVES");
        drives_ = named != nullptr ? SplitDriveList(named) : ScanLinuxDrives(sysBlock_, dev_);
        for (const std::string& path : attached_) {
            if (drives_.size() < 26 && std::find(drives_.begin(), drives_.end(), path) == drives_.end()) {
                drives_.push_back(path);
            }
        }
        scanned_ = true;
    }
    return drives_;
}

std::vector<std::string> LinuxFloppyBackend::ListDrives() {
    scanned_ = false;  // drives come and go: look again for every list
    std::vector<std::string> lines;
    const std::vector<std::string>& drives = Drives();
    for (std::size_t i = 0; i < drives.size(); ++i) {
        lines.push_back(std::string(1, static_cast<char>('A' + i)) + ": [" + drives[i] + "]");
    }
    return lines;
}

bool LinuxFloppyBackend::AttachDrive(const std::string& path, std::uint32_t& driveIndex) {
    const std::vector<std::string>& drives = Drives();
    auto it = std::find(drives.begin(), drives.end(), path);
    if (it == drives.end()) {
        if (drives.size() >= 26) return false;
        attached_.push_back(path);
        drives_.push_back(path);
        it = drives_.end() - 1;
    }
    driveIndex = static_cast<std::uint32_t>(it - drives_.begin());
    return true;
}

std::uint32_t LinuxFloppyBackend::OpenError(const std::string& path, int flags) {
    const int error = sys_.Errno();
    // O_EXCL is refused while the device is mounted or otherwise in use.
    if (error == EBUSY && (flags & O_EXCL) != 0) return ERROR_SHARING_VIOLATION;
    // A write-protected disk opens for reading only.
    if ((flags & O_ACCMODE) == O_RDWR && (error == EROFS || error == EACCES || error == EPERM)) {
        int probe = sys_.Open(path, (flags & ~(O_ACCMODE | O_EXCL)) | O_RDONLY);
        if (probe >= 0) {
            sys_.Close(probe);
            return ERROR_WRITE_PROTECT;
        }
    }
    return ErrorFromErrno(error);
}

bool LinuxFloppyBackend::Open(FloppyDevice& device) {
    const std::vector<std::string>& drives = Drives();
    device.handle = kInvalidDeviceHandle;
    auto fail = [&device](std::uint32_t error) {
        device.lastError = error;
        return false;
    };
    if (device.driveIndex >= drives.size()) return fail(ERROR_INVALID_DRIVE);
    const std::string& path = drives[device.driveIndex];
    struct stat st {};
    // A device or file that is not there is a drive without a disk.
    if (sys_.Stat(path, st) != 0) return fail(sys_.Errno() == ENOENT ? ERROR_NOT_READY : ErrnoError());
    const bool block = S_ISBLK(st.st_mode);
    if (!block && !S_ISREG(st.st_mode)) return fail(ERROR_BAD_UNIT);
    // A stand-in is a disk of its size: an empty file is no disk.
    if (!block && st.st_size < static_cast<off_t>(kFloppySectorSize)) return fail(ERROR_NOT_READY);
    // O_DIRECT sends every sector of a block device to the drive by itself
    // instead of whole cache pages; O_EXCL keeps it to us while we write.
    const bool readOnly = device.readOnlyAccess != 0;
    int flags = O_CLOEXEC | (readOnly ? O_RDONLY : O_RDWR);
    if (block) flags |= O_DIRECT | (readOnly ? 0 : O_EXCL);
    const int fd = sys_.Open(path, flags);
    if (fd < 0) return fail(OpenError(path, flags));
    std::uint32_t error = 0;
    int sectorSize = 0;
    if (!block && !readOnly && sys_.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = sys_.Errno() == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrnoError();
    } else if (block && sys_.Ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize != int{kFloppySectorSize}) {
        error = kErrorSectorSize;
    }
    if (error != 0) {
        sys_.Close(fd);
        return fail(error);
    }
    OpenState state;
    state.kind = !block ? Kind::StandIn : major(st.st_rdev) == kFloppyMajor ? Kind::Controller : Kind::Scsi;
    state.sectors = block ? 0 : static_cast<std::uint64_t>(st.st_size) / kFloppySectorSize;
    device.handle = static_cast<DeviceHandle>(fd);
    open_[device.handle] = state;
    return true;
}

bool LinuxFloppyBackend::Close(FloppyDevice& device) {
    const int fd = FdOf(device);
    const OpenState state = open_[device.handle];
    std::uint32_t remembered = 0;
    auto step = [&](int result) {
        if (result != 0) remembered = ErrnoError();
    };
    if (state.formatting) step(sys_.Ioctl(fd, FDFMTEND, nullptr));
    if (device.mediaWritten) {
        // Make the system forget what it knew of the disk: the written data goes
        // out, and the cached blocks and the driver's buffers are dropped.
        step(sys_.Fsync(fd));
        if (state.kind != Kind::StandIn) step(sys_.Ioctl(fd, BLKFLSBUF, nullptr));
        if (state.kind == Kind::Controller) step(sys_.Ioctl(fd, FDFLUSH, nullptr));
    }
    open_.erase(device.handle);
    // The descriptor is released even when close reports an error.
    device.handle = kInvalidDeviceHandle;
    if (sys_.Close(fd) != 0) {
        device.lastError = remembered != 0 ? remembered : ErrnoError();
        return false;
    }
    device.lastError = 0;
    return true;
}

std::uint32_t LinuxFloppyBackend::Transfer(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count,
                                           bool write) {
    const int fd = FdOf(device);
    const OpenState& state = open_[device.handle];
    // A stand-in is a disk of its size: nothing is written behind its end.
    std::uint64_t within = count;
    if (write && state.kind == Kind::StandIn) {
        within = first < state.sectors ? std::min(within, state.sectors - first) : 0;
    }
    const std::size_t size = static_cast<std::size_t>(within) * kFloppySectorSize;
    const off_t offset = static_cast<off_t>(first) * kFloppySectorSize;
    std::uint8_t* data = static_cast<std::uint8_t*>(buffer);
    const bool direct = state.kind != Kind::StandIn;
    AlignedBuffer bounce(direct ? size : 0);
    if (direct) {
        if (bounce.p == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
        if (write)
            std::memcpy(bounce.p, buffer, size);
        else
            std::memset(bounce.p, 0, size);
        data = static_cast<std::uint8_t*>(bounce.p);
    }
    std::size_t done = 0;
    std::uint32_t error = 0;
    while (done < size && error == 0) {
        const off_t at = offset + static_cast<off_t>(done);
        ssize_t n =
            write ? sys_.Pwrite(fd, data + done, size - done, at) : sys_.Pread(fd, data + done, size - done, at);
        if (n < 0 && sys_.Errno() == EINTR) continue;
        if (n < 0)
            error = write && sys_.Errno() == ENOSPC ? ERROR_SECTOR_NOT_FOUND : ErrnoError();
        else if (n == 0)
            error = ERROR_SECTOR_NOT_FOUND;  // behind the end of the disk
        else
            done += static_cast<std::size_t>(n);
    }
    if (!write && data != buffer) std::memcpy(buffer, data, done);
    if (error == 0 && within < count) error = ERROR_SECTOR_NOT_FOUND;
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

std::uint32_t LinuxFloppyBackend::ScsiCommand(int fd, const std::uint8_t (&cdb)[12], void* data, std::size_t size,
                                              bool toDevice) {
    std::uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = toDevice ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
    io.cmd_len = sizeof cdb;
    io.mx_sb_len = sizeof sense;
    io.dxfer_len = static_cast<unsigned>(size);
    io.dxferp = data;
    io.cmdp = const_cast<std::uint8_t*>(cdb);
    io.sbp = sense;
    io.timeout = kScsiTimeoutMs;
    if (sys_.Ioctl(fd, SG_IO, &io) != 0) {
        // A block device that takes no SCSI commands cannot format.
        const int error = sys_.Errno();
        return error == ENOTTY || error == EINVAL ? kErrorCannotFormatTracks : ErrorFromErrno(error);
    }
    if ((io.info & SG_INFO_OK_MASK) == SG_INFO_OK) return 0;
    return io.sb_len_wr > 0 ? SenseToError(sense) : ERROR_GEN_FAILURE;
}

std::uint32_t LinuxFloppyBackend::CheckUfiCapacity(int fd, const TrackLayout& layout) {
    const std::uint8_t cdb[12] = {kUfiReadFormatCapacities, 0, 0, 0, 0, 0, 0, 0, kCapacityListSize, 0, 0, 0};
    std::uint8_t list[kCapacityListSize] = {};
    std::uint32_t error = ScsiCommand(fd, cdb, list, sizeof list, false);
    if (error == 1358) error = kErrorCannotFormatTracks;  // it does not know the command: no UFI drive
    if (error != 0) return error;
    // A 4-byte header whose last byte is the length of the 8-byte descriptors
    // that follow: number of blocks (4 bytes), code or reserved, block length (3).
    const std::size_t end = std::min<std::size_t>(4u + list[3], sizeof list);
    for (std::size_t at = 4; at + 8 <= end; at += 8) {
        if (ReadBe(list + at, 4) == UfiBlocks(layout) && ReadBe(list + at + 5, 3) == kFloppySectorSize) return 0;
    }
    return 1358;  // the drive cannot format this capacity
}

std::uint32_t LinuxFloppyBackend::PrepareFormat(FloppyDevice& device, const TrackLayout& layout) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    if (layout.cylinders == 0 || layout.heads == 0 || layout.sectorsPerTrack == 0) return ERROR_INVALID_PARAMETER;
    OpenState& state = open_[device.handle];
    const int fd = FdOf(device);
    if (state.kind == Kind::Controller) {
        floppy_struct geometry = ControllerGeometry(layout);
        if (sys_.Ioctl(fd, FDSETPRM, &geometry) != 0 || sys_.Ioctl(fd, FDFMTBEG, nullptr) != 0) return ErrnoError();
        state.formatting = true;
    } else if (state.kind == Kind::Scsi) {
        if (std::uint32_t error = CheckUfiCapacity(fd, layout)) return error;
    }
    state.layout = layout;
    state.prepared = true;
    return 0;
}

std::uint32_t LinuxFloppyBackend::FillTrack(FloppyDevice& device, const OpenState& state, std::uint32_t cylinder,
                                            std::uint32_t head) {
    const TrackLayout& l = state.layout;
    const std::uint64_t first = (std::uint64_t{cylinder} * l.heads + head) * l.sectorsPerTrack;
    if (first >= state.sectors) return ERROR_SECTOR_NOT_FOUND;
    std::vector<std::uint8_t> filler(std::size_t{l.sectorsPerTrack} * kFloppySectorSize, kFormatFiller);
    return Transfer(device, filler.data(), static_cast<std::uint32_t>(first), l.sectorsPerTrack, true);
}

std::uint32_t LinuxFloppyBackend::FormatTrack(FloppyDevice& device, std::uint32_t, std::uint32_t,
                                              std::uint32_t cylinder, std::uint32_t head) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    const OpenState& state = open_[device.handle];
    if (!state.prepared) return ERROR_INVALID_FUNCTION;  // PrepareFloppyFormat comes first
    const int fd = FdOf(device);
    if (state.kind == Kind::StandIn) return FillTrack(device, state, cylinder, head);
    if (state.kind == Kind::Controller) {
        format_descr track{0, head, cylinder};
        return sys_.Ioctl(fd, FDFMTTRK, &track) == 0 ? 0 : ErrnoError();
    }
    if (cylinder > 0xFF || head > 1) return ERROR_INVALID_PARAMETER;
    // FORMAT UNIT of one track: FmtData set, defect list format 7, 12 bytes of
    // parameters.
    const std::uint8_t track = static_cast<std::uint8_t>(cylinder);
    const std::uint8_t cdb[12] = {kUfiFormatUnit, 0x17, track, 0, 0, 0, 0, 0, 12, 0, 0, 0};
    // The defect list header (FOV, DCRT and SingleTrack set, the head in Side;
    // 8 bytes follow) and the format descriptor (number of blocks, block length).
    std::uint8_t parameters[12] = {0, static_cast<std::uint8_t>(0xB0 | head), 0, 8, 0, 0, 0, 0, 0, 0, 0x02, 0x00};
    WriteBe32(parameters + 4, UfiBlocks(state.layout));
    return ScsiCommand(fd, cdb, parameters, sizeof parameters, true);
}

}  // namespace kv
