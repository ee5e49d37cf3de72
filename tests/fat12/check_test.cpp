// The consistency check against images damaged on purpose, one kind each.
#include "fat12/check.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

class CheckTest : public FatFixture {
protected:
    void SetUp() override {
        Blank();
        Put(0, "GOOD    TXT", 0x20, 2, 2049);
        Link({2, 3, 4});
        Put(1, "SUB        ", 0x10, 5);
        Link({5});
        // The subdirectory holds ".", ".." and one file of one cluster.
        std::uint8_t* d = Vol() + ClusterOffset(G(), 5);
        std::memset(d, 0, 1024);
        std::memcpy(d, ".          ", 11);
        d[11] = 0x10;
        WriteWord(d + 26, 5);
        std::memcpy(d + 32, "..         ", 11);
        d[43] = 0x10;
        std::memcpy(d + 64, "INNER   BIN", 11);
        d[75] = 0x20;
        WriteWord(d + 64 + 26, 6);
        WriteDword(d + 64 + 28, 10);
        Link({6});
        Put(2, "EMPTY      ", 0x20);
        Put(3, "LABEL      ", 0x28);
        SyncFats();
    }
    void SyncFats() { std::memcpy(Vol() + 512 + 3 * 512, Vol() + 512, 3 * 512); }
    std::vector<ProblemKind> Kinds() {
        std::vector<ProblemKind> kinds;
        for (const Problem& p : CheckVolume(G(), Vol(), Len()).problems) kinds.push_back(p.kind);
        return kinds;
    }
    Problem Only() {
        CheckReport r = CheckVolume(G(), Vol(), Len());
        EXPECT_EQ(r.problems.size(), 1u);
        return r.problems.empty() ? Problem{} : r.problems[0];
    }
};

TEST_F(CheckTest, ACleanVolumeHasNoProblems) {
    CheckReport r = CheckVolume(G(), Vol(), Len());
    EXPECT_TRUE(r.Clean());
    EXPECT_EQ(r.entries, 4u);  // GOOD.TXT, SUB, SUB/INNER.BIN, EMPTY
    EXPECT_EQ(r.usedClusters, 5u);
}

TEST_F(CheckTest, LostClusters) {
    Link({100, 101});
    Link({200});
    SyncFats();
    Problem p = Only();
    EXPECT_EQ(p.kind, ProblemKind::LostClusters);
    EXPECT_EQ(p.clusters, (std::vector<std::uint32_t>{100, 101, 200}));
    EXPECT_EQ(DescribeProblem(p), "3 lost cluster(s), in use but reached by no entry: 100-101,200");
}

TEST_F(CheckTest, CrossLinksLoopsAndBadLinks) {
    Put(4, "OTHER   TXT", 0x20, 10, 2048);
    Link({10}, 3);  // into GOOD.TXT's chain
    SyncFats();
    Problem p = Only();
    EXPECT_EQ(p.kind, ProblemKind::CrossLinked);
    EXPECT_EQ(Cp437ToUtf8(p.entry), "OTHER.TXT");
    EXPECT_EQ(p.clusters, std::vector<std::uint32_t>{3});

    Link({10, 11}, 10);
    SyncFats();
    EXPECT_EQ(Kinds(), std::vector<ProblemKind>{ProblemKind::Loop});

    Link({10}, 0xFF7);
    WriteFatEntry(Vol(), Len(), 11, 0);
    SyncFats();
    p = Only();
    EXPECT_EQ(p.kind, ProblemKind::InvalidLink);
    EXPECT_EQ(p.value, 0xFF7u);

    WriteWord(Slot(4) + dir::kFirstCluster, 0);  // a size without a chain
    Link({10}, 0);
    SyncFats();
    EXPECT_EQ(Kinds(), std::vector<ProblemKind>{ProblemKind::InvalidLink});
}

TEST_F(CheckTest, ChainsThatDoNotFitTheirSizes) {
    WriteDword(Slot(0) + dir::kSize, 5000);
    Problem p = Only();
    EXPECT_EQ(p.kind, ProblemKind::ChainTooShort);
    EXPECT_EQ(p.chainClusters, 3u);
    EXPECT_EQ(p.neededClusters, 5u);

    WriteDword(Slot(0) + dir::kSize, 1000);
    p = Only();
    EXPECT_EQ(p.kind, ProblemKind::ChainTooLong);
    EXPECT_EQ(p.clusters, (std::vector<std::uint32_t>{3, 4}));
    // A chain too long inside a subdirectory is found as well.
    WriteDword(Slot(0) + dir::kSize, 2049);
    WriteDword(Vol() + ClusterOffset(G(), 5) + 64 + 28, 0);
    p = Only();
    EXPECT_EQ(Cp437ToUtf8(p.entry), "SUB/INNER.BIN");
}

TEST_F(CheckTest, DifferingFatCopiesAndClustersBeyondTheImage) {
    WriteFatEntry(Vol() + 3 * 512, Len(), 300, 0xFFF);  // in copy 2 only
    Problem p = Only();
    EXPECT_EQ(p.kind, ProblemKind::FatCopyDiffers);
    EXPECT_EQ(p.copy, 2u);
    EXPECT_EQ(p.clusters, std::vector<std::uint32_t>{300});
    SyncFats();

    std::uint32_t cut = static_cast<std::uint32_t>(ClusterOffset(G(), 4) + 512);
    CheckReport r = CheckVolume(G(), Vol(), cut);
    ASSERT_FALSE(r.problems.empty());
    EXPECT_EQ(r.problems[0].kind, ProblemKind::OutsideVolume);
    EXPECT_EQ(r.problems[0].clusters, std::vector<std::uint32_t>{4});
}

}  // namespace
}  // namespace kv::test
