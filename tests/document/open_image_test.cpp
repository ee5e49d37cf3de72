// Opening an image: every way it can go, what the user sees and what is left open.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <filesystem>

#include "document/boot_sector.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

using OpenImageTest = test::SessionFixture;

TEST_F(OpenImageTest, AnImageOpensQuietlyOrReadOnlyAndACancelledDialogKeepsIt) {
    std::string path = WriteBlankImage("game.dsk");
    ui.WillChoose(path);
    ASSERT_TRUE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_EQ(listings, 1);
    EXPECT_TRUE(ui.listEnabled);
    EXPECT_EQ(s.doc.path, path);
    EXPECT_FALSE(s.doc.readOnly || s.doc.modified);
    EXPECT_EQ(ui.titles.back(), "game.dsk - Korvane");
    EXPECT_EQ(ui.cursors.front(), Cursor::Wait);
    EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
    // The open dialog: image filter, an existing file required, the read-only box shown.
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_FALSE(ui.fileRequests[0].save);
    EXPECT_EQ(ui.fileRequests[0].filterStringId, 6u);
    EXPECT_EQ(ui.fileRequests[0].flags, OFN_FILEMUSTEXIST);
    ui.WillCancelDialog();
    EXPECT_FALSE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_EQ(s.doc.path, path) << "cancelling the dialog keeps the open image";
    // Read-only on request without a warning, and for a read-only file with one.
    ui.WillChoose(path, true);
    ASSERT_TRUE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_TRUE(s.doc.readOnly);
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(OpenImage(s, kMainWindow, path));
    EXPECT_TRUE(ui.Showed(LoadText(53), MB_ICONEXCLAMATION));
    EXPECT_TRUE(s.doc.readOnly);
    // 512 bytes without a header are the smallest image.
    EXPECT_TRUE(OpenImage(s, kMainWindow, WriteImage("512.dsk", std::vector<std::uint8_t>(512, 0))));
}

// A mapped image's changes reach the file only through a save. A file that cannot be mapped is
// read, and so is a writable one with holes whose space cannot be secured (a full tmpfs).
TEST_F(OpenImageTest, AnImageMayBeMappedInsteadOfRead) {
    const std::string whole = WriteBlankImage("a.dsk");
    const std::vector<std::uint8_t> bytes = test::ReadWholeFile(whole);
    const struct {
        bool readOnly, mapFails, holes, noSpace, mapped;
    } cases[] = {{true, false, false, false, true}, {true, true, false, false, false},
                 {true, false, true, true, true},   {false, false, false, true, true},
                 {false, false, true, false, true}, {false, false, true, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.readOnly << c.mapFails << c.holes << c.noSpace);
        // A fresh sparse file each time: a reservation fills its hole.
        const std::string path = c.holes ? WriteImage("sparse.dsk", {bytes.begin(), bytes.begin() + 16384}) : whole;
        if (c.holes) std::filesystem::resize_file(path, bytes.size());  // the rest is a hole, reading as zeros
        const std::vector<std::uint8_t> before = test::ReadWholeFile(path);
        test::FaultPlan plan;
        if (c.noSpace) plan.failFallocate = [](int) { return true; };
        {
            test::ScopedFaults faults(plan);
            if (c.mapFails) Host().map = [](int, std::size_t) { return MAP_FAILED; };
            ASSERT_TRUE(OpenImage(s, kMainWindow, path, c.readOnly, ImageLoad::Map));
        }
        EXPECT_EQ(s.doc.mapsFile, c.mapped);
        EXPECT_TRUE(DocumentBytes() == before);
        s.doc.data[3584] = 'X';
        ASSERT_TRUE(CloseImage(s, false));
        EXPECT_TRUE(test::ReadWholeFile(path) == before);
    }
}

TEST_F(OpenImageTest, EveryFailureShowsOneStopAndClosesThePreviousImage) {
    std::string blank = WriteBlankImage("a.dsk");
    std::string missing = dir.File("missing.dsk");
    std::string huge = dir.File("4g.dsk");
    test::WriteWholeFile(huge, {});
    std::filesystem::resize_file(huge, 1ull << 32);  // 4 GiB exactly, sparse
    std::vector<std::uint8_t> compressed = WithComment(BlankImage(), 0x5A);
    compressed[6] = 1;
    std::vector<std::uint8_t> noEnd = WithComment(std::vector<std::uint8_t>(2000, 'x'));
    noEnd[45] = 'x';  // the comment never ends
    test::FaultPlan failSize, noMemory, failRead, shortRead;
    failSize.failFstat = test::OnFile(blank);
    noMemory.failAllocation = [](std::size_t n) { return n == 737280; };
    failRead.failRead = test::OnFile(blank);
    shortRead.readCap = 4096;
    shortRead.endReadEarly = [blank, calls = 0](int fd) mutable { return test::OnFile(blank)(fd) && ++calls > 3; };
    struct Case {
        std::string path, text;
        test::FaultPlan faults;
    } cases[] = {
        {missing, missing + "\n" + SystemErrorText(ERROR_FILE_NOT_FOUND), {}},
        // Denied for reading and writing, the read-only retry fails too: the first error is shown.
        {dir.Path(), dir.Path() + "\n" + SystemErrorText(ERROR_ACCESS_DENIED), {}},
        {blank, blank + "\n" + SystemErrorText(ERROR_IO_DEVICE), failSize},
        {WriteImage("511.dsk", std::vector<std::uint8_t>(511, 0)), LoadText(20), {}},
        {huge, LoadText(19), {}},
        {blank, "Not enough memory for image (737280 Bytes required)!", noMemory},
        {blank, blank + "\n" + SystemErrorText(ERROR_IO_DEVICE), failRead},
        {blank, blank + "\n" + SystemErrorText(ERROR_HANDLE_EOF), shortRead},
        {WriteImage("z.dsk", compressed), LoadText(54), {}},
        {WriteImage("noend.dsk", noEnd), LoadText(20), {}},
        // A header and a volume one byte short of a sector.
        {WriteImage("short.dsk", WithComment(std::vector<std::uint8_t>(511, 0))), LoadText(20), {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.text);
        OpenQuietly(WriteBlankImage("previous.dsk"));  // failures close it
        {
            test::ScopedFaults faults(c.faults);
            EXPECT_FALSE(OpenImage(s, kMainWindow, c.path));
        }
        EXPECT_TRUE(ui.Showed(c.text, MB_ICONHAND));
        EXPECT_FALSE(s.doc.IsOpen());
        EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
    }
}

TEST_F(OpenImageTest, ACommentHeaderIsShownAndTheVolumeFollowsIt) {
    ASSERT_TRUE(OpenImage(s, kMainWindow, WriteImage("c.dsk", WithComment(BlankImage()))));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Last().text + "|" + ui.Last().caption, "Hello|Disk-image comment");
    EXPECT_EQ(ui.Last().style, MB_ICONINFORMATION);
    EXPECT_EQ(s.doc.bootOffset, 46u);
    EXPECT_EQ(s.doc.geometry.totalSectors, 1440u);
}

}  // namespace
}  // namespace kv
