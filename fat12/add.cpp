#include "fat12/add.h"

#include <algorithm>
#include <cstring>

#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/fat.h"
#include "platform/codepage.h"
#include "platform/dos_time.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

// The bytes the clusters of the volume hold together.
std::uint64_t DataCapacity(const VolumeGeometry& g) {
    std::uint32_t last = LastCluster(g);
    return last < 2 ? 0 : (last - 1ull) * ClusterBytes(g);
}

}  // namespace

bool WorkingCopy::Create(const ImageDocument& doc) {
    const VolumeGeometry& g = doc.geometry;
    bootOffset_ = doc.bootOffset;
    length_ = doc.VolumeLength();
    const std::uint64_t rootEnd = RootDirectoryOffset(g) + static_cast<std::uint64_t>(g.rootEntries) * dir::kEntrySize;
    const std::uint64_t fatEnd = kSectorSize + (3ull * LastCluster(g)) / 2 + 2;
    systemEnd_ = std::min<std::uint64_t>(std::max({DataStartSector(g) * kSectorSize, rootEnd, fatEnd}), length_);
    // One cluster more, so that a piece starting inside the system area (odd
    // geometries only) is written into the copy whole.
    copied_ = std::min<std::uint64_t>(systemEnd_ + ClusterBytes(g), length_);
    copy_ = AllocateBytes(static_cast<std::size_t>(bootOffset_ + copied_));
    if (!copy_) return false;
    std::memcpy(copy_.get(), doc.data.get(), static_cast<std::size_t>(bootOffset_ + copied_));
    return true;
}

bool WorkingCopy::Reserve(std::uint64_t count) {
    // The files are staged one after the other in chunks, each made present
    // in one call rather than a page fault at a time.
    constexpr std::size_t kChunk = 64 * 1024;
    if (count > chunkLeft_) {
        const std::size_t size = std::max(static_cast<std::size_t>(count), kChunk);
        Bytes chunk = AllocateBytes(size);
        if (!chunk) return false;
        PrepareToWrite(chunk.get(), size);
        next_ = chunk.get();
        chunkLeft_ = size;
        staged_.push_back(std::move(chunk));
    }
    file_ = next_;
    next_ += count;
    chunkLeft_ -= static_cast<std::size_t>(count);
    return true;
}

void WorkingCopy::Place(std::uint64_t offset, std::uint64_t from, std::uint32_t count) {
    const std::uint8_t* bytes = file_ + from;
    if (offset < systemEnd_) {
        std::memcpy(Volume() + offset, bytes, count);
    } else {
        pieces_.push_back(Piece{offset, bytes, count});
    }
}

void WorkingCopy::CommitTo(ImageDocument& doc) const {
    // Sectors left as they were stay unwritten (a mapped image saves the pages written).
    const std::size_t copied = static_cast<std::size_t>(bootOffset_ + copied_);
    for (std::size_t at = 0; at < copied; at += kSectorSize) {
        const std::size_t n = std::min<std::size_t>(kSectorSize, copied - at);
        std::uint8_t* to = doc.data.get() + at;
        if (std::memcmp(to, copy_.get() + at, n) != 0) std::memcpy(to, copy_.get() + at, n);
    }
    // The pages of each run of pieces that leaves no page between them
    // unwritten are made writable in one call (where the image is mapped,
    // they are copied then) rather than a page fault at a time.
    const auto page = [&](std::uint64_t offset) {
        return (reinterpret_cast<std::uintptr_t>(doc.Volume()) + offset) / kMapPageSize;
    };
    for (std::size_t i = 0; i < pieces_.size();) {
        const std::uint64_t start = pieces_[i].offset;
        std::uint64_t end = start + pieces_[i].count;
        std::size_t j = i + 1;
        for (; j < pieces_.size() && pieces_[j].offset >= end && page(pieces_[j].offset) <= page(end - 1) + 1; ++j) {
            end = pieces_[j].offset + pieces_[j].count;
        }
        PrepareToWrite(doc.Volume() + start, static_cast<std::size_t>(end - start));
        for (; i < j; ++i) std::memcpy(doc.Volume() + pieces_[i].offset, pieces_[i].bytes, pieces_[i].count);
    }
}

