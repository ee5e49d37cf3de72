#include "fat12/fat.h"

#include <algorithm>

#include "document/bytes.h"
#include "fat12/directory.h"

namespace kv {
namespace {

constexpr std::uint32_t kFatStart = kSectorSize;  // FAT copy 1 is sector 1

// Volume offset of the two bytes that hold entry `cluster`, or false when they
// are not both inside the volume.
bool EntryOffset(std::uint32_t length, std::uint32_t cluster, std::uint64_t& offset) {
    offset = kFatStart + (3ull * cluster) / 2;
    return offset + 2 <= length;
}

}  // namespace

std::uint32_t LastCluster(const VolumeGeometry& g) {
    std::uint64_t last = std::min<std::uint64_t>(HighestCluster(g), kHighestLinkable);
    // Entries 0 ... n-1 fill FAT copy 1's sectors; a cluster whose entry lies
    // behind them would share its bytes with FAT copy 2 or the directory.
    const std::uint64_t entries = static_cast<std::uint64_t>(g.sectorsPerFat) * kSectorSize * 2 / 3;
    last = std::min(last, entries > 2 ? entries - 1 : 1);
    return static_cast<std::uint32_t>(last);
}

bool IsValidLink(const VolumeGeometry& g, std::uint32_t value) { return value >= 2 && value <= LastCluster(g); }

std::uint16_t ReadFatEntry(const std::uint8_t* volume, std::uint32_t length, std::uint32_t cluster) {
    std::uint64_t p = 0;
    if (!EntryOffset(length, cluster, p)) return kEndOfChain;
    const std::uint8_t* b = volume + p;
    if (cluster % 2 == 0) return static_cast<std::uint16_t>(b[0] | ((b[1] & 0x0F) << 8));
    return static_cast<std::uint16_t>((b[0] >> 4) | (b[1] << 4));
}

bool WriteFatEntry(std::uint8_t* volume, std::uint32_t length, std::uint32_t cluster, std::uint16_t value) {
    std::uint64_t p = 0;
    if (!EntryOffset(length, cluster, p)) return false;
    std::uint8_t* b = volume + p;
    if (cluster % 2 == 0) {
        b[0] = static_cast<std::uint8_t>(value & 0xFF);
        b[1] = static_cast<std::uint8_t>((b[1] & 0xF0) | ((value >> 8) & 0x0F));
    } else {
        b[0] = static_cast<std::uint8_t>((b[0] & 0x0F) | ((value & 0x0F) << 4));
        b[1] = static_cast<std::uint8_t>((value >> 4) & 0xFF);
    }
    return true;
}

std::uint32_t FindFreeCluster(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length,
                              std::uint32_t from) {
    std::uint32_t last = LastCluster(g);
    // The data area starts behind rootEntries / 16 whole sectors, so the last
    // slots of a directory whose entry count is no multiple of 16 lie in the
    // first cluster: it is not given to new data, which would overwrite them.
    const std::uint64_t rootEnd = RootDirectoryOffset(g) + static_cast<std::uint64_t>(g.rootEntries) * dir::kEntrySize;
    std::uint32_t x = from < 2 ? 2 : from;
    while (x <= last && ClusterOffset(g, x) < rootEnd) ++x;  // offsets grow with the cluster number
    for (; x <= last; ++x) {
        if (ReadFatEntry(volume, length, x) == kFreeCluster) return x;
    }
    return 0;
}

std::uint64_t ClusterOffset(const VolumeGeometry& g, std::uint32_t cluster) {
    return (DataStartSector(g) + (static_cast<std::uint64_t>(cluster) - 2) * g.sectorsPerCluster) * kSectorSize;
}

bool ClusterInsideVolume(const VolumeGeometry& g, std::uint32_t length, std::uint32_t cluster) {
    return cluster >= 2 && ClusterOffset(g, cluster) + ClusterBytes(g) <= length;
}

void FreeClusterChain(const VolumeGeometry& g, std::uint8_t* entry, std::uint8_t* volume, std::uint32_t length) {
    std::uint32_t x = ReadWord(entry + dir::kFirstCluster);
    // Every step frees one entry, so a loop meets a freed entry (0) and ends;
    // the bound only guards against entries that cannot be written.
    for (std::uint32_t steps = 0; IsValidLink(g, x) && steps < LastCluster(g); ++steps) {
        std::uint16_t next = ReadFatEntry(volume, length, x);
        if (!WriteFatEntry(volume, length, x, kFreeCluster)) break;
        x = next;
    }
    entry[dir::kName] = dir::kDeletedMark;
}

ChainWalk::ChainWalk(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length, std::uint32_t first)
    : g_(g), volume_(volume), length_(length) {
    Enter(first);
}

void ChainWalk::Enter(std::uint32_t value) {
    cluster_ = value;
    if (IsEndOfChain(value)) {
        state_ = State::End;
    } else if (!IsValidLink(g_, value)) {
        state_ = State::BadLink;
    } else if (!ClusterInsideVolume(g_, length_, value)) {
        state_ = State::Outside;
    } else if (++steps_ > LastCluster(g_) - 1) {
        state_ = State::Loop;
    } else {
        state_ = State::Cluster;
    }
}

void ChainWalk::Advance() {
    if (state_ != State::Cluster) return;
    Enter(ReadFatEntry(volume_, length_, cluster_));
}

ClusterUsage CountClusters(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length) {
    ClusterUsage usage;
    std::uint32_t last = LastCluster(g);
    for (std::uint32_t x = 2; x <= last; ++x) {
        if (ReadFatEntry(volume, length, x) == kFreeCluster) {
            ++usage.freeClusters;
        } else {
            ++usage.usedClusters;
        }
    }
    usage.usedBytes = static_cast<std::uint64_t>(usage.usedClusters) * ClusterBytes(g);
    usage.freeBytes = static_cast<std::uint64_t>(usage.freeClusters) * ClusterBytes(g);
    return usage;
}

}  // namespace kv
