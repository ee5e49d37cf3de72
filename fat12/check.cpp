#include "fat12/check.h"

#include <cstring>
#include <vector>

#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/fat.h"
#include "platform/codepage.h"

namespace kv {
namespace {

constexpr int kMaxDepth = 32;

class Checker {
public:
    Checker(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length)
        : g_(g), volume_(volume), length_(length), last_(LastCluster(g)), owner_(last_ + 1, 0) {}

    CheckReport Run() {
        CheckRoot();
        CheckLost();
        CheckFatCopies();
        return std::move(report_);
    }

private:
    // The slots of the root directory, scanned as every scan of it is.
    void CheckRoot() {
        ScanRootDirectory(g_, volume_, length_, [&](std::uint32_t, std::uint64_t, const std::uint8_t* slot) {
            CheckSlot(slot, "", 0);
            return true;
        });
    }

    void CheckSlot(const std::uint8_t* slot, const std::string& parent, int depth) {
        if (!IsLiveSlot(slot)) return;
        std::uint8_t a = slot[dir::kAttributes];
        if (a & attr::kVolumeLabel) return;  // labels and long-name entries own no clusters
        std::string name = DisplayName(slot);
        if (name == "." || name == "..") return;
        std::string path = parent.empty() ? name : parent + "/" + name;
        ++report_.entries;
        std::uint32_t first = ReadWord(slot + dir::kFirstCluster);
        bool directory = (a & attr::kDirectory) != 0;
        std::uint32_t size = ReadDword(slot + dir::kSize);
        std::vector<std::uint32_t> chain = FollowChain(path, first, directory, size);
        if (directory && depth < kMaxDepth) CheckSubdirectory(chain, path, depth + 1);
    }

    // Walks one chain, marking its clusters; returns the clusters that are
    // this entry's own (up to a cross-link or a bad link).
    std::vector<std::uint32_t> FollowChain(const std::string& path, std::uint32_t first, bool directory,
                                           std::uint32_t size) {
        std::vector<std::uint32_t> chain;
        const std::uint64_t clusterBytes = ClusterBytes(g_);
        const auto needed = static_cast<std::uint32_t>(clusterBytes ? (size + clusterBytes - 1) / clusterBytes : 0);
        if (first == 0 && (directory || size == 0)) return chain;
        const std::uint32_t id = ++entryId_;
        std::uint32_t x = first;
        for (;;) {
            if (IsEndOfChain(x)) {
                if (!directory && chain.size() < needed) Add(ProblemKind::ChainTooShort, path, {}, chain, needed);
                break;
            }
            if (!IsValidLink(g_, x)) {
                Problem& p = Add(ProblemKind::InvalidLink, path, {}, chain, needed);
                p.value = x;
                break;
            }
            if (owner_[x] != 0) {
                Add(owner_[x] == id ? ProblemKind::Loop : ProblemKind::CrossLinked, path, {x}, chain, needed);
                break;
            }
            owner_[x] = id;
            chain.push_back(x);
            if (!ClusterInsideVolume(g_, length_, x)) {
                Add(ProblemKind::OutsideVolume, path, {x}, chain, needed);
            }
            x = ReadFatEntry(volume_, length_, x);
        }
        if (!directory && chain.size() > needed) {
            Problem& p = Add(ProblemKind::ChainTooLong, path, {}, chain, needed);
            p.clusters.assign(chain.begin() + needed, chain.end());
        }
        return chain;
    }

    void CheckSubdirectory(const std::vector<std::uint32_t>& chain, const std::string& path, int depth) {
        const std::uint64_t clusterBytes = ClusterBytes(g_);
        for (std::uint32_t x : chain) {
            if (!ClusterInsideVolume(g_, length_, x)) return;
            const std::uint8_t* data = volume_ + ClusterOffset(g_, x);
            for (std::uint64_t o = 0; o + dir::kEntrySize <= clusterBytes; o += dir::kEntrySize) {
                if (data[o] == dir::kEndMarker) return;
                CheckSlot(data + o, path, depth);
            }
        }
    }

    void CheckLost() {
        Problem lost{ProblemKind::LostClusters, "", {}};
        for (std::uint32_t x = 2; x <= last_; ++x) {
            std::uint16_t v = ReadFatEntry(volume_, length_, x);
            if (v == kFreeCluster) continue;
            ++report_.usedClusters;
            if (v == kBadCluster) {
                ++report_.badClusters;
            } else if (owner_[x] == 0) {
                lost.clusters.push_back(x);
            }
        }
        if (!lost.clusters.empty()) report_.problems.push_back(std::move(lost));
    }

