// The host system calls that the file layer and the big allocations go through.
// Tests replace entries of this table to make a read, a write, a size query or an
// allocation fail where real files would not.
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
