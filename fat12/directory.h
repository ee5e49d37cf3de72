// Directory entries of the root directory: the 32-byte entry, its names, the
// one way every operation scans the root directory's slots, the file list's
// rows, and finding a slot for a new entry or a new name.
//
// A subdirectory is only ever one entry of the root directory: its clusters
// are never read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/disk_format.h"
#include "document/image_document.h"

namespace kv {

// Offsets of an entry's fields in its 32-byte slot (little-endian).
namespace dir {
inline constexpr std::size_t kEntrySize = 32;
inline constexpr std::size_t kName = 0;           // 8 bytes, blank-padded
inline constexpr std::size_t kExtension = 8;      // 3 bytes, blank-padded
inline constexpr std::size_t kAttributes = 11;    // byte
inline constexpr std::size_t kReserved = 12;      // 10 bytes, left as found
inline constexpr std::size_t kTime = 22;          // word, DOS time
inline constexpr std::size_t kDate = 24;          // word, DOS date
inline constexpr std::size_t kFirstCluster = 26;  // word, 0 without a chain
inline constexpr std::size_t kSize = 28;          // dword, bytes
inline constexpr std::size_t kShortNameLength = 11;

inline constexpr std::uint8_t kEndMarker = 0x00;    // first name byte: this and every later slot is free
inline constexpr std::uint8_t kDeletedMark = 0xE5;  // first name byte: a deleted, reusable slot
// First name byte 0x05 stands for a name that begins with 0xE5 (the
// character sigma), which would otherwise read as the deleted mark.
inline constexpr std::uint8_t kEscapedDeletedMark = 0x05;
}  // namespace dir

// Attribute bits.
namespace attr {
inline constexpr std::uint8_t kReadOnly = 0x01;
inline constexpr std::uint8_t kHidden = 0x02;
inline constexpr std::uint8_t kSystem = 0x04;
inline constexpr std::uint8_t kVolumeLabel = 0x08;
inline constexpr std::uint8_t kDirectory = 0x10;
inline constexpr std::uint8_t kArchive = 0x20;
inline constexpr std::uint8_t kLongNameMask = 0x0F;    // all four low bits: another system's long-name entry
inline constexpr std::uint8_t kUserChangeable = 0x27;  // read-only, hidden, system, archive
}  // namespace attr

// An entry read out of its slot, or to be written into one.
struct DirEntry {
    std::uint8_t name[8];
    std::uint8_t extension[3];
    std::uint8_t attributes;
    std::uint8_t reserved[10];
    std::uint16_t time;
    std::uint16_t date;
    std::uint16_t firstCluster;
    std::uint32_t size;
};
static_assert(sizeof(DirEntry) == 32, "a directory entry is 32 bytes");

DirEntry ReadDirEntry(const std::uint8_t* slot);
void WriteDirEntry(std::uint8_t* slot, const DirEntry& entry);

// Slot kinds, by first name byte and attributes.
inline bool IsLongNameEntry(std::uint8_t attributes) {
    return (attributes & attr::kLongNameMask) == attr::kLongNameMask;
}
inline bool IsLiveSlot(const std::uint8_t* slot) { return slot[0] != dir::kEndMarker && slot[0] != dir::kDeletedMark; }
// A live slot that the file list shows: not a label, not a long-name entry.
inline bool IsShownSlot(const std::uint8_t* slot) {
    return IsLiveSlot(slot) && (slot[dir::kAttributes] & attr::kVolumeLabel) == 0;
}
inline bool IsVolumeLabelSlot(const std::uint8_t* slot) {
    std::uint8_t a = slot[dir::kAttributes];
    return IsLiveSlot(slot) && (a & attr::kVolumeLabel) != 0 && !IsLongNameEntry(a);
}

// The text of a name field (8 or 3 bytes): at most its bytes, cut at the first
// NUL, trailing blanks removed.
std::string TrimField(const std::uint8_t* field, std::size_t length);

// Fills the 11-byte short name field from an upper-cased name: the base up to
// the first dot (at most 8 characters, a longer base runs on into the
// extension), then at most 3 characters after that one dot, blank-padded.
void MakeShortNameField(std::string_view text, std::uint8_t out[dir::kShortNameLength]);

// Stores a first name byte of 0xE5 as 0x05, so that a name beginning with
// sigma stays a live entry. Every name the program writes goes through it.
void EscapeFirstNameByte(std::uint8_t field[dir::kShortNameLength]);

// True when every byte is allowed in a name: A-Z, 0-9, 0x80 and above, and
// $ % - _ @ { } ~ ` ! # ( ). The empty text is valid.
bool IsValidNameText(std::string_view text);

// The shown name of a slot: the trimmed base, and "." and the trimmed
// extension when there is one. Code page 437 bytes, at most 12 of them; a
// first byte 0x05 is shown as the 0xE5 it stands for.
std::string DisplayName(const std::uint8_t* slot);

// How a scan of the root directory ended.
enum class ScanEnd {
    EndMarker,  // at a slot whose first byte is 0x00
    SlotCount,  // every slot of the directory was visited
    VolumeEnd,  // the next slot does not lie wholly inside the volume
    Stopped,    // the visitor asked to stop
};

struct ScanResult {
    ScanEnd end = ScanEnd::SlotCount;
    std::uint32_t index = 0;   // the slot where the scan ended (the end slot, the stopping slot)
    std::uint64_t offset = 0;  // its volume offset
};

// The volume offset of the root directory.
std::uint64_t RootDirectoryOffset(const VolumeGeometry& g);

// Visits the slots of the root directory in order, from the first, up to the
// end marker, the slot count or the end of the volume, whichever comes first.
// The visitor gets the slot's index, its volume offset and its bytes, and
// returns false to stop. The end-marker slot itself is not visited.
template <typename Byte, typename Visitor>
ScanResult ScanRootDirectory(const VolumeGeometry& g, Byte* volume, std::uint32_t length, Visitor&& visit) {
    ScanResult r;
    std::uint64_t offset = RootDirectoryOffset(g);
    for (std::uint32_t i = 0;; ++i, offset += dir::kEntrySize) {
        r.index = i;
        r.offset = offset;
        if (i >= g.rootEntries) {
            r.end = ScanEnd::SlotCount;
            return r;
        }
        if (offset + dir::kEntrySize >= length) {
            r.end = ScanEnd::VolumeEnd;
            return r;
        }
        Byte* slot = volume + offset;
        if (slot[0] == dir::kEndMarker) {
            r.end = ScanEnd::EndMarker;
            return r;
        }
        if (!visit(i, offset, slot)) {
            r.end = ScanEnd::Stopped;
            return r;
        }
    }
}

// Inserts a row for the slot at image offset `slotOffset` at `position`
// (kEndOfList appends). False when the list refused the row.
bool AddListRow(Session& s, std::uint32_t slotOffset, std::size_t position);

// The columns of the file list, in their order.
enum class ListColumn { Filename, Size, LastChange, Attributes };

// Five positions in the order read-only "R", hidden "H", archive "A", system
// "S", directory "D": the letter when the attribute byte has the bit, else a
// blank.
std::string AttributeLetters(std::uint8_t attributes);

// The text of a Size, Last change or Attributes cell, made from the entry's
// slot each time it is asked for (UTF-8): the size in the locale's grouping
// (empty for a directory), the short date and the time (empty for the stamp
// 1980-01-01 00:00:00 and for dates that are no real day), the attribute
// letters. The Filename cell is the row's own text; any other column is empty.
std::string SupplyCellText(const std::uint8_t* slot, ListColumn column, const Locale& locale);

// Adds a row for every shown entry of the open image's root directory.
void ListRootDirectory(Session& s);

// A slot found for a new entry or a new name.
struct DirectorySlot {
    std::uint64_t offset = 0;  // volume offset of the slot
    std::size_t position = 0;  // the slots passed before it: where the file list puts the row
    bool exists = false;       // the slot holds an entry of the wanted name
};

// Finds the slot for `wanted`: a live slot of that name (asking first to
// replace it unless `silent`), else the end slot, else the first deleted slot.
// `nameText` (UTF-8) is what the messages show. None when the directory is
// full ("Directory full!" unless silent), the volume ends first, or the user
// declined to replace.
std::optional<DirectorySlot> FindDirectorySlot(Ui& ui, const VolumeGeometry& g, std::uint8_t* volume,
                                               std::uint32_t length, const std::string& nameText,
                                               const std::uint8_t wanted[dir::kShortNameLength], bool silent);

// Called before an entry is written into the end slot at volume offset
// `slotOffset`: the slots behind it were free and never looked at, so they may
// hold anything; the slot behind it becomes the end marker (when the scan
// would reach it), so that they stay free instead of turning into entries.
void KeepEndMarkerBehind(const VolumeGeometry& g, std::uint8_t* volume, std::uint32_t length, std::uint64_t slotOffset);

// A name from an image made safe to be the last component of a host path:
// UTF-8, with "/", "\" and NUL replaced by "_", and "." / ".." / an empty name
// given as "_" / "__" / "_", so that it names a file inside the folder it is
// joined to and nothing else.
std::string SafeHostFileName(std::string_view cp437Name);

}  // namespace kv
