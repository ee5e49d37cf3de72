// The consistency check against images damaged on purpose, one kind each.
#include "fat12/check.h"

#include <functional>

#include "platform/codepage.h"
#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

class CheckTest : public FatFixture {
protected:
    // GOOD.TXT in 2-4, SUB in 5 holding ".", ".." and INNER.BIN in 6, an empty file and a label.
    void Layout() {
        Blank();
        Put(0, "GOOD    TXT", 0x20, 2, 2049);
        Link({2, 3, 4});
        Put(1, "SUB        ", 0x10, 5);
        Link({5});
        std::uint8_t* d = Vol() + ClusterOffset(G(), 5);
        std::memset(d, 0, 1024);
        PutAt(d, ".          ", 0x10, 5);
        PutAt(d + 32, "..         ", 0x10);
        PutAt(d + 64, "INNER   BIN", 0x20, 6, 10);
        Link({6});
        Put(2, "EMPTY      ", 0x20);
        Put(3, "LABEL      ", 0x28);
        SyncFats();
    }
    void SyncFats() { std::memcpy(Vol() + 512 + 3 * 512, Vol() + 512, 3 * 512); }
};

TEST_F(CheckTest, EachKindOfDamageIsFoundAlone) {
    Layout();
    WriteFatEntry(Vol(), Len(), 300, 0xFF7);  // a bad cluster is in use but lost to no one
    SyncFats();
    CheckReport clean = CheckVolume(G(), Vol(), Len());
    EXPECT_TRUE(clean.Clean());
    EXPECT_EQ(clean.entries, 4u);  // GOOD.TXT, SUB, SUB/INNER.BIN, EMPTY
    EXPECT_EQ(clean.usedClusters, 6u);

    auto other = [&](std::uint16_t first) { Put(4, "OTHER   TXT", 0x20, first, 2048); };
    std::uint32_t length = 0;
    struct Case {
        const char* what;
        std::function<void()> damage;
        ProblemKind kind;
        std::vector<std::uint32_t> clusters;
        std::string entry = "";
        std::uint32_t value = 0, chain = 0, needed = 0;
        bool sync = true;
    } cases[] = {
        {"lost",
         [&] {
             Link({100, 101});
             Link({200});
         },
         ProblemKind::LostClusters,
         {100, 101, 200}},
        {"cross-linked",
         [&] {
             other(10);
             Link({10}, 3);
         },
         ProblemKind::CrossLinked,
         {3},
         "OTHER.TXT"},
        {"loop",
         [&] {
             other(10);
             Link({10, 11}, 10);
         },
         ProblemKind::Loop,
         {10},
         "OTHER.TXT"},
        {"bad link",
         [&] {
             other(10);
             Link({10}, 0xFF7);
         },
         ProblemKind::InvalidLink,
         {},
         "OTHER.TXT",
         0xFF7,
         1,
         2},
        {"size without a chain", [&] { other(0); }, ProblemKind::InvalidLink, {}, "OTHER.TXT", 0, 0, 2},
        {"too short",
         [&] { WriteDword(Slot(0) + dir::kSize, 5000); },
         ProblemKind::ChainTooShort,
         {},
         "GOOD.TXT",
         0,
         3,
         5},
        {"too long", [&] { WriteDword(Slot(0) + dir::kSize, 1000); }, ProblemKind::ChainTooLong, {3, 4}, "GOOD.TXT"},
        {"too long in a subdirectory",
         [&] { WriteDword(Vol() + ClusterOffset(G(), 5) + 64 + 28, 0); },
         ProblemKind::ChainTooLong,
         {6},
         "SUB/INNER.BIN"},
        {"FAT copies differ",
         [&] { WriteFatEntry(Vol() + 3 * 512, Len(), 300, 0xFFF); },
         ProblemKind::FatCopyDiffers,
         {300},
         "",
         0,
         0,
         0,
         false},
        {"beyond the image",
         [&] { length = static_cast<std::uint32_t>(ClusterOffset(G(), 6) + 512); },
         ProblemKind::OutsideVolume,
         {6},
         "SUB/INNER.BIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layout();
        length = Len();
        c.damage();
        if (c.sync) SyncFats();
        CheckReport r = CheckVolume(G(), Vol(), length);
        ASSERT_EQ(r.problems.size(), 1u);
        const Problem& p = r.problems[0];
        EXPECT_EQ(p.kind, c.kind);
        EXPECT_EQ(p.clusters, c.clusters);
        EXPECT_EQ(Cp437ToUtf8(p.entry), c.entry);
        EXPECT_EQ(p.value, c.value);
        EXPECT_EQ(p.copy, c.kind == ProblemKind::FatCopyDiffers ? 2u : 0u);
        if (c.needed) {
            EXPECT_EQ(std::make_pair(p.chainClusters, p.neededClusters), std::make_pair(c.chain, c.needed));
        }
        if (c.kind == ProblemKind::LostClusters) {
            EXPECT_EQ(DescribeProblem(p), "3 lost cluster(s), in use but reached by no entry: 100-101,200");
        }
    }
}

}  // namespace
}  // namespace kv::test
