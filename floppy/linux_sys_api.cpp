// Binds LinuxSysApi to the real system calls, one line each.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "floppy/linux_floppy.h"

namespace kv {
namespace {

class RealLinuxSysApi final : public LinuxSysApi {
public:
    int Open(const std::string& path, int flags) override { return ::open(path.c_str(), flags); }
    int Close(int fd) override { return ::close(fd); }
    int Stat(const std::string& path, struct stat& status) override { return ::stat(path.c_str(), &status); }
    int Ioctl(int fd, unsigned long request, void* parameters) override { return ::ioctl(fd, request, parameters); }
    ssize_t Pread(int fd, void* buffer, std::size_t size, off_t offset) override {
        return ::pread(fd, buffer, size, offset);
    }
    ssize_t Pwrite(int fd, const void* buffer, std::size_t size, off_t offset) override {
        return ::pwrite(fd, buffer, size, offset);
    }
    int Flock(int fd, int operation) override { return ::flock(fd, operation); }
    int Fsync(int fd) override { return ::fsync(fd); }
    int Errno() override { return errno; }
};

}  // namespace

LinuxSysApi& LinuxSystemCalls() {
    static RealLinuxSysApi api;
    return api;
}

}  // namespace kv
