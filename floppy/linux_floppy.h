// The floppy device layer on Linux: drives on the floppy-disk controller
// (/dev/fdN), other removable block devices such as USB floppy drives (which
// format through UFI commands), and plain files standing in for floppies. The
// drives are those KORVANE_DRIVES names, else those found in /sys/block; a path
// given where a drive is expected becomes one. See docs/FLOPPY.md.
//
// The backend is written against LinuxSysApi, the narrow set of system calls it
// makes, so that the tests check every call and parameter block; only
// floppy/linux_sys_api.cpp binds it to the real calls.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "floppy/floppy_device.h"

namespace kv {

// The system calls of the Linux backend, one for one. Each returns what the
// call returns; Errno gives the errno of the last one that failed.
class LinuxSysApi {
public:
    virtual ~LinuxSysApi() = default;
    virtual int Open(const std::string& path, int flags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Stat(const std::string& path, struct stat& status) = 0;
    // Every ioctl request, SG_IO among them, with its parameter block.
    virtual int Ioctl(int fd, unsigned long request, void* parameters) = 0;
    virtual ssize_t Pread(int fd, void* buffer, std::size_t size, off_t offset) = 0;
    virtual ssize_t Pwrite(int fd, const void* buffer, std::size_t size, off_t offset) = 0;
    virtual int Flock(int fd, int operation) = 0;
    virtual int Fsync(int fd) = 0;
    virtual int Errno() = 0;
};

// The real system calls.
LinuxSysApi& LinuxSystemCalls();

// The drives of this machine in letter order: the floppy-controller drives
// fd0, fd1 ... by number, then every other block device whose "removable"
// attribute is 1 (optical drives excepted), by name. `sysBlock` is where the
// kernel lists block devices (/sys/block), `dev` where their nodes are (/dev).
std::vector<std::string> ScanLinuxDrives(const std::string& sysBlock, const std::string& dev);

// The paths of a KORVANE_DRIVES value: separated by ":", empty ones skipped,
// at most 26.
std::vector<std::string> SplitDriveList(const std::string& list);

class LinuxFloppyBackend final : public FloppyBackend {
public:
    explicit LinuxFloppyBackend(LinuxSysApi& sys = LinuxSystemCalls(), std::string sysBlock = "/sys/block",
                                std::string dev = "/dev");

    bool Open(FloppyDevice& device) override;
    bool Close(FloppyDevice& device) override;
    std::uint32_t ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count) override;
    std::uint32_t WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                               std::uint32_t count) override;
    // Controller drives get the layout with FDSETPRM and then FDFMTBEG; USB
    // drives must list its capacity in their formattable capacities; stand-ins
    // take any layout; other block devices cannot format.
    std::uint32_t PrepareFormat(FloppyDevice& device, const TrackLayout& layout) override;
    // Formats the track of the prepared layout: FDFMTTRK, a UFI FORMAT UNIT for
    // that one track, or, on a stand-in, the filler byte 0xF6 over its sectors.
    std::uint32_t FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                              std::uint32_t cylinder, std::uint32_t head) override;
    // "A: [/dev/fd0]": the letter and the device (or file) behind it.
    std::vector<std::string> ListDrives() override;
    // Gives the listed drive of that path, or the next free letter to it.
    bool AttachDrive(const std::string& path, std::uint32_t& driveIndex) override;

private:
    enum class Kind {
        StandIn,     // a plain file: a disk of its size
        Controller,  // a drive on the floppy-disk controller (/dev/fdN)
        Scsi,        // any other block device; a USB floppy drive speaks UFI
    };
    struct OpenState {
        Kind kind = Kind::StandIn;
        std::uint64_t sectors = 0;  // a stand-in's size in whole sectors
        TrackLayout layout{};       // the layout PrepareFormat was given
        bool prepared = false;
        bool formatting = false;  // FDFMTBEG was issued
    };
    const std::vector<std::string>& Drives();
    std::uint32_t OpenError(const std::string& path, int flags);
    std::uint32_t Transfer(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count, bool write);
    std::uint32_t ErrnoError();
    std::uint32_t FillTrack(FloppyDevice& device, const OpenState& state, std::uint32_t cylinder, std::uint32_t head);
    std::uint32_t ScsiCommand(int fd, const std::uint8_t (&cdb)[12], void* data, std::size_t size, bool toDevice);
    std::uint32_t CheckUfiCapacity(int fd, const TrackLayout& layout);

    LinuxSysApi& sys_;
    std::string sysBlock_;
    std::string dev_;
    bool scanned_ = false;
    std::vector<std::string> drives_;
    std::vector<std::string> attached_;
    std::map<DeviceHandle, OpenState> open_;
};

}  // namespace kv
