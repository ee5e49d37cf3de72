// The bad-sector list and its side file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "document/boot_sector.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

using test::FileExists;
using test::ReadWholeFile;

std::vector<std::uint8_t> SideFile(std::uint32_t bitmapBytes, std::initializer_list<std::pair<int, int>> set = {}) {
    std::vector<std::uint8_t> bytes(kMediaErrorHeaderSize + bitmapBytes, 0);
    std::copy(kMediaErrorHeader, kMediaErrorHeader + kMediaErrorHeaderSize, bytes.begin());
    for (auto [index, value] : set) bytes[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
    return bytes;
}

TEST(MediaErrorList, BitsAreSectorsMostSignificantFirst) {
    MediaErrorList list;
    ASSERT_TRUE(CreateMediaErrorList(list, 1441));
    EXPECT_EQ(list.byteCount, 201u) << "a byte for the last sector";
    EXPECT_FALSE(HasMediaErrors(list));
    for (std::uint32_t sector : {0u, 9u, 1440u, 1448u, 0xFFFFFFFFu}) MarkBadSector(list, sector);
    EXPECT_EQ(list.bytes[20], 0x80);
    EXPECT_EQ(list.bytes[21], 0x40);
    EXPECT_EQ(list.bytes[200], 0x80);
    EXPECT_TRUE(HasMediaErrors(list));
    EXPECT_EQ(ListBadSectors(list, 0xFFFF), (std::vector<std::uint32_t>{0, 9, 1440})) << "the rest lie behind the list";
}

// The side file's path is never the image itself: *.der images get ".der" behind.
TEST(MediaErrorList, SideFilePathReplacesOrAddsTheExtension) {
    for (auto [image, side] : {std::pair<const char*, const char*>{"/img/game.dsk", "/img/game.der"},
                               {"/img.v2/game", "/img.v2/game.der"},
                               {"game.tar.dsk", "game.tar.der"},
                               {"C:\\img.v2\\game", "C:\\img.v2\\game.der"},
                               {"", "der"},
                               {"/img/disk.der", "/img/disk.der.der"},
                               {"DISK.DER", "DISK.DER.der"}}) {
        EXPECT_EQ(MediaErrorFilePath(image), side);
    }
}

class SideFileTest : public test::SessionFixture {
protected:
    std::string image = WriteBlankImage("a.dsk");
    std::string side = dir.File("a.der");
};

TEST_F(SideFileTest, MarkedSectorsAreWrittenBesideTheImageAtTheNextSaveAndSaveAsWritesANewOne) {
    OpenQuietly(image);
    MarkBadSector(s.doc.errors, 0);
    MarkBadSector(s.doc.errors, 9);
    ASSERT_TRUE(SaveImage(s));
    const std::vector<std::uint8_t> written = SideFile(180, {{20, 0x80}, {21, 0x40}});
    EXPECT_EQ(ReadWholeFile(side), written);
    ASSERT_TRUE(CloseImage(s, false));

    OpenQuietly(image);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 1440), (std::vector<std::uint32_t>{0, 9}));
    ui.WillChoose(dir.File("copy.img"));
    ASSERT_TRUE(SaveImageAs(s, kMainWindow));
    MarkBadSector(s.doc.errors, 1);
    ASSERT_TRUE(SaveImage(s));
    EXPECT_EQ(ReadWholeFile(dir.File("copy.der")), SideFile(180, {{20, 0xC0}, {21, 0x40}}));
    EXPECT_EQ(ReadWholeFile(side), written) << "the old side file is left alone";
}

TEST_F(SideFileTest, ASideFileIsReadAsFarAsItGoesAndNeverShortened) {
    test::WriteWholeFile(side, SideFile(2, {{21, 0x01}}));
    OpenQuietly(image);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 1440), (std::vector<std::uint32_t>{15}));
    CloseImage(s, false);
    std::vector<std::uint8_t> longer = SideFile(300, {{21, 0x01}, {310, 0x77}});
    test::WriteWholeFile(side, longer);
    OpenQuietly(image);
    MarkBadSector(s.doc.errors, 0);
    ASSERT_TRUE(SaveImage(s));
    longer[20] = 0x80;
    EXPECT_EQ(ReadWholeFile(side), longer) << "the start rewritten, the tail kept";
}

