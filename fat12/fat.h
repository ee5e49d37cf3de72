// The file allocation table of a FAT12 volume and the cluster chains it holds.
//
// Everything here works on the bytes of a volume (the image from its boot
// sector on) and the volume's length, never on the document itself, because an
// add works on a working copy of the image. Only FAT copy 1 is read or written;
// it starts at volume offset 512 whatever the reserved-sector count says. An
// entry whose two bytes do not both lie inside the volume reads as end of chain
// and is never written, so a truncated image ends its chains at its end.
#pragma once

#include <cstdint>

#include "document/disk_format.h"
#include "fat12/limits.h"

namespace kv {

inline bool IsEndOfChain(std::uint32_t value) { return value >= kFirstEndValue && value <= 0xFFF; }

// The highest cluster number of the volume: L of the geometry, but never above
// 0xFF6, the last number a 12-bit entry can link to, nor above the last entry
// that FAT copy 1's sectors hold (a damaged boot sector can give too few
// sectors per FAT). 1 when the volume has no cluster.
std::uint32_t LastCluster(const VolumeGeometry& g);

// True for 2 ... LastCluster: a value that may link to a next cluster.
bool IsValidLink(const VolumeGeometry& g, std::uint32_t value);

// The 12-bit entry of `cluster`; 0xFFF when its bytes are not inside the volume.
std::uint16_t ReadFatEntry(const std::uint8_t* volume, std::uint32_t length, std::uint32_t cluster);

// Writes the 12-bit entry, keeping the neighbouring entry's half byte. False,
// writing nothing, when its bytes are not inside the volume.
bool WriteFatEntry(std::uint8_t* volume, std::uint32_t length, std::uint32_t cluster, std::uint16_t value);

// The lowest cluster 2 ... LastCluster whose entry is free and whose data do
// not overlap root directory slots; 0 when none is. A caller that knows the
// clusters below `from` to be taken starts there.
std::uint32_t FindFreeCluster(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length,
                              std::uint32_t from = 2);

// Volume offset of the first byte of `cluster`; the range is not checked.
std::uint64_t ClusterOffset(const VolumeGeometry& g, std::uint32_t cluster);

// True when the whole of `cluster` (all its sectors) lies inside the volume.
bool ClusterInsideVolume(const VolumeGeometry& g, std::uint32_t length, std::uint32_t cluster);

// Frees the chain that starts at the entry's first cluster and marks the entry
// deleted (first name byte 0xE5). `entry` is the 32-byte slot inside `volume`.
// The chain is freed whole, whatever the entry's size says; the freeing stops
// at an end value and at any value that is not a valid link (a loop comes back
// to an entry that was just freed, which reads 0, so it ends too).
void FreeClusterChain(const VolumeGeometry& g, std::uint8_t* entry, std::uint8_t* volume, std::uint32_t length);

// Follows a chain one cluster at a time, a bounded number of steps: a chain of
// more clusters than the volume has must run in a circle, so the walk ends
// there. The current cluster is usable only while `AtCluster()`.
class ChainWalk {
public:
    enum class State {
        Cluster,  // at a cluster of the volume whose data lie inside the volume
        End,      // an end value was read
        BadLink,  // a value that is no valid link (0, 1, above the last cluster, 0xFF7)
        Outside,  // a valid cluster number whose data lie beyond the volume's end
        Loop,     // more steps than the volume has clusters
    };

    ChainWalk(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length, std::uint32_t first);

    State state() const { return state_; }
    bool AtCluster() const { return state_ == State::Cluster; }
    // The current cluster, or the value that ended the walk.
    std::uint32_t cluster() const { return cluster_; }
    // Moves to the next cluster of the chain.
    void Advance();

private:
    void Enter(std::uint32_t value);

    const VolumeGeometry& g_;
    const std::uint8_t* volume_;
    std::uint32_t length_;
    std::uint32_t cluster_ = 0;
    std::uint32_t steps_ = 0;
    State state_ = State::End;
};

// Counts the clusters 2 ... LastCluster: an entry of 0 is free, any other used.
struct ClusterUsage {
    std::uint32_t usedClusters = 0;
    std::uint32_t freeClusters = 0;
    std::uint64_t usedBytes = 0;
    std::uint64_t freeBytes = 0;
};
ClusterUsage CountClusters(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length);

}  // namespace kv
