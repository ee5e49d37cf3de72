#include "platform/host_calls.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>

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

// A page of a private file mapping is the file's (its page in the page cache)
// until it is first written, when the process gets a copy of its own, an
// anonymous page. /proc/self/pagemap tells them apart: per page a 64-bit entry
// with bit 63 (present), bit 62 (swapped out) and bit 61 (a file page). A
// present anonymous page, or a swapped one, was written; a page never touched,
// only read, or dropped again by the kernel is the file's. No privilege is
// needed for these bits.
int RealWrittenPages(const void* address, std::size_t size, std::uint8_t* written) {
    if (::sysconf(_SC_PAGESIZE) != static_cast<long>(kMapPageSize)) {
        errno = ENOTSUP;
        return -1;
    }
    const int fd = ::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const std::uint64_t first = reinterpret_cast<std::uintptr_t>(address) / kMapPageSize;
    const std::size_t pages = (size + kMapPageSize - 1) / kMapPageSize;
    std::uint64_t entries[512];
    for (std::size_t done = 0; done < pages;) {
        const std::size_t want = std::min(pages - done, std::size(entries));
        const ssize_t got =
            ::pread(fd, entries, want * sizeof entries[0], static_cast<off_t>((first + done) * sizeof entries[0]));
        if (got < static_cast<ssize_t>(sizeof entries[0])) {
            if (got >= 0) errno = EIO;
            ::close(fd);
            return -1;
        }
        const std::size_t n = static_cast<std::size_t>(got) / sizeof entries[0];
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t e = entries[i];
            const bool present = (e >> 63) & 1, swapped = (e >> 62) & 1, file = (e >> 61) & 1;
            written[done + i] = (present && !file) || swapped;
        }
        done += n;
    }
    ::close(fd);
    return 0;
}

// Dropping a private mapping's own copies brings back the file's pages.
int RealCleanPages(void* address, std::size_t size) { return ::madvise(address, size, MADV_DONTNEED); }

// For a page of a private file mapping, writing means copying it first; for
// fresh memory, clearing it.
int RealPrepareWrite(void* address, std::size_t size) {
    const auto start = reinterpret_cast<std::uintptr_t>(address) & ~(kMapPageSize - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(address) + size;
    return ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

const HostCalls kReal = {
    RealOpen,    ::read,       ::write, ::pread,  ::pwrite,         ::lseek,        ::fstat,          ::ftruncate,
    ::fallocate, ::fsync,      ::close, ::unlink, ::rename,         ::stat,         ::lstat,          ::chmod,
    ::futimens,  RealAllocate, RealMap, ::munmap, RealWrittenPages, RealCleanPages, RealPrepareWrite,
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

void PrepareToWrite(void* address, std::size_t size) {
    if (size != 0) Host().prepareWrite(address, size);
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
