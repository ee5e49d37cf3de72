// The floppy device layer on Linux: drives on the floppy-disk controller
// (/dev/fdN) and removable block devices such as USB floppy drives, each given a
// drive letter; a plain file given by path stands in for a drive. See
// docs/FLOPPY.md for the rules.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "floppy/floppy_device.h"

namespace kv {

struct LinuxDrive {
    std::string path;              // /dev/fd0, /dev/sdb, or a stand-in file
    bool floppyController = false; // a /dev/fdN drive, which can format tracks
};

// The drives of this machine in letter order: the floppy-controller drives
// fd0, fd1 ... by number, then every other block device whose "removable"
// attribute is 1 (optical drives excepted), by name. `sysBlock` is where the
// kernel lists block devices (/sys/block), `dev` where their nodes are (/dev).
std::vector<LinuxDrive> ScanLinuxDrives(const std::string& sysBlock, const std::string& dev);

class LinuxFloppyBackend final : public FloppyBackend {
public:
    explicit LinuxFloppyBackend(std::string sysBlock = "/sys/block", std::string dev = "/dev");

    bool Open(FloppyDevice& device) override;
    bool Close(FloppyDevice& device) override;
    std::uint32_t ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first,
                              std::uint32_t count) override;
    std::uint32_t WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                               std::uint32_t count) override;
    std::uint32_t FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                              std::uint32_t cylinder, std::uint32_t head) override;
    // "A: [/dev/fd0]": the letter and the device (or file) behind it.
    std::vector<std::string> ListDrives() override;
    // Gives the scanned drive of that path, or the next free letter to it.
    bool AttachDrive(const std::string& path, std::uint32_t& driveIndex) override;

private:
    struct OpenState {
        bool blockDevice = false;
        bool floppyController = false;
        bool formatting = false;  // FDFMTBEG was issued
    };
    const std::vector<LinuxDrive>& Drives();
    std::uint32_t Transfer(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count, bool write);
    std::uint32_t StartFormatting(int fd, std::uint32_t sectorsPerTrack);

    std::string sysBlock_;
    std::string dev_;
    bool scanned_ = false;
    std::vector<LinuxDrive> drives_;
    std::vector<std::string> attached_;
    std::map<DeviceHandle, OpenState> open_;
};

}  // namespace kv
