// The boot sector: geometry and its fallback, the FAT-copy check, the format table, blank images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

using Edits = std::vector<std::pair<std::size_t, std::uint8_t>>;

class BootSectorTest : public test::SessionFixture {
protected:
    // Opens a blank 720 KB image with `edits` made to it and cut to `size` bytes.
    void OpenEdited(const Edits& edits, std::size_t size = 737280) {
        std::vector<std::uint8_t> bytes = BlankImage(0xF9);
        for (auto [at, value] : edits) bytes[at] = value;
        bytes.resize(size);
        ASSERT_TRUE(OpenImage(s, kMainWindow, WriteImage("edited.dsk", bytes)));
    }
};

TEST_F(BootSectorTest, FormatTableLookups) {
    EXPECT_EQ(DataClusterCount(DiskFormat{}), 0u) << "no sectors per cluster, no clusters";
    EXPECT_EQ(FindDiskFormat(s.formats, 0xF5).totalSectors + FindDiskFormat(s.formats, 0x12).totalSectors, 0u);
    EXPECT_EQ(FindDiskFormat(s.formats, kCustomFormatCode).mediaByte, 0xF8u);
}

// A damaged parameter block is read with the row its media byte, else its FAT's first byte, names.
TEST_F(BootSectorTest, ADamagedParameterBlockIsReadAsWellAsItCanBe) {
    const std::string corrupted = LoadText(str::kFormatCorrupted), invalid = LoadText(str::kNotValidImage);
    const std::size_t spc = boot::kSectorsPerCluster, media = boot::kMediaByte;
    const struct {
        std::uint32_t totalSectors, fatCount, nameStringId;
        std::vector<std::string> texts;
        Edits edits;
    } cases[] = {
        {1440, 2, 12, {corrupted}, {{spc, 0}}},
        // Row 8 has two-sector FATs: the 720 KB image's FAT copies no longer match.
        {720, 2, 11, {corrupted, LoadText(str::kFatBackupDiffers)}, {{spc, 0}, {media, 0}, {512, 0xF8}}},
        // No usable media byte: the FAT copies differ, but no question comes.
        {1440, 2, 0, {invalid}, {{spc, 0}, {media, 0xF3}, {512, 0}, {512 + 1536, 0x11}}},
        // 1024 bytes per sector warn but open; no FAT count reads as one.
        {1440, 1, 0, {invalid}, {{boot::kBytesPerSector + 1, 4}, {boot::kFatCount, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.back() + " " + std::to_string(c.totalSectors));
        ui.Clear();
        if (c.texts.size() > 1) ui.answers.push_back(IDNO);
        listings = 0;
        OpenEdited(c.edits);
        EXPECT_EQ(ui.Texts(), c.texts);
        EXPECT_EQ(ui.messages.front().style, MB_ICONEXCLAMATION);
        EXPECT_EQ(listings, 1) << "the files are still listed";
        const VolumeGeometry& g = s.doc.geometry;
        EXPECT_EQ(g.sectorsPerCluster, 2u);
        EXPECT_EQ(std::make_tuple(g.totalSectors, g.fatCount, g.nameStringId),
                  std::make_tuple(c.totalSectors, c.fatCount, c.nameStringId));
        ASSERT_TRUE(CloseImage(s, false));
    }
}

// FAT copies are not compared, nor refreshed at a save, with one FAT, an image too short for
// them, or FATs of 64 KB or more (modulo 65536 "copy 2" would lie inside copy 1).
TEST_F(BootSectorTest, TheFatCheckSkipsCopiesItCannotCompare) {
    OpenEdited({{boot::kFatCount, 1}, {512 + 1536, 0x42}});
    OpenEdited({{512 + 1536, 0x42}}, 512 + 1536 + 1000);
    OpenEdited({{boot::kSectorsPerFat, 129}, {512 + 600, 0x42}});
    EXPECT_TRUE(ui.messages.empty());
    s.doc.modified = true;
    ASSERT_TRUE(SaveImage(s));
    EXPECT_EQ(s.doc.Volume()[512 + 600], 0x42);
}

TEST_F(BootSectorTest, BlankImagesOfEveryFormat) {
    for (std::uint32_t code : {0xF0u, 0xF8u, 0xF9u, 0xFAu, 0xFBu, 0xFCu, 0xFDu, 0xFEu, 0xFFu}) {
        SCOPED_TRACE(code);
        ASSERT_TRUE(CloseImage(s, false));
        ASSERT_TRUE(BuildBlankImage(s, kMainWindow, code));
        const DiskFormat& row = FindDiskFormat(s.formats, code);
        const std::uint8_t* b = s.doc.data.get();
        ASSERT_EQ(s.doc.size, row.totalSectors * 512);
        EXPECT_EQ(s.doc.path, "Untitled");
        EXPECT_FALSE(s.doc.file.IsOpen() || s.doc.modified);
        EXPECT_EQ(b[boot::kMediaByte], code);
        EXPECT_EQ(0, std::memcmp(b, BootSectorTemplate().data(), 11)) << "jump and OEM name";
        EXPECT_EQ(0, std::memcmp(b + 30, BootSectorTemplate().data() + 30, 482)) << "the boot program";
        auto all = [b](std::size_t from, std::size_t to, std::uint8_t value) {
            return static_cast<std::size_t>(std::count(b + from, b + to, value)) == to - from;
        };
        std::size_t fatBytes = row.sectorsPerFat * 512;
        for (std::size_t fat = 512; fat < 512 + row.fatCount * fatBytes; fat += fatBytes) {
            EXPECT_TRUE(b[fat] == code && b[fat + 1] == 0xFF && b[fat + 2] == 0xFF && all(fat + 3, fat + fatBytes, 0));
        }
        std::size_t root = RootStartSector(row) * 512, data = DataStartSector(row) * 512;
        EXPECT_TRUE(all(root, data, 0)) << "root directory";
        EXPECT_TRUE(all(data, s.doc.size, 0xFF)) << "data area";
        // Read back, the boot sector describes the row.
        VolumeGeometry described = row;
        described.nameStringId = described.mediaByte = 0;
        EXPECT_TRUE(ReadVolumeGeometry(s, kMainWindow, false));
        EXPECT_EQ(0, std::memcmp(&s.doc.geometry, &described, sizeof described));
    }
}

TEST_F(BootSectorTest, ABlankImageWithoutMemoryIsNotMade) {
    test::FaultPlan plan;
    plan.failAllocation = [](std::size_t n) { return n == 1474560; };
    test::ScopedFaults faults(plan);
    EXPECT_FALSE(BuildBlankImage(s, kMainWindow, 0xF0));
    EXPECT_TRUE(ui.Showed(LoadText(str::kOutOfMemory), MB_ICONHAND));
    EXPECT_FALSE(s.doc.IsOpen());
}

}  // namespace
}  // namespace kv
