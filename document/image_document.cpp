#include "document/image_document.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "document/boot_sector.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/runs.h"
#include "platform/string_table.h"

namespace kv {
namespace {

// Every way out of OpenImage after the file was opened: close it, release the
// buffer, restore the cursor.
bool FailOpen(Session& s, HostFile& file) {
    std::uint32_t ignored = 0;
    file.Close(ignored);
    s.ui.SetCursor(Cursor::Arrow);
    return false;
}

// Removes the new file of a Save As that no save has put in place.
void ForgetNewFile(ImageDocument& doc) {
    if (doc.fileIsNew && !doc.newFilePath.empty()) DiscardHostFile(doc.newFilePath);
    doc.fileIsNew = false;
    doc.newFilePath.clear();
}

// Writes the sectors of `data` that differ from what `file` holds now, in as
// few calls as there are runs of them. The file is read in chunks with its own
// calls, so what is compared is what the file holds, whoever wrote it.
bool WriteChangedSectors(HostFile& file, const std::uint8_t* data, std::uint64_t size, std::uint32_t& error) {
    constexpr std::uint64_t kSector = 512;
    constexpr std::uint64_t kChunk = 64 * 1024;
    Bytes held = AllocateBytes(kChunk);
    if (!held) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    RunFolder changed(
        [&](std::uint64_t start, std::uint64_t length) { return file.WriteAt(start, data + start, length, error); });
    for (std::uint64_t at = 0; at < size; at += kChunk) {
        const std::uint64_t n = std::min(kChunk, size - at);
        std::uint64_t got = 0;
        if (!file.ReadAt(at, held.get(), n, got, error)) return false;
        if (got == n && std::memcmp(held.get(), data + at, n) == 0) continue;
        for (std::uint64_t sector = at; sector < at + n; sector += kSector) {
            const std::uint64_t length = std::min(kSector, size - sector);
            const std::uint64_t inChunk = sector - at;
            if (inChunk + length <= got && std::memcmp(held.get() + inChunk, data + sector, length) == 0) continue;
            if (!changed.Add(sector, length)) return false;
        }
    }
    return changed.Flush();
}

struct Run {
    std::uint64_t start, length;
};

// The runs of pages of a mapped image that this process wrote, as byte ranges
// of the image. False when the host cannot tell which pages were written, and
// when it tells of none for a modified image (every change writes a byte, so a
// host whose page map shows nothing would lose the change).
bool WrittenRuns(const ImageDocument& doc, std::vector<Run>& runs) {
    std::vector<std::uint8_t> written((doc.size + kMapPageSize - 1) / kMapPageSize);
    if (Host().writtenPages(doc.data.get(), doc.size, written.data()) != 0) return false;
    if (doc.modified && std::find(written.begin(), written.end(), 1) == written.end()) return false;
    for (std::size_t page = 0; page < written.size();) {
        if (!written[page]) {
            ++page;
            continue;
        }
        const std::size_t first = page;
        while (page < written.size() && written[page]) ++page;
        const std::uint64_t start = first * kMapPageSize;
        runs.push_back(Run{start, std::min<std::uint64_t>(page * kMapPageSize, doc.size) - start});
    }
    return true;
}

// A mapped image: the pages it wrote are all that can differ from the file,
// since every other page is the file's own. The space from the first run to
// the end of the last is secured in one call before the first is written;
// once written, the pages of that stretch are the file's again (the written
// ones were all written back), so that the next save writes only what
// changes after this one.
bool WriteRuns(ImageDocument& doc, const std::vector<Run>& runs, std::uint32_t& error) {
    if (runs.empty()) return true;
    const std::uint64_t start = runs.front().start, length = runs.back().start + runs.back().length - start;
    if (!doc.file.ReserveSpace(start, length, error)) return false;
    for (const Run& r : runs) {
        if (!doc.file.WriteAt(r.start, doc.data.get() + r.start, r.length, error)) return false;
    }
    Host().cleanPages(doc.data.get() + start, static_cast<std::size_t>(length));
    return true;
}

// The writing part of SaveImage: secure the space, write what changed, cut
// what lies beyond the image, and put the new file of a Save As in place
// (removing it when that fails).
bool WriteImageFile(ImageDocument& doc, std::uint32_t& error) {
    if (doc.fileIsNew && doc.newFilePath.empty()) {
        HostFile file = HostFile::CreateBeside(doc.path, doc.newFilePath, error);
        if (!file.IsOpen()) return false;
        doc.file = std::move(file);
    }
    std::vector<Run> runs;
    bool ok = doc.mapsFile && WrittenRuns(doc, runs)
                  ? WriteRuns(doc, runs, error)
                  : doc.file.ReserveSpace(0, doc.size, error) &&
                        WriteChangedSectors(doc.file, doc.data.get(), doc.size, error);
    std::uint64_t now = 0;
    ok = ok && doc.file.Size(now, error) && (now <= doc.size || doc.file.Truncate(doc.size, error));
    if (doc.fileIsNew) {
        ok = ok && doc.file.Flush(error) && CheckReplaceable(doc.path, error) &&
             ReplaceHostFile(doc.newFilePath, doc.path, error);
        if (!ok) DiscardHostFile(doc.newFilePath);
        doc.newFilePath.clear();
        doc.fileIsNew = !ok;
    }
    return ok;
}

}  // namespace

bool OpenImage(Session& s, WindowRef owner, const std::optional<std::string>& requested, bool readOnly,
               ImageLoad load) {
    std::string path;
    if (requested) {
        path = *requested;
    } else if (!ChooseImageFile(s, owner, str::kImageFilter, path, OFN_FILEMUSTEXIST, &readOnly, false, 0) ||
               path.empty()) {
        return false;
    }
    if (path.empty()) return false;
    if (!CloseImage(s, false)) return false;

    s.ui.SetCursor(Cursor::Wait);
    std::uint32_t error = 0;
    std::uint32_t access = GENERIC_READ | (readOnly ? 0 : GENERIC_WRITE);
    HostFile file = HostFile::Open(path, access, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, error);
    if (!file.IsOpen()) {
        std::uint32_t first = error;
        if (first == ERROR_ACCESS_DENIED && !readOnly) {
            readOnly = true;
            file = HostFile::Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, error);
        }
        if (file.IsOpen()) {
            ShowStringMessage(s.ui, owner, str::kReadOnlyWarning, MB_ICONEXCLAMATION);
        } else {
            ShowSystemError(s.ui, owner, path, first, std::nullopt, MB_ICONHAND);
            s.ui.SetCursor(Cursor::Arrow);
            return false;
        }
    }

