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
    const std::uint8_t bytes[] = {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00};
    std::memcpy(Vol() + 512, bytes, sizeof bytes);
    EXPECT_EQ(Fat(0), 0xFF0);
    EXPECT_EQ(Fat(1), 0xFFF);
    EXPECT_EQ(Fat(2), 0x003);
    EXPECT_EQ(Fat(3), 0x004);
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 3, 0xFFF));
    EXPECT_EQ(Vol()[512 + 4], 0xF0);
    EXPECT_EQ(Vol()[512 + 5], 0xFF);
    EXPECT_EQ(Fat(2), 0x003);
    // Writing an even entry keeps the odd neighbour's half byte.
    EXPECT_TRUE(WriteFatEntry(Vol(), Len(), 2, 0xABC));
    EXPECT_EQ(Fat(2), 0xABC);
    EXPECT_EQ(Fat(3), 0xFFF);
}

TEST_F(FatTest, EntriesBeyondTheVolumeReadAsEndAndAreNotWritten) {
    Blank();
    // Entry 10 lies in bytes 512+15 and 512+16; cut the volume there.
    const std::uint32_t cut = 512 + 16;
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 10), 0xFFF);
    std::uint8_t before = Vol()[512 + 15];
    EXPECT_FALSE(WriteFatEntry(Vol(), cut, 10, 0x123));
    EXPECT_EQ(Vol()[512 + 15], before);
    EXPECT_EQ(ReadFatEntry(Vol(), cut, 9), 0);
}

TEST_F(FatTest, LayoutOfTheTwoCommonFormats) {
    Blank(0xF9);  // 720 KB
    EXPECT_EQ(RootDirectoryOffset(G()), 3584u);
    EXPECT_EQ(ClusterOffset(G(), 2), 7168u);
    EXPECT_EQ(LastCluster(G()), 714u);
    EXPECT_EQ(ClusterOffset(G(), 714) + ClusterBytes(G()), 737280u);
    EXPECT_TRUE(ClusterInsideVolume(G(), Len(), 714));
    ClusterUsage usage = CountClusters(G(), Vol(), Len());
    EXPECT_EQ(usage.usedBytes, 0u);
    EXPECT_EQ(usage.freeBytes, 730112u);

    Blank(0xF0);  // 1.44 MB
    EXPECT_EQ(RootDirectoryOffset(G()), 9728u);
    EXPECT_EQ(ClusterOffset(G(), 2), 16896u);
    EXPECT_EQ(LastCluster(G()), 2848u);
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
    std::uint8_t* slot = Put(0, "A       TXT", 0x20, 2, 100);
    FreeClusterChain(G(), slot, Vol(), Len());
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

TEST_F(FatTest, FreeingChangesOnlyTheChainAndTheFirstNameByte) {
    Blank();
    std::uint8_t* slot = Put(0, "A       TXT", 0x21, 5, 3000);
    Link({5, 6}, 0xFF8);
    std::vector<std::uint8_t> before(slot, slot + 32);
    FreeClusterChain(G(), slot, Vol(), Len());
    EXPECT_EQ(Fat(5), 0);
    EXPECT_EQ(Fat(6), 0);
    EXPECT_EQ(slot[0], 0xE5);
    EXPECT_TRUE(std::equal(before.begin() + 1, before.end(), slot + 1));

    std::uint8_t* empty = Put(1, "B       TXT", 0x20, 0, 0);
    Link({2});
    FreeClusterChain(G(), empty, Vol(), Len());
    EXPECT_EQ(empty[0], 0xE5);
    EXPECT_EQ(Fat(2), kEndOfChain);  // cluster 0 was never followed
}

TEST_F(FatTest, FreeingStopsAtBadLinksAndLoops) {
    Blank();
    std::uint8_t* looped = Put(0, "LOOP       ", 0x20, 10, 5000);
    Link({10, 11, 12}, 10);  // 12 -> 10
    FreeClusterChain(G(), looped, Vol(), Len());
    EXPECT_EQ(Fat(10), 0);
    EXPECT_EQ(Fat(11), 0);
    EXPECT_EQ(Fat(12), 0);

    std::uint8_t* bad = Put(1, "BAD        ", 0x20, 20, 5000);
    Link({20, 21}, 0x900);  // 0x900 is above the last cluster, 714
    FreeClusterChain(G(), bad, Vol(), Len());
    EXPECT_EQ(Fat(20), 0);
    EXPECT_EQ(Fat(21), 0);
}

TEST_F(FatTest, ChainWalkEndsEveryWayAChainCanGoWrong) {
    Blank();
    auto walkTo = [&](std::uint32_t first, std::vector<std::uint32_t>& seen) {
        ChainWalk w(G(), Vol(), Len(), first);
        for (; w.AtCluster(); w.Advance()) seen.push_back(w.cluster());
        return w.state();
    };
    std::vector<std::uint32_t> seen;
    Link({2, 5, 3});
    EXPECT_EQ(walkTo(2, seen), ChainWalk::State::End);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{2, 5, 3}));

    seen.clear();
    Link({7, 8}, 7);
    EXPECT_EQ(walkTo(7, seen), ChainWalk::State::Loop);
    EXPECT_LE(seen.size(), LastCluster(G()) - 1u);

    for (std::uint16_t bad : {0x000, 0x001, 0x2CB, 0xFF7}) {  // 0x2CB = 715, one past the last cluster
        seen.clear();
        Link({9}, bad);
        EXPECT_EQ(walkTo(9, seen), ChainWalk::State::BadLink) << bad;
        EXPECT_EQ(seen.size(), 1u);
    }
    seen.clear();
    EXPECT_EQ(walkTo(0, seen), ChainWalk::State::BadLink);
    // A truncated image: cluster 400's data lie beyond the cut.
    seen.clear();
    Link({399, 400});
    ChainWalk cut(G(), Vol(), static_cast<std::uint32_t>(ClusterOffset(G(), 400) + 100), 399);
    EXPECT_TRUE(cut.AtCluster());
    cut.Advance();
    EXPECT_EQ(cut.state(), ChainWalk::State::Outside);
}

}  // namespace
}  // namespace kv::test
