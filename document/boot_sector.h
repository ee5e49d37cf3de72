// The image file layout (an optional comment header in front of the volume), the
// boot sector's parameter block, the geometry read from it, the FAT-copy check,
// and the boot sector that new blank images are made from.
#pragma once

#include <array>
#include <cstdint>

#include "document/image_document.h"

namespace kv {

// Offsets of the boot sector's fields (all little-endian).
namespace boot {
inline constexpr std::size_t kJump = 0;                // 3 bytes
inline constexpr std::size_t kOemName = 3;             // 8 bytes
inline constexpr std::size_t kBytesPerSector = 11;     // word
inline constexpr std::size_t kSectorsPerCluster = 13;  // byte
inline constexpr std::size_t kReservedSectors = 14;    // word
inline constexpr std::size_t kFatCount = 16;           // byte
inline constexpr std::size_t kRootEntries = 17;        // word
inline constexpr std::size_t kTotalSectors = 19;       // word
inline constexpr std::size_t kMediaByte = 21;          // byte
inline constexpr std::size_t kSectorsPerFat = 22;      // word
inline constexpr std::size_t kSectorsPerTrack = 24;    // word
inline constexpr std::size_t kHeads = 26;              // word
inline constexpr std::size_t kHiddenSectors = 28;      // word
// The extended parameter block of DOS 4 and later (and of other systems'
// formatters); MSX-DOS boot sectors have their boot program here instead.
inline constexpr std::size_t kExtendedSignature = 38;  // byte, kExtendedBlock when the block is there
inline constexpr std::uint8_t kExtendedBlock = 0x29;
inline constexpr std::size_t kVolumeLabel = 43;     // 11 bytes, "NO NAME    " without a label
inline constexpr std::size_t kFileSystemType = 54;  // 8 bytes
}  // namespace boot

// Comment header: 0xAA, "Y" or "Z", ..., a compression word at 6, the comment
// from offset 40 to its NUL; the volume follows the NUL.
namespace comment {
inline constexpr std::size_t kCompression = 6;
inline constexpr std::size_t kText = 40;
}  // namespace comment

// The 512 bytes every new blank image's sector 0 is made from: a 720 KB
// parameter block and the MSX-DOS boot program.
const std::array<std::uint8_t, 512>& BootSectorTemplate();

// Recognises and checks a comment header and shows the comment. `bootOffset` is
// 0 without a header. False (after string 54 or 20) for a compressed image or a
// header that leaves less than one sector.
bool ReadCommentHeader(Ui& ui, WindowRef owner, const std::uint8_t* bytes, std::uint32_t count,
                       std::uint32_t& bootOffset);

// Reads the open image's geometry from its boot sector, falling back to the
// format table's row of a usable media byte when the parameter block is damaged
// (string 27). Returns whether the boot sector is valid (string 23 when not).
bool ReadVolumeGeometry(Session& s, WindowRef owner, bool updateTitle);

// Compares FAT copy 1 with copy 2 and offers to repair copy 2 (string 22).
// Returns the answer, or 0 when no question was asked.
int CheckFatCopies(Session& s, WindowRef owner);

// Makes a new blank image of format `code` (a media byte or 256) the open image.
// The caller has closed the previous image. False (after string 28) when memory
// is short.
bool BuildBlankImage(Session& s, WindowRef owner, std::uint32_t code);

}  // namespace kv