    std::uint64_t size = 0;
    if (!file.Size(size, error)) {
        ShowSystemError(s.ui, owner, path, error, std::nullopt, MB_ICONHAND);
        return FailOpen(s, file);
    }
    if (size > kMaxImageSize) {
        ShowStringMessage(s.ui, owner, str::kFileTooLarge, MB_ICONHAND);
        return FailOpen(s, file);
    }
    if (size < 512) {
        ShowStringMessage(s.ui, owner, str::kFileTooSmall, MB_ICONHAND);
        return FailOpen(s, file);
    }
    // A file that cannot be mapped is read. So is one that may be changed, has
    // holes and whose space cannot be secured: on some file systems (tmpfs)
    // the first write to a page of a hole takes a page of the file system, and
    // without one the process would be killed.
    const bool map =
        load == ImageLoad::Map && (readOnly || !file.MayHaveHoles(size) || file.ReserveSpace(0, size, error));
    Bytes data = map ? MapFileBytes(file.Descriptor(), static_cast<std::size_t>(size)) : Bytes();
    if (!data) {
        data = AllocateBytes(static_cast<std::size_t>(size));
        if (!data) {
            ShowMessage(s.ui, owner,
                        FillText("Not enough memory for image (%lu Bytes required)!", {std::to_string(size)}),
                        MB_ICONHAND);
            return FailOpen(s, file);
        }
        std::uint64_t done = 0;
        if (!file.Read(data.get(), size, done, error) || done < size) {
            if (error == ERROR_SUCCESS) error = ERROR_HANDLE_EOF;
            ShowSystemError(s.ui, owner, path, error, std::nullopt, MB_ICONHAND);
            return FailOpen(s, file);
        }
    }
    std::uint32_t bootOffset = 0;
    if (!ReadCommentHeader(s.ui, owner, data.get(), static_cast<std::uint32_t>(size), bootOffset)) {
        return FailOpen(s, file);
    }

    ImageDocument& doc = s.doc;
    doc.file = std::move(file);
    doc.data = std::move(data);
    doc.size = static_cast<std::uint32_t>(size);
    doc.bootOffset = bootOffset;
    doc.path = path;
    doc.modified = false;
    doc.readOnly = readOnly;
    doc.mapsFile = doc.data.get_deleter().mapped != 0;

    bool valid = ReadVolumeGeometry(s, owner, true);
    if (CreateMediaErrorList(doc.errors, doc.geometry.totalSectors)) {
        LoadMediaErrorFile(s.ui, doc.errors, doc.path, doc.readOnly);
    }
    EnableFileList(s, true);
    if (s.listRootDirectory) s.listRootDirectory(s);
    if (valid) CheckFatCopies(s, owner);
    s.ui.SetCursor(Cursor::Arrow);
    return true;
}

