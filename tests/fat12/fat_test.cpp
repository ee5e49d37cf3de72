// The allocation table: entry packing, the cluster range, allocation, freeing
// and the bounded chain walk.
#include "fat12/fat.h"

#include <gtest/gtest.h>

#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

using FatTest = FatFixture;

TEST_F(FatTest, EvenAndOddEntriesShareTheMiddleByte) {
    Blank();
    const std::uint8_t bytes[] = {0xF0, 0xFF, 0xFF, 0x03, 0x45, 0x00};
    std::memcpy(Vol() + 512, bytes, sizeof bytes);
    EXPECT_EQ(std::vector<std::uint16_t>({Fat(0), Fat(1), Fat(2), Fat(3)}),
              std::vector<std::uint16_t>({0xFF0, 0xFFF, 0x503, 0x004}));
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 3, 0xFFF));
    // Writing an odd entry keeps the even neighbour's half byte.
    EXPECT_EQ(Vol()[512 + 4], 0xF5);
    EXPECT_EQ(Vol()[512 + 5], 0xFF);
    EXPECT_EQ(Fat(2), 0x503);
    // Writing an even entry keeps the odd neighbour's half byte.
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 2, 0xABC));
    EXPECT_EQ(Fat(2), 0xABC);
    EXPECT_EQ(Fat(3), 0xFFF);

    // Entry 10 lies in bytes 512+15 and 512+16: cut there, it reads as the
    // end of a chain and is not written.
    const std::uint32_t cut = 512 + 16;
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 10), 0xFFF);
    std::uint8_t before = Vol()[512 + 15];
    EXPECT_FALSE(WriteFatEntry(Vol(), cut, 10, 0x123));
    EXPECT_EQ(Vol()[512 + 15], before);
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 9), 0);
}

TEST_F(FatTest, NoClusterWithoutAnEntryInsideFatCopyOne) {
    // A boot sector with too few sectors per FAT: the entries of the higher
    // clusters would lie in FAT copy 2 or, with none, in the root directory.
    Blank(0xF9);
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

TEST_F(FatTest, FirstFitFromClusterTwo) {
    Blank();
    Link({2});
    Link({3});
    EXPECT_EQ(FindFreeCluster(G(), Vol(), Len()), 4u);
    FreeClusterChain(G(), Put(0, "A       TXT", 0x20, 2, 100), Vol(), Len());
    EXPECT_EQ(FindFreeCluster(G(), Vol(), Len()), 2u);
    // A 113th root slot lies in cluster 2 (7 whole sectors hold 112).
    s.doc.geometry.rootEntries = 113;
    EXPECT_EQ(FindFreeCluster(G(), Vol(), Len()), 4u);
    s.doc.geometry.rootEntries = 112;
    // Bad-cluster and reserved values count as used.
    for (std::uint32_t x = 2; x <= LastCluster(G()); ++x) WriteFatEntry(Vol(), Len(), x, 0xFF7);
    EXPECT_EQ(FindFreeCluster(G(), Vol(), Len()), 0u);
    EXPECT_EQ(CountClusters(G(), Vol(), Len()).freeClusters, 0u);
}

TEST_F(FatTest, FreeingChangesOnlyTheChainAndTheFirstNameByteAndStopsAtBadLinksAndLoops) {
    Blank();
    struct Case {
        std::vector<std::uint16_t> chain;
        std::uint16_t end;
    } cases[] = {{{5, 6}, 0xFF8}, {{10, 11, 12}, 10}, {{20, 21}, 0x900}};  // 0x900: above cluster 714
    for (const Case& c : cases) {
        std::uint8_t* slot = Put(0, "A       TXT", 0x21, c.chain[0], 5000);
        Link(c.chain, c.end);
        std::vector<std::uint8_t> before(slot, slot + 32);
        FreeClusterChain(G(), slot, Vol(), Len());
        for (std::uint16_t x : c.chain) EXPECT_EQ(Fat(x), 0) << x;
        EXPECT_EQ(slot[0], 0xE5);
        EXPECT_TRUE(std::equal(before.begin() + 1, before.end(), slot + 1));
    }
    // An empty file's cluster 0 is never followed.
    Link({2});
    FreeClusterChain(G(), Put(1, "B       TXT", 0x20, 0, 0), Vol(), Len());
    EXPECT_EQ(Fat(2), kEndOfChain);
}

TEST_F(FatTest, ChainWalkEndsEveryWayAChainCanGoWrong) {
    Blank();
    auto walk = [&](std::uint32_t first, std::uint32_t length = 0) {
        std::vector<std::uint32_t> seen;
        ChainWalk w(G(), Vol(), length ? length : Len(), first);
        for (; w.AtCluster(); w.Advance()) seen.push_back(w.cluster());
        return std::make_pair(w.state(), seen);
    };
    Link({2, 5, 3});
    EXPECT_EQ(walk(2), std::make_pair(ChainWalk::State::End, std::vector<std::uint32_t>{2, 5, 3}));
    Link({7, 8}, 7);
    EXPECT_EQ(walk(7).first, ChainWalk::State::Loop);
    EXPECT_LE(walk(7).second.size(), LastCluster(G()) - 1u);
    for (std::uint16_t bad : {0x000, 0x001, 0x2CB, 0xFF7}) {  // 0x2CB = 715, one past the last cluster
        Link({9}, bad);
        EXPECT_EQ(walk(9), std::make_pair(ChainWalk::State::BadLink, std::vector<std::uint32_t>{9})) << bad;
    }
    EXPECT_EQ(walk(0).first, ChainWalk::State::BadLink);
    // A truncated image: cluster 400's data lie beyond the cut.
    Link({399, 400});
    EXPECT_EQ(walk(399, static_cast<std::uint32_t>(ClusterOffset(G(), 400) + 100)),
              std::make_pair(ChainWalk::State::Outside, std::vector<std::uint32_t>{399}));
}

}  // namespace
}  // namespace kv::test
