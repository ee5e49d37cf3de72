#include "platform/host_calls.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace kv {
namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

// Image buffers are filled whole as soon as they are allocated, and reading a
// floppy image into fresh memory costs more in page faults than in copying.
// Big buffers therefore get 2 MiB alignment and ask for huge pages (one fault
// per 2 MiB); where the system has none, their small pages are faulted in with
// one call. Either piece of advice may fail harmlessly.
void* RealAllocate(std::size_t size) {
    constexpr std::size_t kBig = 256 * 1024;
    constexpr std::size_t kHuge = 2 * 1024 * 1024;
    if (size < kBig || size > SIZE_MAX - kHuge) return std::malloc(size);
    std::size_t rounded = (size + kHuge - 1) & ~(kHuge - 1);
    void* p = nullptr;
    if (::posix_memalign(&p, kHuge, rounded) != 0) return nullptr;
    ::madvise(p, rounded, MADV_HUGEPAGE);
    ::madvise(p, rounded, MADV_POPULATE_WRITE);
    return p;
}

void* RealMap(int fd, std::size_t size) { return ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0); }

const HostCalls kReal = {
    RealOpen, ::read,  ::write, ::pread,    ::pwrite,     ::lseek,  ::fstat, ::ftruncate, ::fallocate,
    ::fsync,  ::close, ::unlink, ::rename,  ::stat,       ::lstat,  ::chmod, ::futimens,  RealAllocate,
    RealMap,  ::munmap,
};

HostCalls current = kReal;

}  // namespace

HostCalls& Host() { return current; }

const HostCalls& RealHostCalls() { return kReal; }

void FreeBytes::operator()(std::uint8_t* p) const {
    if (mapped != 0) {
        Host().unmap(p, mapped);
    } else {
        std::free(p);
    }
}

Bytes AllocateBytes(std::size_t size) {
    return Bytes(static_cast<std::uint8_t*>(Host().allocate(size == 0 ? 1 : size)));
}

Bytes MapFileBytes(int fd, std::size_t size) {
    if (size == 0) size = 1;
    void* p = Host().map(fd, size);
    if (p == MAP_FAILED) return Bytes();
    return Bytes(static_cast<std::uint8_t*>(p), FreeBytes{size});
}

}  // namespace kv
