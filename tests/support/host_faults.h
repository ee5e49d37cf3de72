// Fault injection for the host calls: makes a read, write, size query or
// allocation fail (or come up short) where real files would not.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kv::test {

struct FaultPlan {
    // Each predicate picks the calls that fail; unset predicates fail nothing.
    // Reads and writes at an offset (pread, pwrite) count as reads and writes.
    std::function<bool(int fd)> failRead;      // with EIO
    std::function<bool(int fd)> endReadEarly;  // the read reports end of file
    std::size_t readCap = 0;                   // most bytes per read call (0: no cap)
    std::function<bool(int fd)> failWrite;
    int writeErrno = 28;       // ENOSPC
    std::size_t writeCap = 0;  // most bytes per write call (0: no cap)
    std::function<bool(int fd)> failFstat;
    std::function<bool(std::size_t size)> failAllocation;
    std::function<bool(int fd)> failFallocate;
    int fallocateErrno = 28;  // ENOSPC
    std::function<bool(int fd)> failFsync;
    std::function<bool(const char* to)> failRename;
    bool unknownWrittenPages = false;  // the host cannot tell a mapping's written pages
};

// Installs a plan for its lifetime; the real calls come back afterwards.
class ScopedFaults {
public:
    explicit ScopedFaults(FaultPlan plan);
    ~ScopedFaults();
    ScopedFaults(const ScopedFaults&) = delete;
    ScopedFaults& operator=(const ScopedFaults&) = delete;

    // Counts of the calls the plan saw, and the bytes written.
    static int reads, writes;
    static std::size_t bytesWritten;
};

// The path an open descriptor refers to.
std::string PathOfFd(int fd);

// A predicate that picks descriptors of `path`.
std::function<bool(int)> OnFile(const std::string& path);

}  // namespace kv::test
