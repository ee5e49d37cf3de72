#include "tests/support/host_faults.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "platform/host_calls.h"

namespace kv::test {
namespace {

FaultPlan* active = nullptr;

ssize_t FaultyRead(int fd, void* buffer, std::size_t count) {
    ++ScopedFaults::reads;
    if (active->failRead && active->failRead(fd)) {
        errno = active->readErrno;
        return -1;
    }
    if (active->endReadEarly && active->endReadEarly(fd)) return 0;
    if (active->readCap != 0 && count > active->readCap) count = active->readCap;
    return RealHostCalls().read(fd, buffer, count);
}

ssize_t FaultyWrite(int fd, const void* buffer, std::size_t count) {
    ++ScopedFaults::writes;
    if (active->failWrite && active->failWrite(fd)) {
        errno = active->writeErrno;
        return -1;
    }
    if (active->writeCap != 0 && count > active->writeCap) count = active->writeCap;
    ssize_t n = RealHostCalls().write(fd, buffer, count);
    if (n > 0) ScopedFaults::bytesWritten += static_cast<std::size_t>(n);
    return n;
}

ssize_t FaultyPread(int fd, void* buffer, std::size_t count, off_t offset) {
    ++ScopedFaults::reads;
    if (active->failRead && active->failRead(fd)) {
        errno = active->readErrno;
        return -1;
    }
    if (active->endReadEarly && active->endReadEarly(fd)) return 0;
    if (active->readCap != 0 && count > active->readCap) count = active->readCap;
    return RealHostCalls().pread(fd, buffer, count, offset);
}

ssize_t FaultyPwrite(int fd, const void* buffer, std::size_t count, off_t offset) {
    ++ScopedFaults::writes;
    if (active->failWrite && active->failWrite(fd)) {
        errno = active->writeErrno;
        return -1;
    }
    if (active->writeCap != 0 && count > active->writeCap) count = active->writeCap;
    ssize_t n = RealHostCalls().pwrite(fd, buffer, count, offset);
    if (n > 0) ScopedFaults::bytesWritten += static_cast<std::size_t>(n);
    return n;
}

int FaultyFallocate(int fd, int mode, off_t offset, off_t length) {
    if (active->failFallocate && active->failFallocate(fd)) {
        errno = active->fallocateErrno;
        return -1;
    }
    return RealHostCalls().fallocate(fd, mode, offset, length);
}

int FaultyFsync(int fd) {
    if (active->failFsync && active->failFsync(fd)) {
        errno = EIO;
        return -1;
    }
    return RealHostCalls().fsync(fd);
}

int FaultyRename(const char* from, const char* to) {
    if (active->failRename && active->failRename(to)) {
        errno = EACCES;
        return -1;
    }
    return RealHostCalls().rename(from, to);
}

off_t FaultySeek(int fd, off_t offset, int whence) {
    if (active->failSeek && active->failSeek(fd)) {
        errno = EIO;
        return -1;
    }
    return RealHostCalls().lseek(fd, offset, whence);
}

int FaultyFstat(int fd, struct stat* st) {
    if (active->failFstat && active->failFstat(fd)) {
        errno = EIO;
        return -1;
    }
    return RealHostCalls().fstat(fd, st);
}

void* FaultyAllocate(std::size_t size) {
    ++ScopedFaults::allocations;
    if (active->failAllocation && active->failAllocation(size)) return nullptr;
    return RealHostCalls().allocate(size);
}

}  // namespace

int ScopedFaults::reads = 0;
int ScopedFaults::writes = 0;
int ScopedFaults::allocations = 0;
std::size_t ScopedFaults::bytesWritten = 0;

ScopedFaults::ScopedFaults(FaultPlan plan) {
    active = new FaultPlan(std::move(plan));
    reads = writes = allocations = 0;
    bytesWritten = 0;
    HostCalls& h = Host();
    h.read = FaultyRead;
    h.write = FaultyWrite;
    h.pread = FaultyPread;
    h.pwrite = FaultyPwrite;
    h.fallocate = FaultyFallocate;
    h.fsync = FaultyFsync;
    h.rename = FaultyRename;
    h.lseek = FaultySeek;
    h.fstat = FaultyFstat;
    h.allocate = FaultyAllocate;
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
