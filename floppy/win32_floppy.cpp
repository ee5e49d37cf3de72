#include "floppy/win32_floppy.h"

#include <cstring>

#include "platform/host_calls.h"
#include "platform/win32_values.h"

namespace kv {

using namespace win32;

bool IsVwin32Platform(Win32Api& api, std::optional<bool>& cache) {
    if (!cache) cache = api.GetVersionPlatformId() != kPlatformWin32Nt;
    return *cache;
}

std::vector<std::string> Win32FloppyBackend::ListDrives() {
    std::vector<std::string> lines;
    std::uint32_t mask = api_.GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        char letter = static_cast<char>('A' + i);
        std::string root = std::string(1, letter) + ":\\";
        if (api_.GetDriveTypeA(root) != kDriveRemovable) continue;
        char label[260] = {};
        char fileSystem[32] = {};
        api_.GetVolumeInformationA(root, label, sizeof label, fileSystem, sizeof fileSystem);
        label[sizeof label - 1] = '\0';
        std::string line = std::string(1, letter) + ":";
        if (label[0] != '\0') line += std::string(" [") + label + "]";
        lines.push_back(line);
    }
    return lines;
}

// --- NT family ---------------------------------------------------------------

bool Win32FloppyBackend::ReleaseAfterFailedLock(FloppyDevice& device, std::uint32_t error) {
    device.lastError = error;
    api_.CloseHandle(device.handle);
    device.handle = kInvalidDeviceHandle;
    return false;
}

bool NtFloppyBackend::Open(FloppyDevice& device) {
    std::string path = std::string("\\\\.\\") + static_cast<char>('A' + device.driveIndex) + ":";
    std::uint32_t access = device.readOnlyAccess ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    device.handle = api_.CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, kFlagNoBuffering);
    if (device.handle == kInvalidDeviceHandle) {
        device.lastError = api_.GetLastError();
        return false;
    }
    if (!device.readOnlyAccess && !api_.DeviceIoControl(device.handle, kFsctlLockVolume, nullptr, 0, nullptr, 0)) {
        return ReleaseAfterFailedLock(device, api_.GetLastError());
    }
    return true;
}

bool NtFloppyBackend::Close(FloppyDevice& device) {
    std::uint32_t remembered = 0;
    if (!device.readOnlyAccess && !api_.DeviceIoControl(device.handle, kFsctlUnlockVolume, nullptr, 0, nullptr, 0)) {
        remembered = api_.GetLastError();
    }
    if (device.mediaWritten && !api_.DeviceIoControl(device.handle, kFsctlDismountVolume, nullptr, 0, nullptr, 0)) {
        remembered = api_.GetLastError();
    }
    if (!api_.CloseHandle(device.handle)) {
        device.lastError = remembered;
        return false;
    }
    device.handle = kInvalidDeviceHandle;
    return true;
}

bool NtFloppyBackend::Seek(DeviceHandle handle, std::uint32_t first) {
    std::uint64_t offset = static_cast<std::uint64_t>(first) * kFloppySectorSize;
    std::int32_t high = static_cast<std::int32_t>(offset >> 32);
    std::uint32_t low = api_.SetFilePointer(handle, static_cast<std::int32_t>(offset & 0xFFFFFFFFu), &high, kFileBegin);
    return low != kInvalidSetFilePointer || api_.GetLastError() == ERROR_SUCCESS;
}

std::uint32_t NtFloppyBackend::ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first,
                                           std::uint32_t count) {
    std::uint32_t size = count * kFloppySectorSize;
    std::uint32_t done = 0;
    if (!Seek(device.handle, first) || !api_.ReadFile(device.handle, buffer, size, done) || done != size) {
        std::uint32_t error = api_.GetLastError();
        return error != 0 ? error : ERROR_SECTOR_NOT_FOUND;
    }
    return 0;
}

std::uint32_t NtFloppyBackend::WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                                            std::uint32_t count) {
    std::uint32_t size = count * kFloppySectorSize;
    std::uint32_t done = 0;
    if (!Seek(device.handle, first) || !api_.WriteFile(device.handle, buffer, size, done) || done != size) {
        std::uint32_t error = api_.GetLastError();
        return error != 0 ? error : ERROR_SECTOR_NOT_FOUND;
    }
    return 0;
}

std::uint32_t NtFloppyBackend::FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t,
                                           std::uint32_t cylinder, std::uint32_t head) {
    FormatParameters params{mediaType, cylinder, cylinder, head, head};
    if (!api_.DeviceIoControl(device.handle, kIoctlDiskFormatTracks, &params, sizeof params, nullptr, 0)) {
        return api_.GetLastError();
    }
    return 0;
}

// --- Windows 95 family (VWIN32) ------------------------------------------------

