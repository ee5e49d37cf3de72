// Adding host files: the chain built, the entry filled, and every failure leaving the image as it was.
#include "fat12/add.h"

#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/fat12/fat_fixture.h"
#include "tests/support/host_faults.h"

namespace kv::test {
namespace {

class AddTest : public FatFixture {
protected:
    // Expects the add of `path` to fail with `text`, changing nothing.
    void ExpectRefused(const std::string& path, const std::string& text, std::uint32_t style = MB_ICONHAND) {
        std::vector<std::uint8_t> before = DocumentBytes();
        bool modified = s.doc.modified;
        EXPECT_FALSE(AddHostFile(s, path));
        EXPECT_TRUE(ui.Showed(text, style, false));
        EXPECT_TRUE(DocumentBytes() == before) << "image changed";
        EXPECT_EQ(s.doc.modified, modified);
    }
};

TEST_F(AddTest, AFileTakesTheLowestFreeClustersAndTheHostsDetails) {
    Link({3});
    std::vector<std::uint8_t> data = Pattern(2049);
    ASSERT_TRUE(AddHostFile(s, HostFileWith("readme.txt", data)));
    EXPECT_TRUE(s.doc.modified);
    EXPECT_TRUE(ui.messages.empty());
    // The entry is the one Put makes: name, archive bit, chain, size and the host file's stamp.
    const std::vector<std::uint8_t> entry(Slot(0), Slot(0) + 32);
    EXPECT_TRUE(std::equal(entry.begin(), entry.end(), Put(1, "README  TXT", attr::kArchive, 2, 2049)));
    EXPECT_EQ(Fats({2, 4, 5}), (std::vector<std::uint16_t>{4, 5, 0xFFF}));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 1024, Vol() + ClusterOffset(G(), 2)));
    EXPECT_EQ(Vol()[ClusterOffset(G(), 5)], data[2048]);

    // The host's attributes carry over; dot names are hidden.
    Blank();
    std::string ro = HostFileWith(".secret", Pattern(10));
    ::chmod(ro.c_str(), 0444);
    ASSERT_TRUE(AddHostFile(s, ro));
    EXPECT_EQ(Rows(), Texts{".SEC"});
    EXPECT_EQ(Slot(0)[dir::kAttributes], attr::kReadOnly | attr::kHidden | attr::kArchive);
}

// An entry written into the end slot brings back no slot behind it and touches nothing behind the directory.
TEST_F(AddTest, WhatLiesBehindTheEndSlotStaysFree) {
    Put(0, "A       TXT", 0x20);
    Slot(1)[0] = dir::kEndMarker;
    Put(2, "JUNK    BIN", 0x20, 2, 100);
    Relist();
    ASSERT_TRUE(AddHostFile(s, HostFileWith("new.txt", Pattern(10))));
    Relist();
    EXPECT_EQ(Rows(), (Texts{"A.TXT", "NEW.TXT"}));

    FillRoot();
    Slot(G().rootEntries - 1)[0] = dir::kEndMarker;
    Link({2});
    Vol()[ClusterOffset(G(), 2)] = 'Q';
    ASSERT_TRUE(AddHostFile(s, HostFileWith("last.txt", Pattern(10))));
    EXPECT_EQ(DisplayName(Slot(G().rootEntries - 1)), "LAST.TXT");
    EXPECT_EQ(Vol()[ClusterOffset(G(), 2)], 'Q');

    // 113 entries: slot 112 lies in cluster 2, which the file must not take.
    Blank();
    s.doc.geometry.rootEntries = 113;
    FillRoot(0x10);
    Slot(112)[0] = dir::kEndMarker;
    ASSERT_TRUE(AddHostFile(s, HostFileWith("last.txt", Pattern(100))));
    EXPECT_EQ(DisplayName(Slot(112)), "LAST.TXT");
    EXPECT_EQ(ReadDirEntry(Slot(112)).firstCluster, 3);
}

TEST_F(AddTest, ReplacingALabelOfTheSameNameShowsTheNewEntry) {
    // Names compare against labels too; the label has no row, the file must get one.
    Put(0, "A       TXT", 0x20);
    Put(1, "NEW     TXT", 0x28);
    Relist();
    ui.answers = {IDYES};
    ASSERT_TRUE(AddHostFile(s, HostFileWith("new.txt", Pattern(10))));
    EXPECT_EQ(Rows(), (Texts{"A.TXT", "NEW.TXT"}));
    EXPECT_EQ(list.RowAt(1).slotOffset, s.doc.bootOffset + SlotOffset(1));
    EXPECT_EQ(Slot(1)[dir::kAttributes], attr::kArchive);
}

