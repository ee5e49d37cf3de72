// The volume geometry and the table of known floppy formats, keyed by media byte.
#pragma once

#include <array>
#include <cstdint>

namespace kv {

inline constexpr std::uint32_t kSectorSize = 512;

// One row of the format table, and the geometry of the open volume: the same
// eleven fields in the same order, so that a row is copied into the geometry whole.
struct DiskFormat {
    std::uint32_t nameStringId;  // description; 0xFFFFFFFF without a format; 0 in the custom row
    std::uint32_t fatCount;
    std::uint32_t totalSectors;  // a row is valid when this is not 0
    std::uint32_t sectorsPerFat;
    std::uint32_t sectorsPerCluster;
    std::uint32_t reservedSectors;
    std::uint32_t heads;
    std::uint32_t sectorsPerTrack;
    std::uint32_t rootEntries;
    std::uint32_t mediaByte;
    std::uint32_t mediaType;  // the floppy MEDIA_TYPE used when formatting
};
static_assert(sizeof(DiskFormat) == 44, "eleven 32-bit fields");

using VolumeGeometry = DiskFormat;

inline constexpr std::uint32_t kNoFormatName = 0xFFFFFFFF;

// Format codes: a media byte 0xF0-0xFF selects its row; 256 the custom row; 0 none.
inline constexpr std::uint32_t kCustomFormatCode = 256;
inline constexpr std::size_t kFormatRows = 17;
inline constexpr std::size_t kCustomRow = 16;

// Floppy MEDIA_TYPE values the table uses (the platform's numbers).
namespace media_type {
inline constexpr std::uint32_t Unknown = 0;
inline constexpr std::uint32_t F3_1Pt44_512 = 2;
inline constexpr std::uint32_t F3_720_512 = 5;
inline constexpr std::uint32_t F5_360_512 = 6;
inline constexpr std::uint32_t F5_180_512 = 9;
inline constexpr std::uint32_t F5_160_512 = 10;
}  // namespace media_type

// The program-wide format table: seventeen rows, of which only the custom row
// (row 16) can change.
class FormatTable {
public:
    FormatTable();
    const DiskFormat& Row(std::size_t index) const { return rows_[index]; }
    DiskFormat& CustomRow() { return rows_[kCustomRow]; }
    const DiskFormat& CustomRow() const { return rows_[kCustomRow]; }

private:
    std::array<DiskFormat, kFormatRows> rows_;
};

// The row of a format code (0xF0-0xFF, or 256 for the custom row). Other codes
// give an empty row, which callers see as invalid by its 0 total sectors.
const DiskFormat& FindDiskFormat(const FormatTable& table, std::uint32_t code);

// Derived layout values. Sector numbers count from the boot sector.
std::uint64_t RootStartSector(const VolumeGeometry& g);       // 1 + fatCount * sectorsPerFat
std::uint64_t RootDirectorySectors(const VolumeGeometry& g);  // rootEntries / 16
std::uint64_t DataStartSector(const VolumeGeometry& g);
// The number of data clusters; valid cluster numbers are 2 ... DataClusterCount + 1.
std::uint64_t DataClusterCount(const VolumeGeometry& g);
// The highest valid cluster number L; 1 when the volume has no cluster.
std::uint64_t HighestCluster(const VolumeGeometry& g);
// The size of one FAT copy in bytes, as copies are compared and copied: 0 (so
// nothing is compared or copied) when it is 64 KB or more.
std::uint32_t FatCopySize(const VolumeGeometry& g);
std::uint64_t ClusterBytes(const VolumeGeometry& g);  // sectorsPerCluster * 512

}  // namespace kv
