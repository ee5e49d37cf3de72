#include "platform/host_calls.h"

#include <fcntl.h>
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
    return Bytes(static_cast<std::uint8_t*>(Host().allocate(size == 0 ? 1 : size)));
}

}  // namespace kv