TEST_F(AddTest, ReplacingFreesTheOldChainFirstAndKeepsTheRow) {
    ASSERT_TRUE(AddHostFile(s, HostFileWith("A.TXT", Pattern(3000))));
    ASSERT_TRUE(AddHostFile(s, HostFileWith("B.TXT", Pattern(10))));  // cluster 5
    std::string path = HostFileWith("a.txt", Pattern(1500, 9));
    ui.answers = {IDNO};
    ExpectRefused(path, "File 'A.TXT' already exists! Replace?", MB_YESNO | MB_ICONQUESTION);
    ui.answers = {IDYES};
    int redraws = list.RedrawCount();
    ASSERT_TRUE(AddHostFile(s, path));
    EXPECT_EQ(list.RowCount(), 2u);
    EXPECT_EQ(list.RedrawCount(), redraws + 1);
    EXPECT_EQ(ReadDirEntry(Slot(0)).size, 1500u);
    EXPECT_EQ(Fats({2, 3, 4}), (std::vector<std::uint16_t>{3, 0xFFF, 0}));  // the old third cluster is free again

    // In one batch too: the freed clusters are found again by the files after.
    Blank();
    HostFileAdder adder(s);
    ui.answers = {IDYES};
    for (const auto& [name, size] : {std::pair{"A.TXT", 3000u}, {"B.TXT", 10u}, {"a.txt", 1500u}, {"C.TXT", 10u}}) {
        ASSERT_TRUE(adder.Add(HostFileWith(name, Pattern(size))));
    }
    adder.Commit();
    EXPECT_EQ(Fats({2, 3, 4, 5, 6}), (std::vector<std::uint16_t>{3, 0xFFF, 0xFFF, 0xFFF, 0}));
}

TEST_F(AddTest, DiskFullAlsoWhereTheImageIsShorterThanItsBootSectorSays) {
    std::uint32_t free = CountClusters(G(), Vol(), Len()).freeClusters;
    ExpectRefused(HostFileWith("BIG", Pattern((free + 1) * 1024)), "Disk full!");
    EXPECT_TRUE(AddHostFile(s, HostFileWith("FITS", Pattern(free * 1024))));

    // 720 KB cut to 368,640 bytes: the table still shows clusters above the cut.
    Blank();
    s.doc.size = 368640;
    std::uint32_t below = static_cast<std::uint32_t>((368640 - ClusterOffset(G(), 2)) / 1024);
    ExpectRefused(HostFileWith("BIG", Pattern((below + 1) * 1024)), "Disk full!\n(image too small)");
    EXPECT_TRUE(AddHostFile(s, HostFileWith("FITS", Pattern(below * 1024))));
    // A cluster cut in two takes no data, not even a piece that fits its first half.
    s.doc.size += 600;
    ExpectRefused(HostFileWith("SMALL", Pattern(100)), "Disk full!\n(image too small)");
}

// "." and ".." name the folder they resolve to (no clusters); the root gives no name.
TEST_F(AddTest, APathNamesTheFolderItResolvesTo) {
    ::mkdir(dir.File("Games").c_str(), 0755);
    ::mkdir(dir.File("Games/sub").c_str(), 0755);
    WriteWholeFile(dir.File("Games/inside"), Pattern(5000));
    ASSERT_TRUE(AddHostFile(s, dir.File("Games/.")));
    EXPECT_EQ(Name(0), "GAMES      ");
    EXPECT_EQ(Slot(0)[dir::kAttributes], attr::kDirectory);
    EXPECT_EQ(CountClusters(G(), Vol(), Len()).usedClusters, 0u);
    ui.answers = {IDYES};
    ASSERT_TRUE(AddHostFile(s, dir.File("Games/sub/../sub/..")));
    EXPECT_EQ(list.RowCount(), 1u) << "the same folder: its entry was replaced";
    ExpectRefused("/", "/\n" + LoadText(str::kNameInvalid));
}

TEST_F(AddTest, MissingFilesFailingReadsAndMemory) {
    ExpectRefused(dir.File("missing"), SystemErrorMessage(dir.File("missing"), ERROR_FILE_NOT_FOUND, std::nullopt));
    std::string path = HostFileWith("DATA", Pattern(5000));
    for (bool memory : {false, true}) {
        FaultPlan plan;
        if (memory) plan.failAllocation = [](std::size_t) { return true; };
        if (!memory) plan.failRead = OnFile(path);
        ScopedFaults faults(plan);
        ExpectRefused(path,
                      memory ? LoadText(str::kOutOfMemory) : SystemErrorMessage(path, ERROR_IO_DEVICE, std::nullopt));
    }
}

}  // namespace
}  // namespace kv::test
