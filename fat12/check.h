// A read-only consistency check of a volume: every chain that the entries of
// the root directory (and, for this check only, of its subdirectories) start
// is followed against the allocation table and the entries' sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/disk_format.h"

namespace kv {

enum class ProblemKind {
    LostClusters,    // in use in the table, reached by no entry
    CrossLinked,     // a cluster reached by two chains (or twice by one)
    ChainTooShort,   // an end value before the entry's size is covered
    ChainTooLong,    // more clusters than the entry's size needs
    InvalidLink,     // a first cluster or a link that names no cluster (0, 1, above the last, 0xFF7)
    Loop,            // a chain that comes back to one of its own clusters
    OutsideVolume,   // a cluster whose data lie beyond the end of the image
    FatCopyDiffers,  // a FAT copy that differs from copy 1
};

// The short name of a kind for reports ("lost-clusters", ...).
const char* ProblemKindName(ProblemKind kind);

struct Problem {
    ProblemKind kind;
    std::string entry;                    // path of the entry in the image (code page 437), empty when none
    std::vector<std::uint32_t> clusters;  // the clusters concerned
    std::uint32_t copy = 0;               // FatCopyDiffers: the copy's number (2, 3, ...)
    std::uint32_t chainClusters = 0;      // chain problems: clusters the chain has up to the problem
    std::uint32_t neededClusters = 0;     // chain problems: clusters the size needs
    std::uint32_t value = 0;              // InvalidLink: the value met
};

struct CheckReport {
    std::vector<Problem> problems;
    std::uint32_t entries = 0;  // entries whose chains were followed
    std::uint32_t usedClusters = 0;
    std::uint32_t badClusters = 0;  // marked 0xFF7, neither lost nor a problem
    bool Clean() const { return problems.empty(); }
};

CheckReport CheckVolume(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length);

// One line describing a problem, UTF-8.
std::string DescribeProblem(const Problem& p);

}  // namespace kv
