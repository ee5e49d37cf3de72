#include "fuzz/memory_host.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/host_calls.h"

namespace kv::fuzz {
namespace {

struct Node {
    bool folder = false;
    mode_t mode = 0644;
    std::vector<std::uint8_t> bytes;
    struct timespec modified {};
    ino_t inode = 0;
};

struct OpenFile {
    std::shared_ptr<Node> node;
    off_t position = 0;
    bool readable = false;
    bool writable = false;
};

struct State {
    std::map<std::string, std::shared_ptr<Node>> nodes;  // by normal path
    std::map<int, OpenFile> open;
    int nextDescriptor = MemoryHost::kFirstDescriptor;
    ino_t nextInode = 1;

    std::shared_ptr<Node> Make(bool folder, mode_t mode) {
        auto node = std::make_shared<Node>();
        node->folder = folder;
        node->mode = mode;
        node->inode = nextInode++;
        return node;
    }
};

State& S() {
    static State state;
    return state;
}

int Fail(int error) {
    errno = error;
    return -1;
}

// "/" and the components of `path`, "." and ".." resolved.
std::string Normal(const std::string& path) {
    const bool already =
        path == "/" || (path.starts_with('/') && !path.ends_with('/') && !path.ends_with("/.") &&
                        !path.ends_with("/..") && path.find("//") == std::string::npos &&
                        path.find("/./") == std::string::npos && path.find("/../") == std::string::npos);
    if (already) return path;
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normal;
    for (const std::string& part : parts) normal += "/" + part;
    return normal.empty() ? "/" : normal;
}

std::string ParentOf(const std::string& normal) {
    const std::size_t slash = normal.find_last_of('/');
    return slash == 0 ? "/" : normal.substr(0, slash);
}

std::shared_ptr<Node> Find(const std::string& normal) {
    auto it = S().nodes.find(normal);
    return it == S().nodes.end() ? nullptr : it->second;
}

// 0 when the parent of `normal` is a folder, else the errno of the failure.
int ParentError(const std::string& normal) {
    if (normal == "/") return 0;
    std::shared_ptr<Node> parent = Find(ParentOf(normal));
    return !parent ? ENOENT : !parent->folder ? ENOTDIR : 0;
}

OpenFile* Descriptor(int fd) {
    auto it = S().open.find(fd);
    return it == S().open.end() ? nullptr : &it->second;
}

void Fill(const Node& node, struct stat* st) {
    std::memset(st, 0, sizeof *st);
    st->st_mode = (node.folder ? S_IFDIR : S_IFREG) | node.mode;
    st->st_nlink = 1;
    st->st_ino = node.inode;
    st->st_size = static_cast<off_t>(node.bytes.size());
    st->st_blksize = 4096;
    st->st_mtim = node.modified;
    st->st_atim = node.modified;
    st->st_ctim = node.modified;
}

int Open(const char* path, int flags, mode_t mode) {
    const std::string normal = Normal(path);
    if (int error = ParentError(normal)) return Fail(error);
    const int access = flags & O_ACCMODE;
    const bool write = access == O_WRONLY || access == O_RDWR;
    std::shared_ptr<Node> node = Find(normal);
    if (node) {
        if ((flags & O_CREAT) && (flags & O_EXCL)) return Fail(EEXIST);
        if (node->folder && write) return Fail(EISDIR);
        if ((flags & O_DIRECTORY) && !node->folder) return Fail(ENOTDIR);
        if (write && !(node->mode & S_IWUSR)) return Fail(EACCES);
        if (write && (flags & O_TRUNC)) node->bytes.clear();
    } else {
        if (!(flags & O_CREAT)) return Fail(ENOENT);
        node = S().Make(false, mode & 0755);
        S().nodes[normal] = node;
    }
    const int fd = S().nextDescriptor++;
    S().open[fd] = OpenFile{node, 0, access == O_RDONLY || access == O_RDWR, write};
    return fd;
}

ssize_t Read(int fd, void* buffer, std::size_t count) {
    OpenFile* f = Descriptor(fd);
    if (!f || !f->readable) return Fail(EBADF);
    if (f->node->folder) return Fail(EISDIR);
    const std::vector<std::uint8_t>& bytes = f->node->bytes;
    const std::size_t at = static_cast<std::size_t>(f->position);
    const std::size_t n = at >= bytes.size() ? 0 : std::min(count, bytes.size() - at);
    if (n != 0) std::memcpy(buffer, bytes.data() + at, n);
    f->position += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

ssize_t Write(int fd, const void* buffer, std::size_t count) {
    OpenFile* f = Descriptor(fd);
    if (!f || !f->writable) return Fail(EBADF);
    std::vector<std::uint8_t>& bytes = f->node->bytes;
    const std::size_t at = static_cast<std::size_t>(f->position);
    if (bytes.size() < at + count) bytes.resize(at + count);
    if (count != 0) std::memcpy(bytes.data() + at, buffer, count);
    f->position += static_cast<off_t>(count);
    return static_cast<ssize_t>(count);
}

off_t Seek(int fd, off_t offset, int whence) {
    OpenFile* f = Descriptor(fd);
    if (!f) return Fail(EBADF);
    const off_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? f->position
                       : whence == SEEK_END ? static_cast<off_t>(f->node->bytes.size())
                                            : -1;
    if (base < 0 || offset < -base) return Fail(EINVAL);
    return f->position = base + offset;
}

int StatDescriptor(int fd, struct stat* st) {
    OpenFile* f = Descriptor(fd);
    if (!f) return Fail(EBADF);
    Fill(*f->node, st);
    return 0;
}

int Truncate(int fd, off_t length) {
    OpenFile* f = Descriptor(fd);
    if (!f) return Fail(EBADF);
    if (!f->writable || length < 0) return Fail(EINVAL);
    f->node->bytes.resize(static_cast<std::size_t>(length));
    return 0;
}

int Close(int fd) { return S().open.erase(fd) == 1 ? 0 : Fail(EBADF); }

int Unlink(const char* path) {
    const std::string normal = Normal(path);
    if (int error = ParentError(normal)) return Fail(error);
    std::shared_ptr<Node> node = Find(normal);
    if (!node) return Fail(ENOENT);
    if (node->folder) return Fail(EISDIR);
    S().nodes.erase(normal);
    return 0;
}

int StatPath(const char* path, struct stat* st) {
    const std::string normal = Normal(path);
    if (int error = ParentError(normal)) return Fail(error);
    std::shared_ptr<Node> node = Find(normal);
    if (!node) return Fail(ENOENT);
    Fill(*node, st);
    return 0;
}

int ChangeMode(const char* path, mode_t mode) {
    const std::string normal = Normal(path);
    if (int error = ParentError(normal)) return Fail(error);
    std::shared_ptr<Node> node = Find(normal);
    if (!node) return Fail(ENOENT);
    node->mode = mode & 07777;
    return 0;
}

int SetTimes(int fd, const struct timespec times[2]) {
    OpenFile* f = Descriptor(fd);
    if (!f) return Fail(EBADF);
    if (times[1].tv_nsec != UTIME_OMIT) f->node->modified = times[1];
    return 0;
}

// A read or write at `offset` that leaves the descriptor's position as it was.
template <class Transfer>
ssize_t AtOffset(int fd, off_t offset, Transfer transfer) {
    OpenFile* f = Descriptor(fd);
    if (!f || offset < 0) return Fail(EINVAL);
    const off_t kept = f->position;
    f->position = offset;
    const ssize_t n = transfer();
    f->position = kept;
    return n;
}

ssize_t ReadAt(int fd, void* buffer, std::size_t count, off_t offset) {
    return AtOffset(fd, offset, [&] { return Read(fd, buffer, count); });
}

ssize_t WriteAt(int fd, const void* buffer, std::size_t count, off_t offset) {
    return AtOffset(fd, offset, [&] { return Write(fd, buffer, count); });
}

// Memory always has room: reserving space grows the file when asked to.
int Reserve(int fd, int, off_t offset, off_t length) {
    OpenFile* f = Descriptor(fd);
    if (!f || !f->writable || offset < 0 || length <= 0) return Fail(EINVAL);
    const std::size_t end = static_cast<std::size_t>(offset + length);
    if (f->node->bytes.size() < end) f->node->bytes.resize(end);
    return 0;
}

int Flush(int fd) { return Descriptor(fd) ? 0 : Fail(EBADF); }

int Rename(const char* from, const char* to) {
    const std::string source = Normal(from), target = Normal(to);
    if (int error = ParentError(source)) return Fail(error);
    if (int error = ParentError(target)) return Fail(error);
    std::shared_ptr<Node> node = Find(source);
    if (!node) return Fail(ENOENT);
    std::shared_ptr<Node> old = Find(target);
    if (old && old->folder) return Fail(EISDIR);
    if (node->folder) return Fail(EISDIR);  // the program renames files only
    S().nodes.erase(source);
    S().nodes[target] = node;
    return 0;
}

void* Allocate(std::size_t size) { return std::malloc(size); }

// A private copy stands in for a private mapping.
void* Map(int fd, std::size_t size) {
    OpenFile* f = Descriptor(fd);
    if (!f || f->node->folder || size == 0) return MAP_FAILED;
    void* copy = std::calloc(size, 1);
    if (copy == nullptr) return MAP_FAILED;
    std::memcpy(copy, f->node->bytes.data(), std::min(size, f->node->bytes.size()));
    return copy;
}

int Unmap(void* address, std::size_t) {
    std::free(address);
    return 0;
}

// The copy keeps no trace of what was written: every page counts as written.
int WrittenPages(const void*, std::size_t size, std::uint8_t* written) {
    std::fill_n(written, (size + kMapPageSize - 1) / kMapPageSize, std::uint8_t{1});
    return 0;
}

int CleanPages(void*, std::size_t) { return 0; }

int PrepareWrite(void*, std::size_t) { return 0; }

}  // namespace

MemoryHost& MemoryHost::Get() {
    static MemoryHost host;
    return host;
}

MemoryHost::MemoryHost() {
    Host() = HostCalls{Open,     Read,     Write, ReadAt, WriteAt,      Seek,       StatDescriptor, Truncate,
                       Reserve,  Flush,    Close, Unlink, Rename,       StatPath,   StatPath,       ChangeMode,
                       SetTimes, Allocate, Map,   Unmap,  WrittenPages, CleanPages, PrepareWrite};
    Reset();
}

void MemoryHost::Reset() {
    S().nodes.clear();
    S().nodes["/"] = S().Make(true, 0755);
}

bool MemoryHost::MakeFolder(const std::string& path) {
    const std::string normal = Normal(path);
    if (ParentError(normal) != 0 || Find(normal)) return false;
    S().nodes[normal] = S().Make(true, 0755);
    return true;
}

bool MemoryHost::WriteFile(const std::string& path, const void* data, std::size_t size) {
    const std::string normal = Normal(path);
    std::shared_ptr<Node> node = Find(normal);
    if (ParentError(normal) != 0 || (node && node->folder)) return false;
    if (!node) S().nodes[normal] = node = S().Make(false, 0644);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    node->bytes.assign(bytes, bytes + size);
    return true;
}

const std::vector<std::uint8_t>* MemoryHost::File(const std::string& path) const {
    std::shared_ptr<Node> node = Find(Normal(path));
    return node && !node->folder ? &node->bytes : nullptr;
}

void MemoryHost::Remove(const std::string& path) {
    const std::string normal = Normal(path);
    if (normal == "/") return Reset();
    const std::string inside = normal + "/";
    auto& nodes = S().nodes;
    nodes.erase(normal);
    for (auto it = nodes.lower_bound(inside); it != nodes.end() && it->first.starts_with(inside);) it = nodes.erase(it);
}

std::vector<std::pair<std::string, bool>> MemoryHost::List(const std::string& folder) const {
    const std::string normal = Normal(folder);
    const std::string inside = normal == "/" ? "/" : normal + "/";
    std::vector<std::pair<std::string, bool>> names;
    for (auto it = S().nodes.lower_bound(inside); it != S().nodes.end() && it->first.starts_with(inside); ++it) {
        const std::string rest = it->first.substr(inside.size());
        if (!rest.empty() && rest.find('/') == std::string::npos) names.emplace_back(rest, it->second->folder);
    }
    return names;
}

std::size_t MemoryHost::OpenCount() const { return S().open.size(); }

}  // namespace kv::fuzz
