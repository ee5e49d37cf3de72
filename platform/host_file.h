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
//
// Files are never created or replaced through a symbolic link: the creating
// dispositions refuse a link in the last component of the path with
// kErrorSymbolicLink (and open with O_NOFOLLOW, so a link put there meanwhile
// is refused too).
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
    static HostFile Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                         std::uint32_t flagsAndAttributes, std::uint32_t& error);

    // Creates an empty file beside `path` (in the same folder, under a hidden
    // name of its own, given in `newPath`) that is to take `path`'s place with
    // ReplaceHostFile, opened for reading and writing and shared for reading
    // only. `path` itself is checked as CheckReplaceable does and left as it is.
    static HostFile CreateBeside(const std::string& path, std::string& newPath, std::uint32_t& error);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // Reads up to `count` bytes at the current position with as many host calls
    // as it takes; `done` is the number read (fewer only at the end of the file).
    // False, with `error`, when a call failed.
    bool Read(void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error);

    // Writes `count` bytes; `done` is the number written. False, with `error`,
    // when a call failed or the host stopped taking bytes.
    bool Write(const void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error);

    // The same at `offset`, leaving the position alone.
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error);
    bool WriteAt(std::uint64_t offset, const void* buffer, std::uint64_t count, std::uint32_t& error);

    // Secures disk space for the `length` bytes at `offset`, so that writing
    // them later cannot run out of space. False, with `error`, when the space
    // is not there; true also when the file system cannot secure space.
    bool ReserveSpace(std::uint64_t offset, std::uint64_t length, std::uint32_t& error);
    // Whether the file's first `size` bytes may hold a hole (a range without
    // blocks of its own); true where the host cannot tell. Moves the position
    // to the start.
    bool MayHaveHoles(std::uint64_t size);
    // Writes what the host holds of the file through to the disk.
    bool Flush(std::uint32_t& error);
    bool Truncate(std::uint64_t size, std::uint32_t& error);

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
    std::uint32_t attributes = 0;    // FILE_ATTRIBUTE_* bits
    std::int64_t lastWriteTime = 0;  // seconds since the epoch
    std::uint64_t size = 0;          // 0 for folders
    std::string fileName;            // the last component of the path
    std::string alternateFileName;   // the short alias; the host has none
};

// Attributes on this host: read-only is a missing owner write permission, a
// folder is a directory, hidden is a name that begins with "."; every file that
// is not a folder is reported with the archive bit; system has no counterpart.
// A path whose last component is "." or ".." (or the root, "/") names the
// folder it resolves to: its file name is that folder's own ("" for the root).
bool FindHostFile(const std::string& path, HostFileInfo& info, std::uint32_t& error);

// Whether a new file may take the place of `path`: true when there is none (in
// an existing folder) or a writable regular file that no handle keeps from
// writers (ERROR_SHARING_VIOLATION); a link is refused (kErrorSymbolicLink), a
// folder or a read-only file too (ERROR_ACCESS_DENIED).
bool CheckReplaceable(const std::string& path, std::uint32_t& error);

// Puts the file `from` in the place of `to` in one step: `to` is the same file
// as before or `from` whole, never anything between (a link at `to` is
// replaced itself, never written through).
bool ReplaceHostFile(const std::string& from, const std::string& to, std::uint32_t& error);

// Removes a file that this program made and gives up (a temporary file, a
// partial copy), read-only or not; a failure leaves it.
void DiscardHostFile(const std::string& path);

// Deletes a file. A read-only file is not deleted (ERROR_ACCESS_DENIED).
bool RemoveHostFile(const std::string& path, std::uint32_t& error);

// Gives a file or takes from it the read-only attribute.
bool SetHostReadOnly(const std::string& path, bool readOnly, std::uint32_t& error);

}  // namespace kv
