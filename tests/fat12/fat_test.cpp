// The allocation table: entry packing, the cluster range and the bounded chain walk.
#include "fat12/fat.h"

#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

using FatTest = FatFixture;

TEST_F(FatTest, EvenAndOddEntriesShareTheMiddleByte) {
    const std::uint8_t bytes[] = {0xF0, 0xFF, 0xFF, 0x03, 0x45, 0x00};
    std::memcpy(Vol() + 512, bytes, sizeof bytes);
    EXPECT_EQ(Fats({0, 1, 2, 3}), (std::vector<std::uint16_t>{0xFF0, 0xFFF, 0x503, 0x004}));
    // Writing an entry keeps the neighbour's half of the shared byte.
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 3, 0xFFF));
    EXPECT_EQ(Fats({2, 3}), (std::vector<std::uint16_t>{0x503, 0xFFF}));
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 2, 0xABC));
    EXPECT_EQ(Fats({2, 3}), (std::vector<std::uint16_t>{0xABC, 0xFFF}));

    // Entry 10 lies in bytes 512+15 and 512+16: cut there, it reads as the
    // end of a chain and is not written.
    const std::uint32_t cut = 512 + 16;
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 10), 0xFFF);
    EXPECT_FALSE(WriteFatEntry(Vol(), cut, 10, 0x123));
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 9), 0);
}

TEST_F(FatTest, NoClusterWithoutAnEntryInsideFatCopyOne) {
    // Too few sectors per FAT: higher clusters' entries would lie in FAT copy 2 or the root directory.
    s.doc.geometry.sectorsPerFat = 1;  // 341 entries: clusters up to 340
    EXPECT_EQ(LastCluster(G()), 340u);
    EXPECT_FALSE(IsValidLink(G(), 341));
    EXPECT_EQ(CountClusters(G(), Vol(), Len()).freeClusters, 339u);
    s.doc.geometry.sectorsPerFat = 0;  // the root directory starts where FAT 1 would
    EXPECT_EQ(LastCluster(G()), 1u);
    EXPECT_EQ(FindFreeCluster(G(), Vol(), Len()), 0u);
    std::uint8_t* slot = Put(0, "A       TXT", 0x20, 2, 100);
    std::vector<std::uint8_t> before = DocumentBytes();
    FreeClusterChain(G(), slot, Vol(), Len());
    before[RootDirectoryOffset(G())] = 0xE5;  // only the name's first byte changes
    EXPECT_TRUE(DocumentBytes() == before);
}

// A walk ends at the end mark, at a value that is no link (0x2CB: one past the
// last cluster), before a cluster beyond the image, and in a loop after as
// many clusters as the volume has.
TEST_F(FatTest, ChainWalksEndEveryWayAChainCanGoWrong) {
    auto walk = [&](std::uint32_t first, std::uint64_t length) {
        std::vector<std::uint32_t> seen;
        for (ChainWalk w(G(), Vol(), static_cast<std::uint32_t>(length), first); w.AtCluster(); w.Advance()) {
            seen.push_back(w.cluster());
        }
        return seen;
    };
    using Seen = std::vector<std::uint32_t>;
    Link({2, 5, 3});
    EXPECT_EQ(walk(2, Len()), (Seen{2, 5, 3}));
    Link({7, 8}, 7);
    EXPECT_EQ(walk(7, Len()).size(), LastCluster(G()) - 1u);
    for (std::uint16_t bad : {std::uint16_t{0x000}, std::uint16_t{0x001}, std::uint16_t{0x2CB}, std::uint16_t{0xFF7}}) {
        Link({9}, bad);
        EXPECT_EQ(walk(9, Len()), Seen{9}) << bad;
    }
    EXPECT_EQ(walk(0, Len()), Seen{});
    EXPECT_EQ(ChainWalk(G(), Vol(), Len(), 0).state(), ChainWalk::State::BadLink) << "0 is no link, not an end";
    Link({399, 400});
    EXPECT_EQ(walk(399, ClusterOffset(G(), 400) + 100), Seen{399});
}

}  // namespace
}  // namespace kv::test
