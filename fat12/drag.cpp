#include "fat12/drag.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "fat12/add.h"
#include "fat12/directory.h"
#include "fat12/extract.h"

namespace kv {

std::optional<std::string> CreateTempFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    for (unsigned number = 1; number <= 0xFFFF; ++number) {
        std::string path = base + "/" + prefix + std::to_string(number);
        if (::mkdir(path.c_str(), 0700) == 0) return path;
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

void RemoveTempFolder(const std::optional<std::string>& path) {
    if (!path) return;
    // The folder is opened without following a link, and every entry is
    // removed relative to it, so nothing outside it can be reached.
    int folder = ::open(path->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    if (DIR* listing = ::fdopendir(folder)) {
        while (const dirent* entry = ::readdir(listing)) {
            if (entry->d_name[0] == '.') continue;
            ::unlinkat(folder, entry->d_name, 0);  // a sub-folder refuses and stays
        }
        ::closedir(listing);
    } else {
        ::close(folder);
    }
    ::rmdir(path->c_str());
}

void DiscardDragFolder(Session& s) {
    RemoveTempFolder(s.dragFolder);
    s.dragFolder.reset();
}

bool BeginDragOut(Session& s, WindowRef owner, std::vector<std::string>& paths) {
    paths.clear();
    if (!s.dragFolder) {
        s.dragFolder = CreateTempFolder("KV$");
        if (!s.dragFolder) return false;
    }
    // Earlier copies in the private folder give way, read-only ones too; a
    // selection that will be refused keeps them.
    bool refused = false;
    std::vector<std::string> names;
    ForEachSelectedRow(s, [&](const SelectedRow& row) {
        refused = refused || (row.slot[dir::kAttributes] & (attr::kDirectory | attr::kVolumeLabel)) != 0;
        names.push_back(SafeHostFileName(row.text));
        return RowWalk::Next;
    });
    if (!refused) {
        int folder = ::open(s.dragFolder->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        for (const std::string& name : names) {
            if (folder >= 0) ::unlinkat(folder, name.c_str(), 0);
        }
        if (folder >= 0) ::close(folder);
    }
    return ExtractSelectionIntoFolder(s, owner, *s.dragFolder, paths);
}

void OnFilesDropped(Session& s, WindowRef owner, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    WaitCursor wait(s.ui);
    if (!s.doc.IsOpen()) {
        OpenImage(s, owner, paths.front());
        return;
    }
    for (const std::string& path : paths) {
        if (!AddHostFile(s, path)) return;
    }
}

}  // namespace kv
