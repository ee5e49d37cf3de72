// The floppy device layer on Windows: the NT family opens the drive's volume
// ("\\.\A:") and reads and writes it like a file; the Windows 95 family goes
// through the VWIN32 device and the DOS and BIOS disk services it exposes.
//
// Both are written against Win32Api, the narrow set of Windows calls they make,
// so that the exact calls are checked by tests on any platform. Only the adapter
// that binds Win32Api to the real Windows functions is Windows-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "floppy/floppy_device.h"

namespace kv {

namespace win32 {
// CreateFileA and friends.
inline constexpr std::uint32_t kFileBegin = 0;  // FILE_BEGIN
inline constexpr std::uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;
inline constexpr std::uint32_t kFlagDeleteOnClose = 0x04000000;  // FILE_FLAG_DELETE_ON_CLOSE
inline constexpr std::uint32_t kFlagNoBuffering = 0x20000000;    // FILE_FLAG_NO_BUFFERING
inline constexpr std::uint32_t kPlatformWin32Nt = 2;             // VER_PLATFORM_WIN32_NT
inline constexpr std::uint32_t kDriveRemovable = 2;              // DRIVE_REMOVABLE

// Control codes of the NT family.
inline constexpr std::uint32_t kFsctlLockVolume = 0x00090018;
inline constexpr std::uint32_t kFsctlUnlockVolume = 0x0009001C;
inline constexpr std::uint32_t kFsctlDismountVolume = 0x00090020;
inline constexpr std::uint32_t kIoctlDiskFormatTracks = 0x0007C018;

// Control codes of the VWIN32 device.
inline constexpr std::uint32_t kDiocDosIoctl = 1;  // INT 21h
inline constexpr std::uint32_t kDiocDosInt25 = 2;  // absolute disk read
inline constexpr std::uint32_t kDiocDosInt26 = 3;  // absolute disk write
inline constexpr std::uint32_t kDiocDosInt13 = 4;  // BIOS disk services

inline constexpr std::uint32_t kCarryFlag = 0x0001;
}  // namespace win32

// The register block of a VWIN32 request, in and out.
struct DiocRegisters {
    std::uint32_t reg_EBX;
    std::uint32_t reg_EDX;
    std::uint32_t reg_ECX;
    std::uint32_t reg_EAX;
    std::uint32_t reg_EDI;
    std::uint32_t reg_ESI;
    std::uint32_t reg_Flags;
};
static_assert(sizeof(DiocRegisters) == 28, "DIOC_REGISTERS is 28 bytes");

// The input of IOCTL_DISK_FORMAT_TRACKS.
struct FormatParameters {
    std::uint32_t MediaType;
    std::uint32_t StartCylinderNumber;
    std::uint32_t EndCylinderNumber;
    std::uint32_t StartHeadNumber;
    std::uint32_t EndHeadNumber;
};
static_assert(sizeof(FormatParameters) == 20, "FORMAT_PARAMETERS is 20 bytes");

// The Windows calls the two realisations make, one for one.
class Win32Api {
public:
    virtual ~Win32Api() = default;
    virtual DeviceHandle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t share,
                                     std::uint32_t disposition, std::uint32_t flags) = 0;
    virtual bool DeviceIoControl(DeviceHandle handle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                                 std::uint32_t outSize) = 0;
    virtual std::uint32_t SetFilePointer(DeviceHandle handle, std::int32_t low, std::int32_t* high,
                                         std::uint32_t method) = 0;
    virtual bool ReadFile(DeviceHandle handle, void* buffer, std::uint32_t size, std::uint32_t& done) = 0;
    virtual bool WriteFile(DeviceHandle handle, const void* buffer, std::uint32_t size, std::uint32_t& done) = 0;
    virtual bool CloseHandle(DeviceHandle handle) = 0;
    virtual std::uint32_t GetLastError() = 0;
    // dwPlatformId of GetVersionExA.
    virtual std::uint32_t GetVersionPlatformId() = 0;
    virtual std::uint32_t GetLogicalDrives() = 0;
    virtual std::uint32_t GetDriveTypeA(const std::string& root) = 0;
    virtual void GetVolumeInformationA(const std::string& root, char* label, std::uint32_t labelSize, char* fileSystem,
                                       std::uint32_t fileSystemSize) = 0;
    // The 32-bit flat address of a buffer as the DOS and BIOS services take it
    // in a register.
    virtual std::uint32_t AddressOf(const void* buffer) = 0;
};

// True on the Windows 95 family (any platform id but VER_PLATFORM_WIN32_NT);
// asks only when `cache` is still unknown.
bool IsVwin32Platform(Win32Api& api, std::optional<bool>& cache);

// What both families share: the list of removable drives.
class Win32FloppyBackend : public FloppyBackend {
public:
    explicit Win32FloppyBackend(Win32Api& api) : api_(api) {}
    std::vector<std::string> ListDrives() override;

protected:
    // A volume that could not be locked is not kept open: records `error`,
    // closes the handle and returns false.
    bool ReleaseAfterFailedLock(FloppyDevice& device, std::uint32_t error);

    Win32Api& api_;
};

class NtFloppyBackend final : public Win32FloppyBackend {
public:
    using Win32FloppyBackend::Win32FloppyBackend;
    bool Open(FloppyDevice& device) override;
    bool Close(FloppyDevice& device) override;
    std::uint32_t ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count) override;
    std::uint32_t WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                               std::uint32_t count) override;
    std::uint32_t FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                              std::uint32_t cylinder, std::uint32_t head) override;

private:
    bool Seek(DeviceHandle handle, std::uint32_t first);
};

class Vwin32FloppyBackend final : public Win32FloppyBackend {
public:
    using Win32FloppyBackend::Win32FloppyBackend;
    bool Open(FloppyDevice& device) override;
    bool Close(FloppyDevice& device) override;
    std::uint32_t ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count) override;
    std::uint32_t WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                               std::uint32_t count) override;
    std::uint32_t FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                              std::uint32_t cylinder, std::uint32_t head) override;

private:
    // One VWIN32 request; 0, or the error code: for the DOS IOCTL requests the
    // low 12 bits of EAX, for the disk services BiosStatusToError of AH.
    std::uint32_t Call(DeviceHandle handle, std::uint32_t code, DiocRegisters& regs, bool biosStatus);
};

#ifdef _WIN32
// The realisation of this Windows: VWIN32 on the Windows 95 family, else NT.
FloppyBackend& Win32PlatformBackend();
#endif

}  // namespace kv
