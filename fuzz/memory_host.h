// A host file system in memory for the fuzz targets, installed in place of the
// real host calls (platform/host_calls.h): no run creates a file on disk, so a
// target sees thousands of inputs a second.
//
// Paths are absolute ("." and ".." are resolved, repeated "/" ignored); the
// root folder "/" always exists. Files and folders keep POSIX semantics where
// the file layer relies on them: O_CREAT, O_EXCL and O_TRUNC, a missing parent
// (ENOENT) or one that is a file (ENOTDIR), folders that cannot be written
// (EISDIR), files without owner write permission that cannot be opened for
// writing (EACCES), descriptors that keep an unlinked file, one position per
// open. Descriptors are numbered from kFirstDescriptor, far above real ones,
// so that a call that does not go through the table (the sharing lock, the
// access hint) fails harmlessly with EBADF: files in memory share freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kv::fuzz {

class MemoryHost {
public:
    static constexpr int kFirstDescriptor = 1 << 28;

    // The one memory host; the first call installs its calls in the table.
    static MemoryHost& Get();

    // Everything but the root folder is removed; open descriptors stay valid.
    void Reset();
    // Creates a folder (its parent must exist); false when something is in the way.
    bool MakeFolder(const std::string& path);
    // Creates or replaces a file with `size` bytes; false when its folder is missing.
    bool WriteFile(const std::string& path, const void* data, std::size_t size);
    // A file's bytes; null for a folder or nothing.
    const std::vector<std::uint8_t>* File(const std::string& path) const;
    // Removes a file or a folder with everything in it.
    void Remove(const std::string& path);
    // The names directly inside a folder, each with whether it is a folder.
    std::vector<std::pair<std::string, bool>> List(const std::string& folder) const;
    // The descriptors open now.
    std::size_t OpenCount() const;

private:
    MemoryHost();
};

}  // namespace kv::fuzz