TEST_F(SideFileTest, ASideFileOfUnknownFormatIsReportedAndReplacedAtTheNextSave) {
    for (bool marked : {false, true}) {
        test::WriteWholeFile(side, SideFile(180, {{0, 'd'}, {20, 0xFF}}));
        ASSERT_TRUE(OpenImage(s, kMainWindow, image));
        EXPECT_TRUE(ui.Showed(LoadText(str::kSideFileUnknown), MB_ICONEXCLAMATION));
        EXPECT_FALSE(HasMediaErrors(s.doc.errors));
        if (marked) MarkBadSector(s.doc.errors, 7);
        ASSERT_TRUE(SaveImage(s));
        EXPECT_EQ(ReadWholeFile(side), marked ? SideFile(180, {{20, 0x01}}) : std::vector<std::uint8_t>{});
        EXPECT_EQ(FileExists(side), marked) << "deleted without a marked sector";
        ASSERT_TRUE(CloseImage(s, false));
        ui.Clear();
    }
}

TEST_F(SideFileTest, AReadOnlyImageOpensItsSideFileForReadingOnly) {
    test::WriteWholeFile(side, SideFile(180, {{20, 0x20}}));
    ::chmod(side.c_str(), 0444);
    // Read and write access to a read-only side file fails: as if there were none.
    OpenQuietly(image);
    EXPECT_FALSE(HasMediaErrors(s.doc.errors));
    CloseImage(s, false);
    OpenQuietly(image, true);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 1440), (std::vector<std::uint32_t>{2}));
}

// A side file that cannot be created, written or deleted: shown, told, and the image save stands.
TEST_F(SideFileTest, SideFileFailuresAreShownButTheImageSaveStands) {
    OpenQuietly(image);
    std::filesystem::create_directory(side);
    MarkBadSector(s.doc.errors, 1);
    s.doc.modified = true;
    bool sideFileSaved = true;
    EXPECT_TRUE(SaveImage(s, &sideFileSaved));
    EXPECT_FALSE(sideFileSaved || s.doc.modified);
    EXPECT_TRUE(ui.Showed(SystemErrorMessage(side, ERROR_ACCESS_DENIED, std::nullopt), MB_ICONHAND));
    std::filesystem::remove(side);
    ASSERT_TRUE(SaveImage(s));
    ui.Clear();
    {
        test::FaultPlan plan;
        plan.failWrite = test::OnFile(side);
        test::ScopedFaults faults(plan);
        EXPECT_TRUE(SaveImage(s));
    }
    ClearMediaErrors(s.doc.errors);
    ::chmod(side.c_str(), 0444);
    EXPECT_TRUE(SaveImage(s));
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{SystemErrorMessage(side, ERROR_DISK_FULL, std::nullopt),
                                                    SystemErrorMessage(side, ERROR_ACCESS_DENIED, std::nullopt)}));
    EXPECT_TRUE(FileExists(side));
}

TEST_F(SideFileTest, WithoutMemoryForTheListTheImageOpensAndTheNextSaveDeletesTheSideFile) {
    test::WriteWholeFile(side, SideFile(180, {{20, 0xFF}}));
    {
        test::FaultPlan plan;
        plan.failAllocation = [](std::size_t n) { return n == 200; };
        test::ScopedFaults faults(plan);
        ASSERT_TRUE(OpenImage(s, kMainWindow, image));
    }
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(IsBadSector(s.doc.errors, 0));
    MarkBadSector(s.doc.errors, 3);
    ASSERT_TRUE(SaveImage(s));
    EXPECT_FALSE(FileExists(side));
    ASSERT_TRUE(SaveImage(s));
    EXPECT_TRUE(ui.messages.empty()) << "already gone: nothing to report";
}

}  // namespace
}  // namespace kv
