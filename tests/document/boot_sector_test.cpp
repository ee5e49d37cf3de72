// The boot sector: geometry, its fallback and warnings, the FAT-copy check, the
// format table and blank images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

class BootSectorTest : public test::SessionFixture {
protected:
    // Opens an image made from a blank 720 KB one after `edit` changed it.
    template <typename Edit>
    void OpenEdited(Edit edit) {
        std::vector<std::uint8_t> bytes = BlankImage(0xF9);
        edit(bytes);
        ASSERT_TRUE(OpenImage(s, kMainWindow, WriteImage("edited.dsk", bytes)));
    }
};

TEST_F(BootSectorTest, FormatTableLookups) {
    EXPECT_EQ(DataClusterCount(DiskFormat{}), 0u) << "no sectors per cluster, no clusters";
    EXPECT_EQ(FindDiskFormat(s.formats, 0xF5).totalSectors + FindDiskFormat(s.formats, 0x12).totalSectors, 0u);
    EXPECT_EQ(FindDiskFormat(s.formats, kCustomFormatCode).mediaByte, 0xF8u);
}

TEST_F(BootSectorTest, ADamagedParameterBlockFallsBackToAUsableMediaByte) {
    OpenEdited([](std::vector<std::uint8_t>& b) { b[boot::kSectorsPerCluster] = 0; });
    EXPECT_TRUE(ui.Showed(LoadText(str::kFormatCorrupted), MB_ICONEXCLAMATION));
    EXPECT_EQ(s.doc.geometry.nameStringId, 12u) << "row 9 copied whole";

    CloseImage(s, false);
    ui.Clear();
    // Read with row 8's two-sector FATs, the 720 KB FAT copies no longer match.
    ui.answers.push_back(IDNO);
    OpenEdited([](std::vector<std::uint8_t>& b) {
        b[boot::kSectorsPerCluster] = 0;
        b[boot::kMediaByte] = 0x00;
        b[512] = 0xF8;  // the FAT's first byte
    });
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{LoadText(str::kFormatCorrupted), LoadText(str::kFatBackupDiffers)}));
    EXPECT_EQ(s.doc.geometry.totalSectors, 720u) << "row 8";
}

TEST_F(BootSectorTest, NoUsableMediaByteLeavesAnInvalidImageOpenWithoutTheFatCheck) {
    OpenEdited([](std::vector<std::uint8_t>& b) {
        b[boot::kSectorsPerCluster] = 0;
        b[boot::kMediaByte] = 0xF3;  // a media byte without a format
        b[512] = 0x00;
        b[512 + 1536] = 0x11;  // FAT copies differ, but no question comes
    });
    EXPECT_TRUE(ui.Showed(LoadText(str::kNotValidImage), MB_ICONEXCLAMATION));
    EXPECT_EQ(s.doc.geometry.sectorsPerCluster, 2u);
}

TEST_F(BootSectorTest, OtherSectorSizesWarnButOpen) {
    OpenEdited([](std::vector<std::uint8_t>& b) {
        WriteWord(&b[boot::kBytesPerSector], 1024);
        b[boot::kFatCount] = 0;
    });
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{LoadText(str::kNotValidImage)});
    EXPECT_EQ(listings, 1) << "the files are still listed";
    EXPECT_EQ(s.doc.geometry.fatCount, 1u) << "no FAT count reads as one";
}

// No question where the FAT copies cannot be compared: a single FAT, an image
// too short for its FATs, FATs of 64 KB or more (taken modulo 65536, "copy 2"
// would lie inside copy 1); such copies are not refreshed at a save either.
TEST_F(BootSectorTest, TheFatCheckSkipsCopiesItCannotCompare) {
    OpenEdited([](std::vector<std::uint8_t>& b) {
        b[boot::kFatCount] = 1;
        b[512 + 1536] = 0x42;
    });
    OpenEdited([](std::vector<std::uint8_t>& b) {
        b[512 + 1536] = 0x42;
        b.resize(512 + 1536 + 1000);
    });
    OpenEdited([](std::vector<std::uint8_t>& b) {
        WriteWord(&b[boot::kSectorsPerFat], 129);
        b[512 + 600] = 0x42;
    });
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
