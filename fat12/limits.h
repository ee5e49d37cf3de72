// The numbers of FAT12: what a 12-bit allocation-table entry can say, and how
// many clusters a volume can therefore have.
#pragma once

#include <cstdint>

namespace kv {

inline constexpr std::uint16_t kFreeCluster = 0x000;
inline constexpr std::uint16_t kHighestLinkable = 0xFF6;  // the largest cluster number a link can name
inline constexpr std::uint16_t kBadCluster = 0xFF7;       // a cluster marked unusable
inline constexpr std::uint16_t kFirstEndValue = 0xFF8;    // 0xFF8 ... 0xFFF end a chain
inline constexpr std::uint16_t kEndOfChain = 0xFFF;       // the end value this program writes

// A FAT12 volume has fewer than 4085 clusters (numbers 2 to 4085); other
// systems take a volume with more for FAT16.
inline constexpr std::uint32_t kMaxFat12Clusters = 4084;

}  // namespace kv
