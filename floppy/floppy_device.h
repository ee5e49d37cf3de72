// Raw access to a physical floppy drive: open a drive, read and write 512-byte
// sectors by logical number, format one track, close it so that the system
// notices the changed disk; and the list of removable drives.
//
// The operations are free functions on a FloppyDevice record that the calling
// workflow owns. Behind them sits one realisation of the platform, chosen at run
// time (Linux block devices, or the NT or VWIN32 way on Windows); tests install
// their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

inline constexpr std::uint32_t kFloppySectorSize = 512;

// The platform's handle of an open drive: a file descriptor on Linux, a HANDLE
// on Windows.
using DeviceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = ~DeviceHandle{0};

struct FloppyDevice {
    std::uint32_t driveIndex = 0;      // 0 = A:, 1 = B:, ... 25 = Z:; set by the caller
    std::uint32_t readOnlyAccess = 0;  // set: read only, no lock; clear: read/write, exclusive
    DeviceHandle handle = kInvalidDeviceHandle;
    std::uint32_t lastError = 0;     // error code of the last operation; 0 after success
    std::uint32_t mediaWritten = 0;  // a write or format was attempted since opening
};

// The tracks of a disk about to be formatted: cylinders 0 .. cylinders - 1 on
// heads 0 .. heads - 1, each with sectorsPerTrack sectors of 512 bytes.
struct TrackLayout {
    std::uint32_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t mediaType = 0;  // the MEDIA_TYPE of the format table's row
};

// One realisation of the device layer. Open and Close carry the whole semantics
// of OpenFloppyDevice and CloseFloppyDevice; the transfers are called only on an
// open device (the free functions check the handle, clear read buffers and keep
// mediaWritten) and return the error code, 0 for success.
class FloppyBackend {
public:
    virtual ~FloppyBackend() = default;

    virtual bool Open(FloppyDevice& device) = 0;
    virtual bool Close(FloppyDevice& device) = 0;
    virtual std::uint32_t ReadSectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count) = 0;
    virtual std::uint32_t WriteSectors(FloppyDevice& device, const void* buffer, std::uint32_t first,
                                       std::uint32_t count) = 0;
    virtual std::uint32_t FormatTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                                      std::uint32_t cylinder, std::uint32_t head) = 0;
    // Before the first track is formatted: 0 when the drive can format the
    // layout (it may take note of it), else the error that refuses it.
    virtual std::uint32_t PrepareFormat(FloppyDevice& /*device*/, const TrackLayout& /*layout*/) { return 0; }
    // One line per removable drive, in the order of the letters: "A:" or
    // "A: [label]".
    virtual std::vector<std::string> ListDrives() = 0;
    // Makes the device or file at `path` a drive and gives its index; false when
    // the platform names drives by letter only.
    virtual bool AttachDrive(const std::string& /*path*/, std::uint32_t& /*driveIndex*/) { return false; }
};

// The realisation in use: the platform's own unless one was installed.
FloppyBackend& ActiveFloppyBackend();

// Installs a realisation (null goes back to the platform's own) for the lifetime
// of the object; tests and stand-in drives use it.
class ScopedFloppyBackend {
public:
    explicit ScopedFloppyBackend(FloppyBackend& backend);
    ~ScopedFloppyBackend();
    ScopedFloppyBackend(const ScopedFloppyBackend&) = delete;
    ScopedFloppyBackend& operator=(const ScopedFloppyBackend&) = delete;

private:
    FloppyBackend* previous_;
};

// Opens `driveIndex` as `readOnlyAccess` says. Always sets handle, lastError and
// clears mediaWritten.
bool OpenFloppyDevice(FloppyDevice& device);

// Unlocks, makes the system forget the disk when it was written, releases the
// handle. Fails at once, changing nothing, on a device that is not open.
bool CloseFloppyDevice(FloppyDevice& device);

// Reads `count` sectors from `first` into `buffer` (count × 512 bytes), which is
// cleared first so that whatever the transfer does not deliver stays zero.
bool ReadFloppySectors(FloppyDevice& device, void* buffer, std::uint32_t first, std::uint32_t count);

// Writes `count` sectors from `buffer` at `first`; sets mediaWritten.
bool WriteFloppySectors(FloppyDevice& device, const void* buffer, std::uint32_t first, std::uint32_t count);

// Low-level formats one track with `sectorsPerTrack` 512-byte sectors. The
// media type is a MEDIA_TYPE value of the format table. Sets mediaWritten.
bool FormatFloppyTrack(FloppyDevice& device, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                       std::uint32_t cylinder, std::uint32_t head);

// Asks the drive, before anything is formatted or written, whether it can
// format the tracks of `layout`; false (with lastError) when it cannot.
bool PrepareFloppyFormat(FloppyDevice& device, const TrackLayout& layout);

// The error code for a status byte of the BIOS and DOS disk services (AH).
std::uint32_t BiosStatusToError(std::uint8_t status);

// The lines the drive lists of the floppy dialogs show.
std::vector<std::string> ListRemovableDrives();

// The drive index of a drive line: its first character minus "A".
std::uint32_t DriveIndexOfLine(const std::string& line);

}  // namespace kv
