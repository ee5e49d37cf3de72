#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/errors.h"
#include "platform/host_calls.h"

namespace kv {
namespace {

// Linux moves at most this many bytes per read or write call.
constexpr std::uint64_t kMaxTransfer = 0x7ffff000;

std::uint32_t LastError() { return ErrorFromErrno(errno); }

std::string ParentOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// ENOENT means a missing file when its folder exists, a missing path otherwise.
std::uint32_t MissingError(const std::string& path) {
    struct stat st {};
    if (Host().stat(ParentOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

// The folder part of `path` with its separator ("" for a bare name).
std::string FolderPrefix(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Dispositions that create or replace a file, and so never follow a link.
bool Creates(std::uint32_t disposition) { return disposition != OPEN_EXISTING; }

// Takes the sharing lock of a handle; see the header.
bool LockForSharing(int fd, std::uint32_t access, std::uint32_t share, std::uint32_t& error) {
    short type;
    if (access & GENERIC_WRITE) {
        type = (share & FILE_SHARE_WRITE) ? F_RDLCK : F_WRLCK;
    } else if (!(share & FILE_SHARE_WRITE)) {
        type = F_RDLCK;
    } else {
        return true;
    }
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) {
        error = ERROR_SHARING_VIOLATION;
        return false;
    }
    return true;  // a file system without locks shares freely
}

// Why an existing file may not be opened as asked (ERROR_SUCCESS: it may).
std::uint32_t Refusal(const struct stat& st, std::uint32_t disposition, bool wantWrite) {
    if (S_ISLNK(st.st_mode)) return kErrorSymbolicLink;
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    const bool replaces = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if ((wantWrite || replaces) && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

}  // namespace

HostFile::~HostFile() {
    std::uint32_t ignored;
    Close(ignored);
}

HostFile::HostFile(HostFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        std::uint32_t ignored;
        Close(ignored);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

HostFile HostFile::Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                        std::uint32_t flagsAndAttributes, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return {};
    }
    const bool wantWrite = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC;
    if (wantWrite) {
        flags |= (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    bool mayCreate = false;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            mayCreate = true;
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            mayCreate = true;
            break;
        case OPEN_EXISTING:
        case TRUNCATE_EXISTING: break;
        default: error = ERROR_INVALID_PARAMETER; return {};
    }
    // A new file that should be read-only is created without write permission;
    // this handle may write it all the same.
    mode_t mode = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

    // Existing files: folders and read-only files refuse what Windows refuses.
    // A file that may be replaced is looked at before it is opened (what is
    // there decides what opening does); one that must exist is looked at
    // through its descriptor, which spares a second lookup of its path; and
    // for a new one, O_EXCL refuses whatever is there (a link too).
    struct stat before {};
    const bool creates = Creates(disposition);
    bool existed = false;
    if (creates) flags |= O_NOFOLLOW;
    if (creates && disposition != CREATE_NEW) {
        existed = Host().lstat(path.c_str(), &before) == 0;
        if (existed && (error = Refusal(before, disposition, wantWrite)) != ERROR_SUCCESS) return {};
    }

    int fd = Host().open(path.c_str(), flags, mode);
    if (fd < 0) {
        if (errno == ENOENT) {
            error = mayCreate ? ERROR_PATH_NOT_FOUND : MissingError(path);
        } else if (errno == EEXIST) {
            error = ERROR_FILE_EXISTS;
        } else if (errno == ELOOP && creates) {
            error = kErrorSymbolicLink;
        } else {
            error = LastError();
        }
        return {};
    }
    HostFile file(fd);
    if (!creates) {
        existed = true;
        if (Host().fstat(fd, &before) != 0) {
            error = LastError();
            return {};
        }
        if ((error = Refusal(before, disposition, wantWrite)) != ERROR_SUCCESS) return {};
    }
    if (!LockForSharing(fd, access, share, error)) return {};
    if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        if (Host().ftruncate(fd, 0) != 0) {
            error = LastError();
            return {};
        }
    }
    if (flagsAndAttributes & FILE_FLAG_RANDOM_ACCESS) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    return file;
}

bool HostFile::Read(void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error) {
    done = 0;
    error = ERROR_SUCCESS;
    if (fd_ < 0) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        std::uint64_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
        ssize_t n = Host().read(fd_, out + done, static_cast<std::size_t>(chunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = LastError();
            return false;
        }
        if (n == 0) break;  // end of file
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool HostFile::Write(const void* buffer, std::uint64_t count, std::uint64_t& done, std::uint32_t& error) {
    done = 0;
    error = ERROR_SUCCESS;
    if (fd_ < 0) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    while (done < count) {
        std::uint64_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
        ssize_t n = Host().write(fd_, in + done, static_cast<std::size_t>(chunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            error = LastError();
            return false;
        }
        if (n == 0) {
            error = ERROR_DISK_FULL;
            return false;
        }
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

HostFile HostFile::CreateBeside(const std::string& path, std::string& newPath, std::uint32_t& error) {
    newPath.clear();
    if (!CheckReplaceable(path, error)) return {};
    // The new file gets the permissions of the one it replaces.
    struct stat st {};
    mode_t mode = Host().stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0666;
    std::string name = path.substr(FolderPrefix(path).size());
    if (name.size() > 200) name.resize(200);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%x%04x~", static_cast<unsigned>(::getpid()),
                      (++counter * 40503u + static_cast<unsigned>(std::clock())) & 0xFFFF);
        std::string candidate = FolderPrefix(path) + "." + name + suffix;
        int fd = Host().open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : LastError();
            return {};
        }
        HostFile file(fd);
        newPath = candidate;
        LockForSharing(fd, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, error);  // a new file: no conflict
        error = ERROR_SUCCESS;
        return file;
    }
    error = ERROR_FILE_EXISTS;
    return {};
}

bool HostFile::ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count, std::uint64_t& done,
                      std::uint32_t& error) {
    done = 0;
    error = ERROR_SUCCESS;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        std::uint64_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
        ssize_t n = Host().pread(fd_, out + done, static_cast<std::size_t>(chunk), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = LastError();
            return false;
        }
        if (n == 0) break;  // end of file
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool HostFile::WriteAt(std::uint64_t offset, const void* buffer, std::uint64_t count, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::uint64_t done = 0;
    while (done < count) {
        std::uint64_t chunk = count - done < kMaxTransfer ? count - done : kMaxTransfer;
        ssize_t n = Host().pwrite(fd_, in + done, static_cast<std::size_t>(chunk), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n == 0 ? ERROR_DISK_FULL : LastError();
            return false;
        }
        done += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool HostFile::ReserveSpace(std::uint64_t offset, std::uint64_t length, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (length == 0) return true;
    int result;
    do {
        result = Host().fallocate(fd_, 0, static_cast<off_t>(offset), static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result == 0 || errno == EOPNOTSUPP || errno == ENOSYS) return true;
    error = LastError();
    return false;
}

bool HostFile::MayHaveHoles(std::uint64_t size) {
    const off_t hole = Host().lseek(fd_, 0, SEEK_HOLE);
    Host().lseek(fd_, 0, SEEK_SET);
    return hole < 0 || static_cast<std::uint64_t>(hole) < size;
}

bool HostFile::Flush(std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (Host().fsync(fd_) == 0) return true;
    error = LastError();
    return false;
}

bool HostFile::Truncate(std::uint64_t size, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (Host().ftruncate(fd_, static_cast<off_t>(size)) == 0) return true;
    error = LastError();
    return false;
}

bool HostFile::SetPosition(std::uint64_t offset, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (fd_ < 0) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    if (offset > static_cast<std::uint64_t>(LLONG_MAX) || Host().lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = offset > static_cast<std::uint64_t>(LLONG_MAX) ? ERROR_INVALID_PARAMETER : LastError();
        return false;
    }
    return true;
}

bool HostFile::Size(std::uint64_t& size, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    size = 0;
    if (fd_ < 0) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    struct stat st {};
    if (Host().fstat(fd_, &st) != 0) {
        error = LastError();
        return false;
    }
    if (S_ISBLK(st.st_mode)) {
        // A block device tells its size through its end position.
        off_t end = Host().lseek(fd_, 0, SEEK_END);
        off_t back = end < 0 ? -1 : Host().lseek(fd_, 0, SEEK_SET);
        if (end < 0 || back < 0) {
            error = LastError();
            return false;
        }
        size = static_cast<std::uint64_t>(end);
        return true;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool HostFile::SetTimes(std::int64_t unixSeconds, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (fd_ < 0) {
        error = ERROR_INVALID_HANDLE;
        return false;
    }
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (Host().futimens(fd_, times) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

bool HostFile::Close(std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    if (Host().close(fd) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

bool FindHostFile(const std::string& path, HostFileInfo& info, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    info = HostFileInfo{};
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    struct stat st {};
    if (trimmed.empty() || Host().stat(trimmed.c_str(), &st) != 0) {
        error = trimmed.empty() ? ERROR_PATH_NOT_FOUND : (errno == ENOENT ? MissingError(trimmed) : LastError());
        return false;
    }
    std::string::size_type slash = trimmed.find_last_of('/');
    info.fileName = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (info.fileName.empty() || info.fileName == "." || info.fileName == "..") {
        if (char* real = ::realpath(trimmed.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            info.fileName = resolved.substr(resolved.find_last_of('/') + 1);
        }
    }
    if (S_ISDIR(st.st_mode)) {
        info.attributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        info.attributes = FILE_ATTRIBUTE_ARCHIVE;
        info.size = static_cast<std::uint64_t>(st.st_size);
    }
    if (!(st.st_mode & S_IWUSR)) info.attributes |= FILE_ATTRIBUTE_READONLY;
    if (!info.fileName.empty() && info.fileName[0] == '.' && info.fileName != "." && info.fileName != "..") {
        info.attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    info.lastWriteTime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    return true;
}

bool RemoveHostFile(const std::string& path, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    struct stat st {};
    if (Host().lstat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? MissingError(path) : LastError();
        return false;
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (Host().unlink(path.c_str()) != 0) {
        error = errno == ENOENT ? MissingError(path) : LastError();
        return false;
    }
    return true;
}

bool CheckReplaceable(const std::string& path, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    struct stat st {};
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (Host().lstat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? MissingError(path) : LastError();
        if (error != ERROR_FILE_NOT_FOUND) return false;
        error = ERROR_SUCCESS;  // a new file in an existing folder
        return true;
    }
    if (S_ISLNK(st.st_mode)) {
        error = kErrorSymbolicLink;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    // Opening it for writing applies the read-only and sharing rules.
    HostFile probe = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    return probe.IsOpen();
}

bool ReplaceHostFile(const std::string& from, const std::string& to, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    if (Host().rename(from.c_str(), to.c_str()) == 0) return true;
    error = errno == EISDIR ? ERROR_ACCESS_DENIED : LastError();
    return false;
}

void DiscardHostFile(const std::string& path) { Host().unlink(path.c_str()); }

bool SetHostReadOnly(const std::string& path, bool readOnly, std::uint32_t& error) {
    error = ERROR_SUCCESS;
    struct stat st {};
    if (Host().stat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? MissingError(path) : LastError();
        return false;
    }
    mode_t mode = st.st_mode & 07777;
    if (readOnly) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode |= S_IWUSR | ((S_IWGRP | S_IWOTH) & ~mask);
    }
    if (Host().chmod(path.c_str(), mode) != 0) {
        error = LastError();
        return false;
    }
    return true;
}

}  // namespace kv
