// The Custom disk-format dialog's fields and capacities, the geometries it
// refuses, and the images built from the geometries it accepts, checked by
// dosfstools and mtools.
#include <gtest/gtest.h>

#include <cstring>

#include "document/boot_sector.h"
#include "floppy/custom_format.h"
#include "tests/support/peers.h"
#include "tests/support/session_fixture.h"

namespace kv::test {
namespace {

CustomFormatFields With(std::initializer_list<std::pair<CustomField, const char*>> changes) {
    CustomFormatFields f;
    for (const auto& [field, text] : changes) f.texts[field] = text;
    return f;
}

TEST(CustomCapacityTest, InitialTextsAndKnownFigures) {
    CustomCapacity initial = UpdateCustomCapacity(CustomFormatFields{});
    EXPECT_EQ(initial.total, "8192");
    EXPECT_EQ(initial.formatted, "8173");

    CustomCapacity one = UpdateCustomCapacity(With({{kCustomSectors, "1"}}));
    EXPECT_EQ(one.total, "1");
    EXPECT_EQ(one.formatted, "0");
    EXPECT_EQ(UpdateCustomCapacity(With({{kCustomSectors, "1441"}})).total, "721");

    // Root sectors: 100 entries count as 6 sectors, 224 as 14, 16 and 8 as 1.
    EXPECT_EQ(UpdateCustomCapacity(With({{kCustomRootEntries, "100"}})).formatted, "8177");
    EXPECT_EQ(UpdateCustomCapacity(With({{kCustomRootEntries, "224"}})).formatted, "8173");
    EXPECT_EQ(UpdateCustomCapacity(With({{kCustomRootEntries, "16"}})).formatted, "8180");
    EXPECT_EQ(UpdateCustomCapacity(With({{kCustomRootEntries, "8"}})).formatted, "8180");
}

TEST(CustomFieldsTest, NumbersAreReadAsScanfReadsThem) {
    DiskFormat initial = ReadCustomFields(CustomFormatFields{});
    EXPECT_EQ(initial.mediaByte, 0xF8u);
    EXPECT_EQ(initial.sectorsPerCluster, 4u);
    EXPECT_EQ(initial.reservedSectors, 1u);
    EXPECT_EQ(initial.fatCount, 2u);
    EXPECT_EQ(initial.rootEntries, 224u);
    EXPECT_EQ(initial.totalSectors, 16384u);
    EXPECT_EQ(initial.sectorsPerFat, 11u);
    EXPECT_EQ(initial.sectorsPerTrack, 40u);
    EXPECT_EQ(initial.heads, 4u);
    EXPECT_EQ(initial.nameStringId, 0u);
    EXPECT_EQ(initial.mediaType, 0u);

    EXPECT_EQ(ReadCustomFields(With({{kCustomMedia, ""}})).mediaByte, 0u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomMedia, "f8"}})).mediaByte, 0xF8u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomMedia, "  0xF9"}})).mediaByte, 0xF9u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomMedia, "xyz"}})).mediaByte, 0u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomHeads, " -1"}})).heads, 0xFFFFFFFFu);
    EXPECT_EQ(ReadCustomFields(With({{kCustomHeads, "+12abc"}})).heads, 12u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomHeads, "abc"}})).heads, 0u);
    EXPECT_EQ(ReadCustomFields(With({{kCustomHeads, ""}})).heads, 0u);
}

class ConfirmTest : public ::testing::Test {
protected:
    ScriptedUi ui;
    FormatTable formats;
    const int dialogTag = 0;
    WindowRef dialog = &dialogTag;
    DiskFormat before = formats.CustomRow();

    void ExpectRefused(const CustomFormatFields& fields, const std::string& text) {
        ui.Clear();
        EXPECT_FALSE(ConfirmCustomFormat(ui, dialog, fields, formats));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.Last().text, text);
        EXPECT_EQ(ui.Last().style, MB_ICONEXCLAMATION);
        EXPECT_EQ(ui.Last().owner, dialog);
        EXPECT_EQ(std::memcmp(&formats.CustomRow(), &before, sizeof before), 0) << "custom row changed";
    }
};

TEST_F(ConfirmTest, ZeroCapacityIsRefusedUnderConstruction) {
    ExpectRefused(With({{kCustomSectors, "1"}}), "Capacity of disk is <= 0 Bytes!");
    EXPECT_EQ(ui.Last().caption, "UNDER CONSTRUCTION");
    ExpectRefused(With({{kCustomSectors, "0"}}), "Capacity of disk is <= 0 Bytes!");
}

TEST_F(ConfirmTest, TheInitialGeometryHasMoreClustersThanFat12CanNumber) {
    ExpectRefused(CustomFormatFields{},
                  "With 4 sectors per cluster the disk has 4086 clusters, but FAT12 can number no more than "
                  "4084.\nUse more sectors per cluster or fewer sectors per disk.");
    EXPECT_EQ(ui.Last().caption, "Korvane");
}