bool CloseImage(Session& s, bool updateTitle) {
    ImageDocument& doc = s.doc;
    if (!doc.IsOpen()) return true;
    if (doc.modified) {
        int answer = ShowStringMessage(s.ui, kMainWindow, str::kSaveChanges, MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDYES) {
            if (!SaveImage(s)) return false;
        } else if (answer != IDNO) {
            return false;
        }
    }
    std::uint32_t ignored = 0;
    doc.file.Close(ignored);
    ForgetNewFile(doc);
    doc.data.reset();
    doc.mapsFile = false;
    CloseMediaErrorFile(doc.errors);
    doc.errors.bytes.reset();
    doc.errors.byteCount = 0;
    doc.size = 0;
    doc.bootOffset = 0;
    doc.path.clear();
    doc.modified = false;
    if (updateTitle) UpdateWindowTitle(s);
    s.list.RemoveAllRows();
    EnableFileList(s, false);
    return true;
}

bool SaveImage(Session& s, bool* sideFileSaved) {
    ImageDocument& doc = s.doc;
    if (sideFileSaved != nullptr) *sideFileSaved = true;
    if (!doc.IsOpen()) return false;
    if (!doc.file.IsOpen()) {
        SaveImageAs(s, kMainWindow);
        if (!doc.file.IsOpen()) return false;
    }
    s.ui.SetCursor(Cursor::Wait);
    if (doc.modified && doc.geometry.fatCount > 1) {
        std::uint64_t fatSize = FatCopySize(doc.geometry);
        std::uint64_t fat2 = static_cast<std::uint64_t>(doc.bootOffset) + 512 + fatSize;
        if (fat2 <= doc.size) {
            // Copy 2 is written only when it differs (a mapped image writes
            // back every page written).
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(fatSize, doc.size - fat2));
            std::uint8_t* copy2 = doc.data.get() + fat2;
            const std::uint8_t* copy1 = doc.data.get() + doc.bootOffset + 512;
            if (std::memcmp(copy2, copy1, count) != 0) std::memmove(copy2, copy1, count);
        }
    }
    std::uint32_t error = 0;
    if (!WriteImageFile(doc, error)) {
        ShowSystemError(s.ui, kMainWindow, doc.path, error, std::nullopt, MB_ICONHAND);
        s.ui.SetCursor(Cursor::Arrow);
        return false;
    }
    doc.modified = false;
    bool sideSaved = SaveMediaErrorFile(s.ui, doc.errors, doc.path);
    if (sideFileSaved != nullptr) *sideFileSaved = sideSaved;
    s.ui.SetCursor(Cursor::Arrow);
    return true;
}

bool SaveImageAs(Session& s, WindowRef owner) {
    std::string path;
    if (!ChooseImageFile(s, owner, str::kImageFilter, path, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY,
                         nullptr, true, str::kImageExtension)) {
        return false;
    }
    s.ui.SetCursor(Cursor::Wait);
    std::uint32_t error = 0;
    std::string newPath;
    HostFile file = HostFile::CreateBeside(path, newPath, error);
    s.ui.SetCursor(Cursor::Arrow);
    if (!file.IsOpen()) {
        ShowSystemError(s.ui, owner, path, error, std::nullopt, MB_ICONHAND);
        return false;
    }
    ImageDocument& doc = s.doc;
    ForgetNewFile(doc);
    doc.file = std::move(file);  // closes the old file
    doc.fileIsNew = true;
    doc.mapsFile = false;
    doc.newFilePath = newPath;
    doc.path = path;
    CloseMediaErrorFile(doc.errors);
    UpdateWindowTitle(s);
    EnableFileList(s, true);
    return true;
}

bool ChooseImageFile(Session& s, WindowRef owner, std::uint32_t filterStringId, std::string& path, std::uint32_t flags,
                     bool* readOnly, bool save, std::uint32_t defaultExtensionId) {
    FileDialogRequest request;
    request.save = save;
    request.filterStringId = filterStringId;
    request.initialName = path;
    request.flags = flags;
    request.defaultExtensionId = defaultExtensionId;
    FileDialogResult result;
    result.readOnly = readOnly != nullptr && *readOnly;
    if (!s.ui.ChooseFile(owner, request, result)) return false;
    path = result.path;
    if (readOnly != nullptr) *readOnly = result.readOnly;
    return true;
}

void UpdateWindowTitle(Session& s) {
    std::string name = FileNamePart(s.doc.path);
    s.ui.SetWindowTitle(name.empty() ? ApplicationTitle() : name + " - " + ApplicationTitle());
}

std::string FileNamePart(const std::string& path) {
#ifdef _WIN32
    std::string::size_type cut = path.find_last_of("\\/:");
#else
    std::string::size_type cut = path.find_last_of('/');
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void EnableFileList(Session& s, bool enabled) { s.ui.EnableFileList(enabled); }

void AdoptUntitledImage(Session& s, Bytes data, std::uint32_t size) {
    ImageDocument& doc = s.doc;
    std::uint32_t ignored = 0;
    doc.file.Close(ignored);
    ForgetNewFile(doc);
    doc.data = std::move(data);
    doc.mapsFile = false;
    doc.size = size;
    doc.bootOffset = 0;
    doc.path = LoadText(str::kUntitled);
    doc.readOnly = false;
    doc.modified = false;
}

}  // namespace kv
