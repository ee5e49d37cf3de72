// Opening an image: every way it can go, what the user sees and what is left open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "document/boot_sector.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

class OpenImageTest : public test::SessionFixture {
protected:
    void ExpectNothingOpen() {
        EXPECT_FALSE(s.doc.IsOpen());
        EXPECT_EQ(s.doc.size, 0u);
        EXPECT_EQ(s.doc.path, "");
        EXPECT_FALSE(s.doc.file.IsOpen());
    }
    void ExpectOneStop(const std::string& text) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.Last().text, text);
        EXPECT_EQ(ui.Last().style, MB_ICONHAND);
        EXPECT_EQ(ui.Last().caption, "Korvane");
    }
    // A previous image is open and modified-free, so failures show it was closed.
    void OpenPrevious() { OpenQuietly(WriteBlankImage("previous.dsk")); }
};

TEST_F(OpenImageTest, ABareImageOpensWithoutMessagesAndIsListed) {
    std::string path = WriteBlankImage("game.dsk");
    int listed = 0;
    s.listRootDirectory = [&](Session&) { ++listed; };
    ui.WillChoose(path);
    ASSERT_TRUE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(listed, 1);
    EXPECT_TRUE(list.IsEnabled());
    EXPECT_EQ(s.doc.size, 737280u);
    EXPECT_EQ(s.doc.path, path);
    EXPECT_FALSE(s.doc.readOnly);
    EXPECT_FALSE(s.doc.modified);
    EXPECT_TRUE(s.doc.file.IsOpen());
    EXPECT_EQ(ui.titles.back(), "game.dsk - Korvane");
    EXPECT_EQ(ui.cursors.front(), Cursor::Wait);
    EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
    // The open dialog: image filter, an existing file required, the read-only box shown.
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_FALSE(ui.fileRequests[0].save);
    EXPECT_EQ(ui.fileRequests[0].filterStringId, 6u);
    EXPECT_EQ(ui.fileRequests[0].flags, OFN_FILEMUSTEXIST);
}

TEST_F(OpenImageTest, CancellingTheDialogChangesNothing) {
    OpenPrevious();
    ui.WillCancelDialog();
    EXPECT_FALSE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(s.doc.IsOpen()) << "the image that was open stays open";
}

TEST_F(OpenImageTest, TheReadOnlyBoxOpensForReadingOnly) {
    std::string path = WriteBlankImage("a.dsk");
    ui.WillChoose(path, true);
    ASSERT_TRUE(OpenImage(s, kMainWindow, std::nullopt));
    EXPECT_TRUE(s.doc.readOnly);
    EXPECT_TRUE(ui.messages.empty()) << "asked for, so no warning";
}

TEST_F(OpenImageTest, AReadOnlyFileOpensReadOnlyWithOneWarning) {
    std::string path = WriteBlankImage("ro.dsk");
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(OpenImage(s, kMainWindow, path));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Last().text, LoadText(53));
    EXPECT_EQ(ui.Last().style, MB_ICONEXCLAMATION);
    EXPECT_TRUE(s.doc.IsOpen());
    EXPECT_TRUE(s.doc.readOnly);
}

TEST_F(OpenImageTest, AFileThatCannotBeOpenedShowsTheSystemTextAndClosesThePreviousImage) {
    OpenPrevious();
    std::string path = dir.File("missing.dsk");
    EXPECT_FALSE(OpenImage(s, kMainWindow, path));
    ExpectOneStop(path + "\n" + SystemErrorText(ERROR_FILE_NOT_FOUND));
    ExpectNothingOpen();
    EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
}

TEST_F(OpenImageTest, AFolderIsRefusedWithTheFirstAttemptsError) {
    EXPECT_FALSE(OpenImage(s, kMainWindow, dir.Path()));
    // Access denied for reading and writing; the read-only retry fails too and
    // the first error is shown.
    ExpectOneStop(dir.Path() + "\n" + SystemErrorText(ERROR_ACCESS_DENIED));
    ExpectNothingOpen();
}

TEST_F(OpenImageTest, ASizeThatCannotBeReadShowsTheSystemText) {
    std::string path = WriteBlankImage("a.dsk");
    test::FaultPlan plan;
    plan.failFstat = test::OnFile(path);
    test::ScopedFaults faults(plan);
    EXPECT_FALSE(OpenImage(s, kMainWindow, path));
    ExpectOneStop(path + "\n" + SystemErrorText(ERROR_IO_DEVICE));
    ExpectNothingOpen();
}

TEST_F(OpenImageTest, SizeLimits) {
    std::string small = WriteImage("511.dsk", std::vector<std::uint8_t>(511, 0));
    EXPECT_FALSE(OpenImage(s, kMainWindow, small));
    ExpectOneStop(LoadText(20));
    ExpectNothingOpen();

    ui.Clear();
    std::string exact = WriteImage("512.dsk", std::vector<std::uint8_t>(512, 0));
    EXPECT_TRUE(OpenImage(s, kMainWindow, exact)) << "512 bytes without a header open";
    EXPECT_EQ(s.doc.size, 512u);

    ui.Clear();
    std::string huge = dir.File("4g.dsk");
    {
        std::uint32_t error = 0;
        HostFile f = HostFile::Open(huge, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, 0, error);
        std::uint64_t done = 0;
        ASSERT_TRUE(f.SetPosition(0xFFFFFFFFull, error));  // 4 GiB exactly, sparse
        ASSERT_TRUE(f.Write("x", 1, done, error));
    }
    EXPECT_FALSE(OpenImage(s, kMainWindow, huge));
    ExpectOneStop(LoadText(19));
    ExpectNothingOpen();
}