std::uint32_t Vwin32FloppyBackend::Call(DeviceHandle handle, std::uint32_t code, DiocRegisters& regs, bool biosStatus) {
    bool ok = api_.DeviceIoControl(handle, code, &regs, sizeof regs, &regs, sizeof regs);
    if (ok && (regs.reg_Flags & kCarryFlag) == 0) return 0;
    if (biosStatus) return BiosStatusToError(static_cast<std::uint8_t>(regs.reg_EAX >> 8));
    return regs.reg_EAX & 0xFFF;
}

bool Vwin32FloppyBackend::Open(FloppyDevice& device) {
    device.handle = api_.CreateFileA("\\\\.\\VWIN32", 0, 0, 0, kFlagDeleteOnClose | kFlagNoBuffering);
    if (device.handle == kInvalidDeviceHandle) {
        device.lastError = api_.GetLastError();
        return false;
    }
    if (!device.readOnlyAccess) {
        // Lock the logical volume (generic IOCTL, category 08h, minor 4Ah) at level 0.
        DiocRegisters regs{};
        regs.reg_EAX = 0x440D;
        regs.reg_EBX = device.driveIndex + 1;
        regs.reg_ECX = 0x084A;
        regs.reg_EDX = 0;
        if (std::uint32_t error = Call(device.handle, kDiocDosIoctl, regs, false)) {
            return ReleaseAfterFailedLock(device, error);
        }
    }
    return true;
}

bool Vwin32FloppyBackend::Close(FloppyDevice& device) {
    std::uint32_t remembered = 0;
    if (!device.readOnlyAccess) {
        DiocRegisters regs{};
        regs.reg_EAX = 0x440D;
        regs.reg_EBX = device.driveIndex + 1;
        regs.reg_ECX = 0x086A;  // unlock logical volume
        regs.reg_EDX = 0;
        if (std::uint32_t error = Call(device.handle, kDiocDosIoctl, regs, false)) remembered = error;
    }
    if (device.mediaWritten) {
        DiocRegisters regs{};
        regs.reg_EAX = 0x710D;  // reset drive: flush and reset
        regs.reg_ECX = 0;
        regs.reg_EDX = device.driveIndex + 1;
        regs.reg_EBX = 0;
        if (std::uint32_t error = Call(device.handle, kDiocDosIoctl, regs, false)) remembered = error;
    }
    if (!api_.CloseHandle(device.handle)) {
        device.lastError = remembered;
        return false;
    }
    device.handle = kInvalidDeviceHandle;
    return true;
}

std::uint32_t Vwin32FloppyBackend::ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first,
                                               std::uint32_t count) {
    DiocRegisters regs{};
    regs.reg_EAX = device.driveIndex;  // 0 = A: here
    regs.reg_EBX = api_.AddressOf(buffer);
    regs.reg_ECX = count;
    regs.reg_EDX = first;
    return Call(device.handle, kDiocDosInt25, regs, true);
}

std::uint32_t Vwin32FloppyBackend::WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                                                std::uint32_t count) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    DiocRegisters regs{};
    regs.reg_EAX = device.driveIndex;
    regs.reg_EBX = api_.AddressOf(buffer);
    regs.reg_ECX = count;
    regs.reg_EDX = first;
    return Call(device.handle, kDiocDosInt26, regs, true);
}

std::uint32_t Vwin32FloppyBackend::FormatTrack(FloppyDevice& device, std::uint32_t, std::uint32_t sectorsPerTrack,
                                               std::uint32_t cylinder, std::uint32_t head) {
    if (device.readOnlyAccess) return ERROR_ACCESS_DENIED;
    Bytes fields = AllocateBytes(static_cast<std::size_t>(sectorsPerTrack) * 4);
    if (!fields) return ERROR_NOT_ENOUGH_MEMORY;
    // One address field per sector: cylinder, head, sector number (1 to N, no
    // interleave), size code 2 (512 bytes).
    for (std::uint32_t i = 0; i < sectorsPerTrack; ++i) {
        fields[i * 4 + 0] = static_cast<std::uint8_t>(cylinder);
        fields[i * 4 + 1] = static_cast<std::uint8_t>(head);
        fields[i * 4 + 2] = static_cast<std::uint8_t>(i + 1);
        fields[i * 4 + 3] = 2;
    }
    DiocRegisters regs{};
    regs.reg_EAX = 0x0500 | (sectorsPerTrack & 0xFF);  // AH = 05h format track, AL = sectors
    regs.reg_EBX = api_.AddressOf(fields.get());
    regs.reg_ECX = cylinder << 8;                    // CH = cylinder, CL = 0
    regs.reg_EDX = (head << 8) | device.driveIndex;  // DH = head, DL = drive
    return Call(device.handle, kDiocDosInt13, regs, true);
}

}  // namespace kv
