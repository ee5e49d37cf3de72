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
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fstat)(int fd, struct stat* st);
    int (*ftruncate)(int fd, off_t length);
    int (*close)(int fd);
    int (*unlink)(const char* path);
    int (*stat)(const char* path, struct stat* st);
    int (*lstat)(const char* path, struct stat* st);
    int (*chmod)(const char* path, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    void* (*allocate)(std::size_t size);
};

// The table in use.
HostCalls& Host();

// The table of the real host calls.
const HostCalls& RealHostCalls();

struct FreeBytes {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using Bytes = std::unique_ptr<std::uint8_t[], FreeBytes>;

// Allocates `size` bytes (at least one), or gives null when memory is short.
Bytes AllocateBytes(std::size_t size);

}  // namespace kv
