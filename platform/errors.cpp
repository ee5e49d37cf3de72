#include "platform/errors.h"

#include <cerrno>
#include <cstring>

namespace kv {
namespace {

struct ErrnoCode {
    int error;
    std::uint32_t code;
};

// Host errno values and the codes they are reported as. The first row of a code
// is also the errno whose wording gives that code's text, unless kWording names
// another.
constexpr ErrnoCode kMap[] = {
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENXIO, ERROR_NOT_READY},
    {ENODEV, ERROR_BAD_UNIT},
    {EIO, ERROR_IO_DEVICE},
    {ESPIPE, ERROR_SEEK},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EOVERFLOW, ERROR_FILE_TOO_LARGE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ELOOP, ERROR_INVALID_NAME},
#ifdef ENOMEDIUM
    {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
#endif
#ifdef EMEDIUMTYPE
    {EMEDIUMTYPE, 1358},
#endif
};

// Codes worded as another errno than the first that maps to them: a missing
// folder reads as the host's "No such file or directory", not as ENOTDIR's
// "Not a directory".
constexpr ErrnoCode kWording[] = {
    {ENOENT, ERROR_PATH_NOT_FOUND},
};

struct OwnText {
    std::uint32_t code;
    const char* text;
};

// Codes of the floppy layer that no errno describes well.
constexpr OwnText kOwnTexts[] = {
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    // Another handle holds the file without sharing it (no errno means that).
    {ERROR_SHARING_VIOLATION, "The file or drive is in use by another program, or the drive is mounted."},
    {ERROR_OUTOFMEMORY, "Not enough memory is available to complete this operation."},
    {ERROR_INVALID_DRIVE, "The system cannot find the drive specified."},
    {ERROR_NOT_READY, "The device is not ready: is there a disk in the drive?"},
    {ERROR_CRC, "Data error (cyclic redundancy check)."},
    {ERROR_SECTOR_NOT_FOUND, "The drive cannot find the sector requested."},
    {ERROR_WRITE_FAULT, "The drive cannot write to the disk."},
    {ERROR_READ_FAULT, "The drive cannot read from the disk."},
    {ERROR_GEN_FAILURE, "The device is not functioning."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_MEDIA_CHANGED, "The media in the drive may have changed."},
    {ERROR_DISK_RESET_FAILED, "The floppy disk controller could not be reset."},
    {ERROR_NOT_FOUND, "Element not found."},
    {1358, "The track or media type is not supported by the drive."},
    {kErrorCannotFormatTracks,
     "This drive cannot format tracks: only floppy drives (on the floppy-disk controller, or USB floppy drives) "
     "can. Write the image without formatting."},
    {kErrorSectorSize, "The drive does not use 512-byte sectors."},
    {kErrorSymbolicLink, "The file is a symbolic link."},
};

}  // namespace

std::uint32_t ErrorFromErrno(int error) {
    if (error == 0) return ERROR_SUCCESS;
    for (const ErrnoCode& m : kMap) {
        if (m.error == error) return m.code;
    }
    return ERROR_GEN_FAILURE;
}

std::string SystemErrorText(std::uint32_t code) {
    if (code == ERROR_SUCCESS) return "The operation completed successfully.\n";
    for (const OwnText& t : kOwnTexts) {
        if (t.code == code) return std::string(t.text) + "\n";
    }
    int wording = 0;
    for (const ErrnoCode& m : kWording) {
        if (m.code == code) wording = m.error;
    }
    for (const ErrnoCode& m : kMap) {
        if (wording == 0 && m.code == code) wording = m.error;
    }
    if (wording == 0) return {};
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be in buffer.
    const char* text = strerror_r(wording, buffer, sizeof buffer);
    return std::string(text) + ".\n";
}

}  // namespace kv
