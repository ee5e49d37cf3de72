// The host system calls that the file layer and the big allocations go through.
// Tests replace entries of this table to make a read, a write, a size query or an
// allocation fail where real files would not, and the fuzz targets replace all of
// them with a file system in memory (fuzz/memory_host.h): every call the file
// layer makes on a path or a descriptor goes through this table.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kv {

struct HostCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    ssize_t (*write)(int fd, const void* buffer, std::size_t count);
    ssize_t (*pread)(int fd, void* buffer, std::size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void* buffer, std::size_t count, off_t offset);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fstat)(int fd, struct stat* st);
    int (*ftruncate)(int fd, off_t length);
    int (*fallocate)(int fd, int mode, off_t offset, off_t length);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*unlink)(const char* path);
    int (*rename)(const char* from, const char* to);
    int (*stat)(const char* path, struct stat* st);
    int (*lstat)(const char* path, struct stat* st);
    int (*chmod)(const char* path, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    void* (*allocate)(std::size_t size);
    // A private, writable mapping of a file's first `size` bytes (MAP_FAILED on failure).
    void* (*map)(int fd, std::size_t size);
    int (*unmap)(void* address, std::size_t size);
    // Which pages of the `size` bytes of a mapping made by `map` this process
    // has written since they were mapped or last cleaned: one byte per page of
    // kMapPageSize bytes, nonzero for a written one. -1, with errno set, when
    // the host cannot tell.
    int (*writtenPages)(const void* address, std::size_t size, std::uint8_t* written);
    // Makes the pages of that range unwritten again, holding what the file
    // holds now (once their bytes were written to it).
    int (*cleanPages)(void* address, std::size_t size);
    // A hint that every page of the range is about to be written: they are
    // made present and writable in one call instead of a fault each. Failure
    // is harmless.
    int (*prepareWrite)(void* address, std::size_t size);
};

// The page size that writtenPages reports in.
inline constexpr std::size_t kMapPageSize = 4096;

// The table in use.
HostCalls& Host();

// The table of the real host calls.
const HostCalls& RealHostCalls();

// Releases allocated bytes, or unmaps a file's bytes when `mapped` is their length.
struct FreeBytes {
    std::size_t mapped = 0;
    void operator()(std::uint8_t* p) const;
};
using Bytes = std::unique_ptr<std::uint8_t[], FreeBytes>;

// Hints that the `size` bytes at `address` are about to be written (see
// HostCalls::prepareWrite): a matter of speed only.
void PrepareToWrite(void* address, std::size_t size);

// Allocates `size` bytes (at least one), or gives null when memory is short.
Bytes AllocateBytes(std::size_t size);

// The first `size` bytes (at least one) of the open file `fd` as a private
// mapping: its pages are the file's until they are written, and writing them
// never reaches the file. Null, with errno set, when the file cannot be mapped.
Bytes MapFileBytes(int fd, std::size_t size);

}  // namespace kv
