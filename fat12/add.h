// Adding host files and folders to the root directory of the open image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "platform/host_file.h"

namespace kv {

// Adds one host file (or folder, as an entry without clusters) to the open
// image. All or nothing: the work is done on a working copy that is laid into
// the image's bytes (in the same buffer) only when everything succeeded, so a
// refused question, a full directory or disk, a short image or a failing read
// leave the image and its modified flag exactly as they were. False when
// nothing was added; the reason has been shown.
bool AddHostFile(Session& s, const std::string& hostPath);

// The working copy of an add: to the add it is a copy of the whole image, but
// only the volume's system area (boot sector, FAT copies, root directory, and
// every FAT entry of the cluster range) is copied, since that is all an add
// reads; the file data written into clusters above it is staged. Committing
// lays both into the image's own buffer, which never moves. So an add costs
// the size of the system area and of the file, not two copies of the image.
// Several files may be added to one copy and committed together.
class WorkingCopy {
public:
    // Copies the system area. False when memory is short.
    bool Create(const ImageDocument& doc);
    // Makes room for the `count` bytes of the next file. False when memory is
    // short.
    bool Reserve(std::uint64_t count);
    // The bytes of that file, in file order.
    std::uint8_t* FileBytes() { return file_; }

    // The volume of the copy: only its system area may be read or written
    // through this pointer; cluster data goes through Place.
    std::uint8_t* Volume() { return copy_.get() + bootOffset_; }
    std::uint32_t VolumeLength() const { return length_; }
    // Puts `count` bytes of the file from offset `from` at volume offset
    // `offset` (a cluster).
    void Place(std::uint64_t offset, std::uint64_t from, std::uint32_t count);

    // Where the search for a free cluster may start: every cluster below it
    // is taken in the copy (the first fit of the next file begins there).
    std::uint32_t SearchFrom() const { return searchFrom_; }
    void SetSearchFrom(std::uint32_t cluster) { searchFrom_ = cluster; }

    // Lays the copy (the sectors of it that differ) and the staged data into
    // the image, in the order they were placed.
    void CommitTo(ImageDocument& doc) const;

private:
    struct Piece {
        std::uint64_t offset;  // in the volume
        const std::uint8_t* bytes;
        std::uint32_t count;
    };
    Bytes copy_;
    std::uint32_t bootOffset_ = 0;
    std::uint32_t length_ = 0;      // the whole volume's length
    std::uint64_t systemEnd_ = 0;   // volume offset where staging begins
    std::uint64_t copied_ = 0;      // volume bytes in copy_: the system area and one cluster
    std::vector<Bytes> staged_;     // chunks of the files' bytes
    std::uint8_t* file_ = nullptr;  // the bytes of the latest file
    std::uint8_t* next_ = nullptr;  // the free rest of the latest chunk
    std::size_t chunkLeft_ = 0;
    std::uint32_t searchFrom_ = 2;
    std::vector<Piece> pieces_;
};

// Adds host files to the open image as one change: each Add works on one
// working copy, and Commit lays everything added into the image at once (with
// the rows of the file list and the modified flag). After a failed Add (shown)
// nothing more is added, and nothing reaches the image unless committed.
class HostFileAdder {
public:
    explicit HostFileAdder(Session& s) : s_(s) {}
    bool Add(const std::string& hostPath);
    void Commit();

private:
    struct Row {
        std::uint32_t slotOffset;  // in the image
        std::size_t position;
        bool exists;  // the entry had a row already
    };
    Session& s_;
    WorkingCopy copy_;
    bool created_ = false;
    bool failed_ = false;
    std::vector<Row> rows_;
};

// Copies `byteCount` bytes of `file` into free clusters of the working copy,
// first fit (from the copy's SearchFrom), linking them into the chain of the
// entry at `entrySlot` (in the copy). The file is read first, in one transfer
// (as much of it as the volume's clusters can hold), so a failing read is
// reported before a full disk would be. False after the host's reason for a failed
// read, "Disk full!" or "Disk full!\n(image too small)".
bool CopyFileIntoClusters(Ui& ui, const VolumeGeometry& g, HostFile& file, WorkingCopy& copy,
                          const std::string& hostPath, std::uint8_t* entrySlot, std::uint32_t byteCount);

// The Add file command: asks for one host file and adds it.
bool ChooseAndAddFile(Session& s, WindowRef owner);

}  // namespace kv
