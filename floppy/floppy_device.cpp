#include "floppy/floppy_device.h"

#include <cstring>

#include "platform/win32_values.h"

#ifdef _WIN32
#include "floppy/win32_floppy.h"
#else
#include "floppy/linux_floppy.h"
#endif

namespace kv {
namespace {

FloppyBackend* g_installed = nullptr;

FloppyBackend& PlatformBackend() {
#ifdef _WIN32
    return Win32PlatformBackend();
#else
    static LinuxFloppyBackend backend;
    return backend;
#endif
}

bool IsOpen(const FloppyDevice& device) { return device.handle != kInvalidDeviceHandle; }

}  // namespace

FloppyBackend& ActiveFloppyBackend() { return g_installed != nullptr ? *g_installed : PlatformBackend(); }

ScopedFloppyBackend::ScopedFloppyBackend(FloppyBackend& backend) : previous_(g_installed) { g_installed = &backend; }

ScopedFloppyBackend::~ScopedFloppyBackend() { g_installed = previous_; }

bool OpenFloppyDevice(FloppyDevice& device) {
    device.mediaWritten = 0;
    if (!ActiveFloppyBackend().Open(device)) {
        device.handle = kInvalidDeviceHandle;
        return false;
    }
    device.lastError = 0;
    return true;
}

bool CloseFloppyDevice(FloppyDevice& device) {
    if (!IsOpen(device)) return false;
    return ActiveFloppyBackend().Close(device);
}

bool ReadFloppySectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count) {
    if (!IsOpen(device)) {
        device.lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    std::memset(buffer, 0, static_cast<std::size_t>(count) * kFloppySectorSize);
    device.lastError = ActiveFloppyBackend().ReadSectors(device, buffer, first, count);
    return device.lastError == 0;
}

bool WriteFloppySectors(FloppyDevice& device, const void* buffer, std::uint32_t first, std::uint32_t count) {
    if (!IsOpen(device)) {
        device.lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    device.lastError = ActiveFloppyBackend().WriteSectors(device, buffer, first, count);
    device.mediaWritten = 1;
    return device.lastError == 0;
}

bool FormatFloppyTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                       std::uint32_t cylinder, std::uint32_t head) {
    if (!IsOpen(device)) {
        device.lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    device.lastError = ActiveFloppyBackend().FormatTrack(device, mediaType, sectorsPerTrack, cylinder, head);
    device.mediaWritten = 1;
    return device.lastError == 0;
}

bool PrepareFloppyFormat(FloppyDevice& device, const TrackLayout& layout) {
    if (!IsOpen(device)) {
        device.lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    device.lastError = ActiveFloppyBackend().PrepareFormat(device, layout);
    return device.lastError == 0;
}

std::uint32_t BiosStatusToError(std::uint8_t status) {
    switch (status) {
        case 0x00: return ERROR_SUCCESS;
        case 0x01: return ERROR_INVALID_FUNCTION;
        case 0x02: return ERROR_NO_MEDIA_IN_DRIVE;
        case 0x03: return ERROR_WRITE_PROTECT;
        case 0x04:
        case 0x0A:
        case 0x0B:
        case 0x0D: return ERROR_SECTOR_NOT_FOUND;
        case 0x05: return ERROR_DISK_RESET_FAILED;
        case 0x06: return ERROR_MEDIA_CHANGED;
        case 0x07:
        case 0x0E: return ERROR_INVALID_PARAMETER;
        case 0x0C: return 1358;
        case 0x10: return ERROR_CRC;
        case 0x11: return ERROR_INVALID_DATA;
        case 0x40: return ERROR_SEEK;
        case 0x80:
        case 0xAA: return ERROR_NOT_READY;
        case 0xCC: return ERROR_WRITE_FAULT;
        default: return ERROR_GEN_FAILURE;
    }
}

std::vector<std::string> ListRemovableDrives() { return ActiveFloppyBackend().ListDrives(); }

std::uint32_t DriveIndexOfLine(const std::string& line) {
    unsigned char letter = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
    return static_cast<std::uint32_t>(letter) - 'A';
}

}  // namespace kv