TEST_F(OpenImageTest, MissingMemoryForTheImageIsReportedWithTheSize) {
    OpenPrevious();
    std::string path = WriteBlankImage("a.dsk");
    test::FaultPlan plan;
    plan.failAllocation = [](std::size_t n) { return n == 737280; };
    test::ScopedFaults faults(plan);
    EXPECT_FALSE(OpenImage(s, kMainWindow, path));
    ExpectOneStop("Not enough memory for image (737280 Bytes required)!");
    ExpectNothingOpen();
}

TEST_F(OpenImageTest, AFailingOrShortReadShowsTheSystemText) {
    std::string path = WriteBlankImage("a.dsk");
    {
        test::FaultPlan plan;
        plan.failRead = test::OnFile(path);
        test::ScopedFaults faults(plan);
        EXPECT_FALSE(OpenImage(s, kMainWindow, path));
        ExpectOneStop(path + "\n" + SystemErrorText(ERROR_IO_DEVICE));
        ExpectNothingOpen();
    }
    ui.Clear();
    {
        test::FaultPlan plan;
        plan.readCap = 4096;
        plan.endReadEarly = [path, calls = 0](int fd) mutable { return test::OnFile(path)(fd) && ++calls > 3; };
        test::ScopedFaults faults(plan);
        EXPECT_FALSE(OpenImage(s, kMainWindow, path));
        ExpectOneStop(path + "\n" + SystemErrorText(ERROR_HANDLE_EOF));
        ExpectNothingOpen();
    }
}

TEST_F(OpenImageTest, ACommentHeaderIsShownAndTheVolumeFollowsIt) {
    std::vector<std::uint8_t> bytes(46, 0);
    bytes[0] = 0xAA;
    bytes[1] = 0x59;
    std::memcpy(&bytes[40], "Hello", 5);
    std::vector<std::uint8_t> volume = BlankImage(0xF9);
    bytes.insert(bytes.end(), volume.begin(), volume.end());
    std::string path = WriteImage("c.dsk", bytes);

    ASSERT_TRUE(OpenImage(s, kMainWindow, path));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Last().text, "Hello");
    EXPECT_EQ(ui.Last().caption, "Disk-image comment");
    EXPECT_EQ(ui.Last().style, MB_ICONINFORMATION);
    EXPECT_EQ(s.doc.bootOffset, 46u);
    EXPECT_EQ(s.doc.size, 46u + 737280u);
    EXPECT_EQ(s.doc.geometry.totalSectors, 1440u);
}

TEST_F(OpenImageTest, CompressedImagesAndHeadersWithoutRoomAreRefused) {
    std::vector<std::uint8_t> bytes = BlankImage(0xF9);
    bytes.insert(bytes.begin(), 46, 0);
    bytes[0] = 0xAA;
    bytes[1] = 0x5A;
    std::memcpy(&bytes[40], "Hello", 5);
    bytes[6] = 1;
    EXPECT_FALSE(OpenImage(s, kMainWindow, WriteImage("z.dsk", bytes)));
    ExpectOneStop(LoadText(54));
    ExpectNothingOpen();

    ui.Clear();
    std::vector<std::uint8_t> noEnd(2000, 'x');  // the comment never ends
    noEnd[0] = 0xAA;
    noEnd[1] = 0x59;
    std::memset(&noEnd[2], 0, 38);
    EXPECT_FALSE(OpenImage(s, kMainWindow, WriteImage("noend.dsk", noEnd)));
    ExpectOneStop(LoadText(20));

    ui.Clear();
    std::vector<std::uint8_t> shortVolume(46 + 511, 0);  // one byte short of a sector
    shortVolume[0] = 0xAA;
    shortVolume[1] = 0x59;
    std::memcpy(&shortVolume[40], "Hello", 5);
    EXPECT_FALSE(OpenImage(s, kMainWindow, WriteImage("short.dsk", shortVolume)));
    ExpectOneStop(LoadText(20));
    ExpectNothingOpen();
}

TEST_F(OpenImageTest, TheSavePromptDecidesWhetherTheOpenGoesOn) {
    OpenPrevious();
    std::string other = WriteBlankImage("other.dsk", 0xF0);
    s.doc.modified = true;

    ui.answers.push_back(IDCANCEL);
    EXPECT_FALSE(OpenImage(s, kMainWindow, other));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Last().text, LoadText(8));
    EXPECT_EQ(ui.Last().style, MB_YESNOCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(s.doc.path, dir.File("previous.dsk"));
    EXPECT_TRUE(s.doc.modified);

    ui.answers.push_back(IDNO);
    EXPECT_TRUE(OpenImage(s, kMainWindow, other));
    EXPECT_EQ(s.doc.path, other);
    EXPECT_EQ(s.doc.size, 1474560u);
    EXPECT_FALSE(s.doc.modified);
}

}  // namespace
}  // namespace kv
