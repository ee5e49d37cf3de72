// Host files opened, read and written the way the program's file handling is
// stated: CreateFile-style access, sharing and creation dispositions, whole
// transfers with short-transfer detection, 64-bit sizes and positions.
//
// Read-only files behave for every user as they do on Windows, root included:
// asking for write access to a file without owner write permission fails with
// ERROR_ACCESS_DENIED, and such a file is not replaced by a later creation.
// Sharing is kept among the program's own handles with open-file-description
// locks: a handle that may write, or that does not share writing, excludes
// handles that conflict with it, as Windows sharing modes do; a conflict gives
// ERROR_SHARING_VIOLATION.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_values.h"

namespace kv {

class HostFile {
public:
    HostFile() = default;
    ~HostFile();
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Opens or creates `path`. `access` is GENERIC_READ and/or GENERIC_WRITE,
    // `share` FILE_SHARE_* bits, `disposition` CREATE_NEW ... TRUNCATE_EXISTING,
    // `flagsAndAttributes` FILE_ATTRIBUTE_* bits for a new file (read-only makes
    // the new file read-only once it is closed) and FILE_FLAG_* hints. On failure
    // the result is not open and `error` holds the code.
    static HostFile Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                         std::uint32_t disposition, std::uint32_t flagsAndAttributes,
                         std::uint32_t& error);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Reads up to `count` bytes at the current position with as many host calls
    // as it takes; `done` is the number read (fewer only at the end of the file).
    // False, with `error`, when a call failed.
    bool Read(void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error);

    // Writes `count` bytes; `done` is the number written. False, with `error`,
    // when a call failed or the host stopped taking bytes.
    bool Write(const void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error);

    bool SetPosition(std::uint64_t offset, std::uint32_t& error);
    bool Size(std::uint64_t& size, std::uint32_t& error);

    // Sets the last-access and last-write times (seconds since the epoch).
    bool SetTimes(std::int64_t unixSeconds, std::uint32_t& error);

    // Closes the file; a file that is not open closes successfully.
    bool Close(std::uint32_t& error);

private:
    explicit HostFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// What the host says about one file or folder, as a directory search reports it.
struct HostFileInfo {
    std::uint32_t attributes = 0;   // FILE_ATTRIBUTE_* bits
    std::int64_t lastWriteTime = 0; // seconds since the epoch
    std::uint64_t size = 0;         // 0 for folders
    std::string fileName;           // the last component of the path
    std::string alternateFileName;  // the short alias; the host has none
};

// Attributes on this host: read-only is a missing owner write permission, a
// folder is a directory, hidden is a name that begins with "."; every file that
// is not a folder is reported with the archive bit; system has no counterpart.
bool FindHostFile(const std::string& path, HostFileInfo& info, std::uint32_t& error);

// Deletes a file. A read-only file is not deleted (ERROR_ACCESS_DENIED).
bool RemoveHostFile(const std::string& path, std::uint32_t& error);

// Gives a file or takes from it the read-only attribute.
bool SetHostReadOnly(const std::string& path, bool readOnly, std::uint32_t& error);

}  // namespace kv