    void CheckFatCopies() {
        const std::uint64_t fatBytes = static_cast<std::uint64_t>(g_.sectorsPerFat) * kSectorSize;
        for (std::uint32_t copy = 2; copy <= g_.fatCount; ++copy) {
            std::uint64_t offset = kSectorSize + (copy - 1) * fatBytes;
            if (offset + fatBytes > length_) break;
            if (std::memcmp(volume_ + kSectorSize, volume_ + offset, fatBytes) == 0) continue;
            Problem p{ProblemKind::FatCopyDiffers, "", {}};
            p.copy = copy;
            // The clusters whose entries differ, read from each copy as from copy 1.
            const std::uint8_t* shifted = volume_ + (offset - kSectorSize);
            const auto shiftedLength = static_cast<std::uint32_t>(offset + fatBytes - (offset - kSectorSize));
            for (std::uint32_t x = 0; x <= last_ && (3ull * x) / 2 + 2 <= fatBytes; ++x) {
                if (ReadFatEntry(volume_, length_, x) != ReadFatEntry(shifted, shiftedLength, x))
                    p.clusters.push_back(x);
            }
            report_.problems.push_back(std::move(p));
        }
    }

    Problem& Add(ProblemKind kind, const std::string& path, std::vector<std::uint32_t> clusters,
                 const std::vector<std::uint32_t>& chain, std::uint32_t needed) {
        Problem p{kind, path, std::move(clusters)};
        p.chainClusters = static_cast<std::uint32_t>(chain.size());
        p.neededClusters = needed;
        report_.problems.push_back(std::move(p));
        return report_.problems.back();
    }

    const VolumeGeometry& g_;
    const std::uint8_t* volume_;
    std::uint32_t length_;
    std::uint32_t last_;
    std::vector<std::uint32_t> owner_;  // per cluster: the entry that reached it, 0 for none
    std::uint32_t entryId_ = 0;
    CheckReport report_;
};

std::string ClusterList(const std::vector<std::uint32_t>& clusters) {
    // Runs of consecutive numbers as "a-b".
    std::string text;
    for (std::size_t i = 0; i < clusters.size();) {
        std::size_t j = i;
        while (j + 1 < clusters.size() && clusters[j + 1] == clusters[j] + 1) ++j;
        if (!text.empty()) text += ',';
        text += std::to_string(clusters[i]);
        if (j > i) {
            text += '-';
            text += std::to_string(clusters[j]);
        }
        i = j + 1;
    }
    return text;
}

}  // namespace

const char* ProblemKindName(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::LostClusters: return "lost-clusters";
        case ProblemKind::CrossLinked: return "cross-linked";
        case ProblemKind::ChainTooShort: return "chain-too-short";
        case ProblemKind::ChainTooLong: return "chain-too-long";
        case ProblemKind::InvalidLink: return "invalid-link";
        case ProblemKind::Loop: return "loop";
        case ProblemKind::OutsideVolume: return "outside-volume";
        case ProblemKind::FatCopyDiffers: return "fat-copy-differs";
    }
    return "?";
}

CheckReport CheckVolume(const VolumeGeometry& g, const std::uint8_t* volume, std::uint32_t length) {
    return Checker(g, volume, length).Run();
}

std::string DescribeProblem(const Problem& p) {
    const std::string entry = Cp437ToUtf8(p.entry);
    const std::string chain = std::to_string(p.chainClusters) + " of " + std::to_string(p.neededClusters);
    switch (p.kind) {
        case ProblemKind::LostClusters:
            return std::to_string(p.clusters.size()) +
                   " lost cluster(s), in use but reached by no entry: " + ClusterList(p.clusters);
        case ProblemKind::CrossLinked:
            return entry + ": cross-linked at cluster " + ClusterList(p.clusters) + ", which another chain holds";
        case ProblemKind::ChainTooShort: return entry + ": chain ends after " + chain + " cluster(s) its size needs";
        case ProblemKind::ChainTooLong:
            return entry + ": chain has " + std::to_string(p.chainClusters) + " cluster(s), its size needs " +
                   std::to_string(p.neededClusters) + "; extra: " + ClusterList(p.clusters);
        case ProblemKind::InvalidLink:
            return entry + ": invalid link " + std::to_string(p.value) + " after " + chain + " cluster(s)";
        case ProblemKind::Loop: return entry + ": chain runs in a circle back to cluster " + ClusterList(p.clusters);
        case ProblemKind::OutsideVolume:
            return entry + ": cluster " + ClusterList(p.clusters) + " lies beyond the end of the image";
        case ProblemKind::FatCopyDiffers:
            return "FAT copy " + std::to_string(p.copy) + " differs from copy 1 at " +
                   std::to_string(p.clusters.size()) + " entr(y/ies): " + ClusterList(p.clusters);
    }
    return {};
}

}  // namespace kv