TEST_F(ConfirmTest, GeometriesTheProgramCannotWorkWithAreRefusedWithTheirReason) {
    ExpectRefused(With({{kCustomMedia, ""}}), "The media byte must be F0 or one of F8 to FF.");
    ExpectRefused(With({{kCustomMedia, "1F8"}}), "The media byte must be F0 or one of F8 to FF.");
    for (const char* spc : {"0", "3", "256", "-4"}) {
        ExpectRefused(With({{kCustomSectorsPerCluster, spc}}),
                      "Sectors per cluster must be 1, 2, 4, 8, 16, 32, 64 or 128.");
    }
    ExpectRefused(With({{kCustomReserved, "2"}}),
                  "Reserved sectors must be 1: the FAT follows the boot sector directly.");
    ExpectRefused(With({{kCustomFats, "0"}}), "Number of FAT's must be 1 or 2.");
    ExpectRefused(With({{kCustomFats, "3"}}), "Number of FAT's must be 1 or 2.");
    ExpectRefused(With({{kCustomRootEntries, "100"}}),
                  "Directory-entries must be a multiple of 16, from 16 to 65520 (16 entries fill one sector).");
    ExpectRefused(With({{kCustomSectors, "70000"}}),
                  "Sectors per disk must not exceed 65535: the boot sector has no room for more.");
    ExpectRefused(With({{kCustomSectors, "-16"}}), "Capacity of disk is <= 0 Bytes!");
    ExpectRefused(With({{kCustomSectorsPerFat, "0"}}), "Sectors per FAT must be at least 1.");
    // 224 sectors per FAT: the backup would be compared with, and refreshed
    // into, FAT copy 1 itself (its size is taken modulo 65536).
    ExpectRefused(With({{kCustomSectorsPerFat, "224"}}),
                  "Sectors per FAT must not exceed 127: a FAT of 64 KB or more cannot be kept in line with its "
                  "backup copy.");
    ExpectRefused(With({{kCustomHeads, "-1"}}), "Sectors per track and heads must not exceed 65535.");
    ExpectRefused(With({{kCustomSectors, "40"}}),
                  "The disk is too small for its layout: boot sector, FAT's and directory take 37 of its 40 "
                  "sectors, and no cluster remains.");
    ExpectRefused(With({{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "2"}}),
                  "2 sectors per FAT hold the entries of 680 clusters, but the disk has 2045.\nUse at least 6 "
                  "sectors per FAT.");
}

TEST_F(ConfirmTest, AnAcceptedGeometryBecomesTheCustomRow) {
    CustomFormatFields fields = With({{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "6"}});
    EXPECT_TRUE(ConfirmCustomFormat(ui, dialog, fields, formats));
    EXPECT_TRUE(ui.messages.empty());
    DiskFormat expected = ReadCustomFields(fields);
    const DiskFormat& row = FindDiskFormat(formats, kCustomFormatCode);
    EXPECT_EQ(std::memcmp(&row, &expected, sizeof row), 0);
    EXPECT_EQ(row.sectorsPerCluster, 8u);
    EXPECT_EQ(row.nameStringId, 0u);
    // Heads and sectors per track of 0 cannot be formatted, but are accepted.
    EXPECT_TRUE(ConfirmCustomFormat(ui, dialog, With({{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "6"},
                                                      {kCustomHeads, "0"}}),
                                    formats));
}

// Images built from accepted geometries, at and near the limits, as other
// programs see them.
class CustomImageTest : public SessionFixture,
                        public ::testing::WithParamInterface<std::vector<std::pair<CustomField, const char*>>> {};

TEST_P(CustomImageTest, FsckFindsNothingAndFillingToTheLastClusterCorruptsNothing) {
    if (!HavePeers()) GTEST_SKIP() << "dosfstools or mtools missing";
    CustomFormatFields fields;
    for (const auto& [field, text] : GetParam()) fields.texts[field] = text;
    ASSERT_TRUE(ConfirmCustomFormat(ui, kMainWindow, fields, s.formats)) << ui.Last().text;
    ASSERT_TRUE(BuildBlankImage(s, kMainWindow, kCustomFormatCode));
    std::string image = WriteImage("custom.dsk", DocumentBytes());
    std::string clusters;
    EXPECT_EQ(UnexpectedFsckFindings(image, &clusters), "");
    std::string all = std::to_string(DataClusterCount(s.doc.geometry));
    EXPECT_EQ(clusters, "0/" + all);

    // One file that takes every cluster, copied in and out again.
    std::vector<std::uint8_t> content = Pattern(DataClusterCount(s.doc.geometry) * ClusterBytes(s.doc.geometry));
    WriteWholeFile(dir.File("big.bin"), content);
    std::string out;
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + dir.File("big.bin") + "' ::BIG.BIN", &out), 0) << out;
    EXPECT_EQ(UnexpectedFsckFindings(image, &clusters), "");
    EXPECT_EQ(clusters, all + "/" + all);
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' ::BIG.BIN '" + dir.File("back.bin") + "'", &out), 0) << out;
    EXPECT_EQ(ReadWholeFile(dir.File("back.bin")), content);
    // The boot sector and FAT copies are where the program put them.
    std::vector<std::uint8_t> after = ReadWholeFile(image);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 30, s.doc.data.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, CustomImageTest,
    ::testing::Values(
        // The largest FAT12 volume of 4 sectors per cluster: 4084 clusters, a FAT of 12 sectors.
        std::vector<std::pair<CustomField, const char*>>{{kCustomSectors, "16375"}, {kCustomSectorsPerFat, "12"}},
        // The initial texts with 8 sectors per cluster and a FAT just large enough.
        std::vector<std::pair<CustomField, const char*>>{{kCustomSectorsPerCluster, "8"}, {kCustomSectorsPerFat, "6"}},
        // One FAT, one sector per cluster, 16 directory entries.
        std::vector<std::pair<CustomField, const char*>>{{kCustomSectorsPerCluster, "1"},
                                                         {kCustomFats, "1"},
                                                         {kCustomRootEntries, "16"},
                                                         {kCustomSectors, "2000"},
                                                         {kCustomSectorsPerFat, "6"},
                                                         {kCustomMedia, "F0"}}));

}  // namespace
}  // namespace kv::test
