#include "document/disk_format.h"

namespace kv {

using namespace media_type;

namespace {

constexpr DiskFormat kEmptyRow{kNoFormatName, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

FormatTable::FormatTable() {
    //          name  FATs total  /FAT /clus res heads /track root media   mediaType
    rows_[0] = {49, 2, 2880, 9, 1, 1, 2, 18, 224, 0xF0, F3_1Pt44_512};
    for (std::size_t i = 1; i <= 7; ++i) {
        rows_[i] = kEmptyRow;
        rows_[i].mediaByte = 0;
    }
    rows_[8] = {11, 2, 720, 2, 2, 1, 1, 9, 112, 0xF8, F3_720_512};
    rows_[9] = {12, 2, 1440, 3, 2, 1, 2, 9, 112, 0xF9, F3_720_512};
    rows_[10] = {13, 2, 640, 1, 2, 1, 1, 8, 112, 0xFA, F5_360_512};
    rows_[11] = {14, 2, 1280, 2, 2, 1, 2, 8, 112, 0xFB, Unknown};
    rows_[12] = {15, 2, 360, 2, 1, 1, 1, 9, 64, 0xFC, F5_180_512};
    rows_[13] = {16, 2, 720, 2, 2, 1, 2, 9, 112, 0xFD, F5_360_512};
    rows_[14] = {17, 2, 320, 1, 1, 1, 1, 8, 64, 0xFE, F5_160_512};
    rows_[15] = {18, 2, 640, 1, 2, 1, 2, 8, 112, 0xFF, F5_360_512};
    rows_[kCustomRow] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0};
}

const DiskFormat& FindDiskFormat(const FormatTable& table, std::uint32_t code) {
    static const DiskFormat kNone = kEmptyRow;
    if (code == kCustomFormatCode) return table.Row(kCustomRow);
    if (code >= 0xF0 && code <= 0xFF) return table.Row(code - 0xF0);
    return kNone;
}

std::uint64_t RootStartSector(const VolumeGeometry& g) {
    return 1 + static_cast<std::uint64_t>(g.fatCount) * g.sectorsPerFat;
}

std::uint64_t RootDirectorySectors(const VolumeGeometry& g) { return g.rootEntries / 16; }

std::uint64_t DataStartSector(const VolumeGeometry& g) { return RootStartSector(g) + RootDirectorySectors(g); }

std::uint64_t DataClusterCount(const VolumeGeometry& g) {
    std::uint64_t start = DataStartSector(g);
    if (g.sectorsPerCluster == 0 || g.totalSectors <= start) return 0;
    return (g.totalSectors - start) / g.sectorsPerCluster;
}

std::uint64_t HighestCluster(const VolumeGeometry& g) { return DataClusterCount(g) + 1; }

std::uint32_t FatCopySize(const VolumeGeometry& g) {
    // Taken modulo 65536, the size of a FAT of 64 KB or more would place FAT
    // copy 2 inside copy 1: comparing would ask about a repair that is none,
    // and copying would overwrite copy 1's own entries. Such copies are left
    // alone (FAT12 never needs more than 12 sectors per FAT).
    const std::uint64_t size = static_cast<std::uint64_t>(g.sectorsPerFat) * kSectorSize;
    return size < 65536 ? static_cast<std::uint32_t>(size) : 0;
}

std::uint64_t ClusterBytes(const VolumeGeometry& g) {
    return static_cast<std::uint64_t>(g.sectorsPerCluster) * kSectorSize;
}

}  // namespace kv
