#include "platform/host_calls.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kv {
namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

const HostCalls kReal = {
    RealOpen, ::read, ::write, ::lseek, ::fstat, ::ftruncate, ::close, ::unlink, std::malloc,
};

HostCalls current = kReal;

}  // namespace

HostCalls& Host() { return current; }

const HostCalls& RealHostCalls() { return kReal; }

Bytes AllocateBytes(std::size_t size) {
    Bytes bytes(static_cast<std::uint8_t*>(Host().allocate(size == 0 ? 1 : size)));
    // Big buffers are filled whole right away (an image read from its file):
    // fault their pages in with one call instead of one trap per page.
    constexpr std::size_t kPage = 4096;
    if (bytes && size >= 64 * kPage) {
        auto first = (reinterpret_cast<std::uintptr_t>(bytes.get()) + kPage - 1) & ~(kPage - 1);
        auto last = (reinterpret_cast<std::uintptr_t>(bytes.get()) + size) & ~(kPage - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }
    return bytes;
}

}  // namespace kv
