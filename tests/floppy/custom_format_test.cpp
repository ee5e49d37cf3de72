// The Custom disk-format dialog: its figures, the geometries it refuses, and
// images of those it accepts as dosfstools and mtools see them.
#include <gtest/gtest.h>

#include <cstring>

#include "document/boot_sector.h"
#include "floppy/custom_format.h"
#include "tests/support/peers.h"
#include "tests/support/session_fixture.h"

namespace kv::test {
namespace {

using Changes = std::vector<std::pair<CustomField, const char*>>;

CustomFormatFields With(const Changes& changes) {
    CustomFormatFields f;
    for (const auto& [field, text] : changes) f.texts[field] = text;
    return f;
}

// Changes, Total, Formatted. Root sectors: 100 entries count as 6, 224 as 14, 16
// and 20 as 1 (a remainder is added once); half kilobytes round up.
TEST(CustomCapacityTest, InitialTextsAndKnownFigures) {
    const std::tuple<Changes, const char*, const char*> cases[] = {
        {{}, "8192", "8173"},
        {{{kCustomSectors, "1"}}, "1", "0"},
        {{{kCustomSectors, "1441"}}, "721", "702"},
        {{{kCustomRootEntries, "100"}}, "8192", "8177"},
        {{{kCustomRootEntries, "16"}}, "8192", "8180"},
        {{{kCustomRootEntries, "20"}}, "8192", "8180"},
    };
    for (const auto& [changes, total, formatted] : cases) {
        CustomCapacity capacity = UpdateCustomCapacity(With(changes));
        EXPECT_EQ(capacity.total + " " + capacity.formatted, std::string(total) + " " + formatted);
    }
}

TEST(CustomFieldsTest, NumbersAreReadAsScanfReadsThem) {
    DiskFormat r = ReadCustomFields(CustomFormatFields{});
    EXPECT_EQ((std::vector<std::uint32_t>{r.mediaByte, r.sectorsPerCluster, r.reservedSectors, r.fatCount,
                                          r.rootEntries, r.totalSectors, r.sectorsPerFat, r.sectorsPerTrack, r.heads,
                                          r.nameStringId, r.mediaType}),
              (std::vector<std::uint32_t>{0xF8, 4, 1, 2, 224, 16384, 11, 40, 4, 0, 0}));
    // The media byte is hexadecimal, the other fields decimal with a sign.
    const std::tuple<CustomField, const char*, std::uint32_t> texts[] = {
        {kCustomMedia, "", 0},    {kCustomMedia, "f8", 0xF8}, {kCustomMedia, "  0xF9", 0xF9},
        {kCustomMedia, "xyz", 0}, {kCustomHeads, " -1", ~0u}, {kCustomHeads, "+12abc", 12},
        {kCustomHeads, "abc", 0}, {kCustomHeads, "", 0}};
    for (const auto& [field, text, value] : texts) {
        DiskFormat read = ReadCustomFields(With({{field, text}}));
        EXPECT_EQ(field == kCustomMedia ? read.mediaByte : read.heads, value) << text;
    }
}

TEST(ConfirmCustomFormatTest, GeometriesTheProgramCannotWorkWithAreRefusedWithTheirReason) {
    const std::string spc = "Sectors per cluster must be 1, 2, 4, 8, 16, 32, 64 or 128.";
    const std::string media = "The media byte must be F0 or one of F8 to FF.";
    const std::string zero = "Capacity of disk is <= 0 Bytes!";
    const std::pair<Changes, std::string> cases[] = {
        {{{kCustomSectors, "1"}}, zero},
        {{{kCustomSectors, "0"}}, zero},
        // The dialog's initial geometry.
        {{},
         "With 4 sectors per cluster the disk has 4086 clusters, but FAT12 can number no more than 4084.\nUse more "
         "sectors per cluster or fewer sectors per disk."},
        {{{kCustomMedia, ""}}, media},
        {{{kCustomMedia, "1F8"}}, media},
        {{{kCustomSectorsPerCluster, "0"}}, spc},
        {{{kCustomSectorsPerCluster, "3"}}, spc},
        {{{kCustomSectorsPerCluster, "256"}}, spc},
        {{{kCustomReserved, "2"}}, "Reserved sectors must be 1: the FAT follows the boot sector directly."},
        {{{kCustomFats, "0"}}, "Number of FAT's must be 1 or 2."},
        {{{kCustomRootEntries, "100"}},
         "Directory-entries must be a multiple of 16, from 16 to 65520 (16 entries fill one sector)."},
        {{{kCustomSectors, "70000"}}, "Sectors per disk must not exceed 65535: the boot sector has no room for more."},
        {{{kCustomSectorsPerFat, "0"}}, "Sectors per FAT must be at least 1."},
        // 128 sectors per FAT: a FAT size taken modulo 65536 would make copy 1 its own backup.
        {{{kCustomSectorsPerFat, "128"}},
         "Sectors per FAT must not exceed 127: a FAT of 64 KB or more cannot be kept in line with its backup copy."},
        {{{kCustomHeads, "-1"}}, "Sectors per track and heads must not exceed 65535."},
        {{{kCustomSectors, "40"}},
         "The disk is too small for its layout: boot sector, FAT's and directory take 37 of its 40 sectors, and no "
         "cluster remains."},
        // 341 clusters and the two entries of the media byte: one more than a sector holds.
        {{{kCustomSectorsPerCluster, "1"},
          {kCustomFats, "1"},
          {kCustomRootEntries, "16"},
          {kCustomSectors, "344"},
          {kCustomSectorsPerFat, "1"}},
         "1 sectors per FAT hold the entries of 339 clusters, but the disk has 341.\nUse at least 2 sectors per FAT."},
    };
    ScriptedUi ui;
    FormatTable formats;
    const DiskFormat before = formats.CustomRow();
    const int dialogTag = 0;
    for (const auto& [changes, text] : cases) {
        SCOPED_TRACE(text);
        ui.Clear();
        EXPECT_FALSE(ConfirmCustomFormat(ui, &dialogTag, With(changes), formats));
        ASSERT_EQ(ui.messages.size(), 1u);
        const RecordedMessage& m = ui.Last();
        const std::string caption = text == zero ? "UNDER CONSTRUCTION" : "Korvane";
        EXPECT_EQ(std::tie(m.text, m.caption, m.style, m.owner),
                  std::make_tuple(text, caption, std::uint32_t{MB_ICONEXCLAMATION}, WindowRef{&dialogTag}));
        EXPECT_EQ(std::memcmp(&formats.CustomRow(), &before, sizeof before), 0) << "custom row changed";
    }

    // An accepted geometry becomes the custom row; 0 heads cannot be formatted, but pass.
    ui.Clear();
    Changes accepted = {{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "6"}, {kCustomHeads, "0"}};
    ASSERT_TRUE(ConfirmCustomFormat(ui, &dialogTag, With(accepted), formats));
    EXPECT_TRUE(ui.messages.empty());
    const DiskFormat expected = ReadCustomFields(With(accepted));
    EXPECT_EQ(std::memcmp(&FindDiskFormat(formats, kCustomFormatCode), &expected, sizeof expected), 0);
}

class CustomImageTest : public SessionFixture, public ::testing::WithParamInterface<Changes> {};

TEST_P(CustomImageTest, FsckFindsNothingAndFillingToTheLastClusterCorruptsNothing) {
    if (!HavePeers()) GTEST_SKIP() << "dosfstools or mtools missing";
    ASSERT_TRUE(ConfirmCustomFormat(ui, kMainWindow, With(GetParam()), s.formats)) << ui.Last().text;
    ASSERT_TRUE(BuildBlankImage(s, kMainWindow, kCustomFormatCode));
    std::string image = WriteImage("custom.dsk", DocumentBytes()), clusters, out;
    const std::uint64_t count = DataClusterCount(s.doc.geometry);
    const std::string all = std::to_string(count);
    EXPECT_EQ(UnexpectedFsckFindings(image, &clusters), "");
    EXPECT_EQ(clusters, "0/" + all);
    // One file that takes every cluster, copied in and out again.
    std::vector<std::uint8_t> content = Pattern(count * ClusterBytes(s.doc.geometry));
    WriteWholeFile(dir.File("big.bin"), content);
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + dir.File("big.bin") + "' ::BIG.BIN", &out), 0) << out;
    EXPECT_EQ(UnexpectedFsckFindings(image, &clusters), "");
    EXPECT_EQ(clusters, all + "/" + all);
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' ::BIG.BIN '" + dir.File("back.bin") + "'", &out), 0) << out;
    EXPECT_EQ(ReadWholeFile(dir.File("back.bin")), content);
}

INSTANTIATE_TEST_SUITE_P(Geometries, CustomImageTest,
                         ::testing::Values(
                             // The largest FAT12 volume of 4 sectors per cluster: 4084 clusters, a FAT of 12 sectors.
                             Changes{{kCustomSectors, "16375"}, {kCustomSectorsPerFat, "12"}},
                             // The initial texts with 8 sectors per cluster and a FAT just large enough.
                             Changes{{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "6"}},
                             // One FAT, one sector per cluster, 16 directory entries.
                             Changes{{kCustomSectorsPerCluster, "1"},
                                     {kCustomFats, "1"},
                                     {kCustomRootEntries, "16"},
                                     {kCustomSectors, "2000"},
                                     {kCustomSectorsPerFat, "6"},
                                     {kCustomMedia, "F0"}}));

}  // namespace
}  // namespace kv::test
