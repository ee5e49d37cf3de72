#include "tests/support/host_faults.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "platform/host_calls.h"

namespace kv::test {
namespace {

FaultPlan* active = nullptr;

// True, with errno set, when the plan picks this call to fail.
template <typename Arg>
bool Fails(const std::function<bool(Arg)>& pick, Arg arg, int error) {
    if (!pick || !pick(arg)) return false;
    errno = error;
    return true;
}

// Reads and writes, with or without an offset (-1: at the file position).
ssize_t Read(int fd, void* buffer, std::size_t count, off_t offset) {
    ++ScopedFaults::reads;
    if (Fails(active->failRead, fd, EIO)) return -1;
    if (active->endReadEarly && active->endReadEarly(fd)) return 0;
    if (active->readCap != 0 && count > active->readCap) count = active->readCap;
    return offset < 0 ? RealHostCalls().read(fd, buffer, count) : RealHostCalls().pread(fd, buffer, count, offset);
}

ssize_t Write(int fd, const void* buffer, std::size_t count, off_t offset) {
    ++ScopedFaults::writes;
    if (Fails(active->failWrite, fd, active->writeErrno)) return -1;
    if (active->writeCap != 0 && count > active->writeCap) count = active->writeCap;
    ssize_t n =
        offset < 0 ? RealHostCalls().write(fd, buffer, count) : RealHostCalls().pwrite(fd, buffer, count, offset);
    if (n > 0) ScopedFaults::bytesWritten += static_cast<std::size_t>(n);
    return n;
}

}  // namespace

int ScopedFaults::reads = 0;
int ScopedFaults::writes = 0;
std::size_t ScopedFaults::bytesWritten = 0;

ScopedFaults::ScopedFaults(FaultPlan plan) {
    active = new FaultPlan(std::move(plan));
    reads = writes = 0;
    bytesWritten = 0;
    HostCalls& h = Host();
    h.read = [](int fd, void* buffer, std::size_t count) { return Read(fd, buffer, count, -1); };
    h.pread = [](int fd, void* buffer, std::size_t count, off_t offset) { return Read(fd, buffer, count, offset); };
    h.write = [](int fd, const void* buffer, std::size_t count) { return Write(fd, buffer, count, -1); };
    h.pwrite = [](int fd, const void* buffer, std::size_t count, off_t offset) {
        return Write(fd, buffer, count, offset);
    };
    h.fallocate = [](int fd, int mode, off_t offset, off_t length) {
        if (Fails(active->failFallocate, fd, active->fallocateErrno)) return -1;
        return RealHostCalls().fallocate(fd, mode, offset, length);
    };
    h.fsync = [](int fd) { return Fails(active->failFsync, fd, EIO) ? -1 : RealHostCalls().fsync(fd); };
    h.rename = [](const char* from, const char* to) {
        return Fails(active->failRename, to, EACCES) ? -1 : RealHostCalls().rename(from, to);
    };
    h.fstat = [](int fd, struct stat* st) {
        return Fails(active->failFstat, fd, EIO) ? -1 : RealHostCalls().fstat(fd, st);
    };
    h.allocate = [](std::size_t size) {
        return active->failAllocation && active->failAllocation(size) ? nullptr : RealHostCalls().allocate(size);
    };
    h.writtenPages = [](const void* address, std::size_t size, std::uint8_t* written) {
        if (!active->unknownWrittenPages) return RealHostCalls().writtenPages(address, size, written);
        errno = ENOENT;
        return -1;
    };
}

ScopedFaults::~ScopedFaults() {
    Host() = RealHostCalls();
    delete active;
    active = nullptr;
}

std::string PathOfFd(int fd) {
    char buffer[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::function<bool(int)> OnFile(const std::string& path) {
    std::string wanted = std::filesystem::weakly_canonical(path).string();
    return [wanted](int fd) { return PathOfFd(fd) == wanted; };
}

}  // namespace kv::test