bool CopyFileIntoClusters(Ui& ui, const VolumeGeometry& g, HostFile& file, WorkingCopy& copy,
                          const std::string& hostPath, std::uint8_t* entrySlot, std::uint32_t byteCount) {
    std::uint8_t* volume = copy.Volume();
    const std::uint32_t length = copy.VolumeLength();
    const std::uint64_t clusterBytes = ClusterBytes(g);
    if (byteCount == 0) return true;
    // No more than the volume's clusters can hold is ever placed: a bigger
    // file ends with "Disk full!" before its further bytes are needed.
    const std::uint64_t wanted = std::min<std::uint64_t>(byteCount, DataCapacity(g));
    std::uint64_t done = 0;
    std::uint32_t error = 0;
    if (!file.Read(copy.FileBytes(), wanted, done, error) || done < wanted) {
        if (error == ERROR_SUCCESS) error = ERROR_HANDLE_EOF;
        ShowSystemError(ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
        return false;
    }
    std::uint32_t remaining = byteCount;
    std::uint32_t previous = 0;
    while (remaining != 0) {
        // First fit: every cluster below the one just taken is taken too, and
        // so is every one below where the copy's search starts.
        std::uint32_t x = FindFreeCluster(g, volume, length, previous == 0 ? copy.SearchFrom() : previous + 1);
        if (x == 0) {
            ShowMessage(ui, kMainWindow, "Disk full!", MB_ICONHAND);
            return false;
        }
        std::uint32_t piece = remaining < clusterBytes ? remaining : static_cast<std::uint32_t>(clusterBytes);
        std::uint64_t offset = ClusterOffset(g, x);
        // The whole cluster must be there, not only the piece: every reader
        // takes a cluster that the image cuts as lying beyond its end.
        if (!ClusterInsideVolume(g, length, x)) {
            ShowMessage(ui, kMainWindow, "Disk full!\n(image too small)", MB_ICONHAND);
            return false;
        }
        copy.Place(offset, byteCount - remaining, piece);
        if (previous == 0) {
            WriteWord(entrySlot + dir::kFirstCluster, x);
        } else {
            WriteFatEntry(volume, length, previous, static_cast<std::uint16_t>(x));
        }
        WriteFatEntry(volume, length, x, kEndOfChain);
        previous = x;
        remaining -= piece;
    }
    copy.SetSearchFrom(previous + 1);
    return true;
}

bool AddHostFile(Session& s, const std::string& hostPath) {
    HostFileAdder adder(s);
    if (!adder.Add(hostPath)) return false;
    adder.Commit();
    return true;
}

bool HostFileAdder::Add(const std::string& hostPath) {
    Session& s = s_;
    ImageDocument& doc = s.doc;
    if (!doc.IsOpen() || failed_) return false;
    failed_ = true;  // until this one is added
    if (!created_ && !copy_.Create(doc)) {
        ShowMessage(s.ui, kMainWindow, "Out of memory!", MB_ICONHAND);
        return false;
    }
    created_ = true;
    WorkingCopy& copy = copy_;
    std::uint8_t* volume = copy.Volume();
    const std::uint32_t length = copy.VolumeLength();
    const VolumeGeometry& g = doc.geometry;

    HostFileInfo info;
    std::uint32_t error = 0;
    if (!FindHostFile(hostPath, info, error)) {
        ShowSystemError(s.ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
        return false;
    }
    const bool folder = (info.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const auto size = static_cast<std::uint32_t>(info.size);  // the low 32 bits
    if (!copy.Reserve(folder ? 0 : std::min<std::uint64_t>(size, DataCapacity(g)))) {
        ShowMessage(s.ui, kMainWindow, "Out of memory!", MB_ICONHAND);
        return false;
    }
    // Host names are UTF-8; entries hold code page 437, upper-cased.
    std::string name = Utf8ToCp437(info.alternateFileName.empty() ? info.fileName : info.alternateFileName);
    UpperCaseCp437(name);
    const std::string nameText = Cp437ToUtf8(name);
    std::uint8_t field[dir::kShortNameLength];
    MakeShortNameField(name, field);
    // A name of nothing but blanks and dots ("", ".", "..") names no file.
    if (std::all_of(field, field + dir::kShortNameLength, [](std::uint8_t c) { return c == ' ' || c == '.'; })) {
        ShowMessage(s.ui, kMainWindow, hostPath + "\n" + LoadText(str::kNameInvalid), MB_ICONHAND);
        return false;
    }

    std::optional<DirectorySlot> found = FindDirectorySlot(s.ui, g, volume, length, nameText, field, false);
    if (!found) return false;
    std::uint8_t* slot = volume + found->offset;
    // A label or another system's long-name entry of the same name has no row
    // yet: the entry that replaces it needs one.
    const bool hasRow = found->exists && IsShownSlot(slot);
    if (found->exists) {
        FreeClusterChain(g, slot, volume, length);
        copy.SetSearchFrom(2);
    }
    if (slot[0] == dir::kEndMarker) KeepEndMarkerBehind(g, volume, length, found->offset);
    std::memcpy(slot + dir::kName, field, dir::kShortNameLength);
    WriteWord(slot + dir::kFirstCluster, 0);

    if (!folder) {
        HostFile file =
            HostFile::Open(hostPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, error);
        if (!file.IsOpen()) {
            ShowSystemError(s.ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
            return false;
        }
        bool copied = CopyFileIntoClusters(s.ui, g, file, copy, hostPath, slot, size);
        file.Close(error);
        if (!copied) return false;
    }
    std::uint16_t date = 0, time = 0;
    DosDateTimeFromHostTime(info.lastWriteTime, date, time);
    WriteWord(slot + dir::kTime, time);
    WriteWord(slot + dir::kDate, date);
    WriteDword(slot + dir::kSize, size);
    slot[dir::kAttributes] = static_cast<std::uint8_t>(info.attributes & 0x3F);

    rows_.push_back(Row{static_cast<std::uint32_t>(doc.bootOffset + found->offset), found->position, hasRow});
    failed_ = false;
    return true;
}

void HostFileAdder::Commit() {
    if (failed_ || rows_.empty()) return;
    copy_.CommitTo(s_.doc);
    for (const Row& row : rows_) {
        if (row.exists) {
            s_.list.Redraw();
        } else {
            AddListRow(s_, row.slotOffset, row.position);
        }
    }
    rows_.clear();
    copy_ = WorkingCopy();
    created_ = false;
    s_.doc.modified = true;
}

bool ChooseAndAddFile(Session& s, WindowRef owner) {
    std::string path;
    if (!ChooseImageFile(s, owner, str::kAllFilesFilter, path, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, nullptr, false, 0))
        return false;
    return AddHostFile(s, path);
}

}  // namespace kv
