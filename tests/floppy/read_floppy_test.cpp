// The New disk-image dialog's work: blank images, and reading a floppy sector
// by sector with its questions, bad sectors, cancel and the adopted document.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "floppy/transfer.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/host_faults.h"

namespace kv::test {
namespace {

class ReadFloppyTest : public FloppyTest {
protected:
    // A 1.44 MB disk with the boot sector of a blank one, equal FAT copies and
    // the pattern everywhere else.
    std::vector<std::uint8_t> Disk144() {
        std::vector<std::uint8_t> disk = PatternDisk(2880);
        std::vector<std::uint8_t> blank = BlankImage(0xF0);
        std::copy(blank.begin(), blank.begin() + 512, disk.begin());
        std::copy(disk.begin() + 512, disk.begin() + 10 * 512, disk.begin() + 10 * 512);
        return disk;
    }
    // Runs the dialog on drive A: (format code 0: none chosen) with the answers given.
    bool Create(std::deque<int> answers, std::uint32_t format = 0, TransferSummary* summary = nullptr,
                bool copyFromDisk = true) {
        ui.answers = std::move(answers);
        NewImageDialog d;
        d.window = DialogWindow();
        d.copyFromDisk = copyFromDisk;
        d.driveLine = "A: [fake]";
        d.useFormat = format != 0;
        d.formats = FillFormatList(s.formats);
        auto chosen = std::find_if(d.formats.lines.begin(), d.formats.lines.end(),
                                   [format](const FormatLine& line) { return line.itemData == format; });
        d.formats.selected = static_cast<int>(chosen - d.formats.lines.begin());
        d.createProgress = Factory();
        return CreateNewImage(s, d, summary);
    }
    void SetUp() override { fake.disk = Disk144(); }
    // After Yes to the warning: the calls made, then `text` as an error that
    // the dialog owns, and no image.
    void ExpectNoImage(const std::string& text, const std::vector<std::string>& calls) {
        EXPECT_FALSE(Create({IDYES}));
        EXPECT_EQ(fake.calls, calls);
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_TRUE(ui.Showed(text, MB_ICONHAND, false));
        EXPECT_EQ(ui.Last().owner, DialogWindow());
        EXPECT_FALSE(s.doc.IsOpen());
        EXPECT_EQ(progress.destroyed, progress.created);
    }
};

TEST_F(ReadFloppyTest, WithoutFormatReadsBootSectorFirstAndAdoptsAnIdenticalUntitledImage) {
    TransferSummary summary;
    ASSERT_TRUE(Create({IDYES}, 0, &summary));

    // String 52, No as default, then nothing else.
    EXPECT_TRUE(ui.Showed(LoadText(52), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(ui.Last().owner, DialogWindow());

    ASSERT_EQ(fake.calls.size(), 2880u + 2);
    EXPECT_EQ(fake.calls.front(), "open ro");
    for (std::uint32_t n = 0; n < 2880; ++n) EXPECT_EQ(fake.calls[n + 1], "read " + std::to_string(n));
    EXPECT_EQ(fake.calls.back(), "close");

    EXPECT_EQ(DocumentBytes(), fake.disk);
    EXPECT_FALSE(s.doc.modified);
    EXPECT_EQ(s.doc.geometry.sectorsPerTrack, 18u);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
    EXPECT_EQ(listings, 1);
    EXPECT_TRUE(ui.listEnabled);
    EXPECT_FALSE(HasMediaErrors(s.doc.errors));
    EXPECT_EQ(summary.sectors, 2880u);

    // The capacity is known only after sector 0; the progress runs 0 % to 99 %.
    EXPECT_EQ(progress.kinds, std::vector<TransferKind>{TransferKind::Read});
    EXPECT_EQ(progress.driveTexts, (std::vector<std::string>{"Disk in A:, capacity is 0 KBytes",
                                                             "Disk in A:, capacity is 1440 KBytes"}));
    ASSERT_EQ(progress.percents.size(), 2879u);
    EXPECT_EQ(progress.percents.front(), 0u);
    EXPECT_EQ(progress.percents.back(), 99u);
    EXPECT_EQ(progress.destroyed, 1);
}

TEST_F(ReadFloppyTest, ChosenFormatReadsItsSectorsAndTakesItsGeometryWhateverTheBootSectorSays) {
    ASSERT_TRUE(Create({IDYES, IDNO}, 0xF9));  // the boot sector says 2880 sectors, 1 per cluster
    // With the row's 3 sectors per FAT the disk's FAT copies differ: the row's
    // boot sector counts as valid, so they are checked.
    EXPECT_EQ(ui.Last().text, LoadText(22));
    EXPECT_EQ(fake.Count("read "), 1440);
    EXPECT_EQ(fake.calls[1], "read 0");
    const DiskFormat& row = FindDiskFormat(s.formats, 0xF9);
    EXPECT_EQ(std::memcmp(&s.doc.geometry, &row, sizeof row), 0);
    EXPECT_EQ(progress.driveTexts.front(), "Disk in A:, capacity is 720 KBytes");
    EXPECT_EQ(DocumentBytes(), std::vector<std::uint8_t>(fake.disk.begin(), fake.disk.begin() + 737280));
}

TEST_F(ReadFloppyTest, DriveThatCannotBeOpenedIsReportedWithItsLine) {
    fake.openError = ERROR_NOT_READY;
    ExpectNoImage("A: [fake]\n" + SystemErrorText(ERROR_NOT_READY), {"open ro"});
    EXPECT_TRUE(s.transferCancelled);
    EXPECT_EQ(progress.created, 0);
}

TEST_F(ReadFloppyTest, UnreadableBootSectorShowsTheErrorWithoutPrefix) {
    fake.failingReads[0] = -1;
    ExpectNoImage(SystemErrorText(ERROR_CRC), {"open ro", "read 0", "close"});
}

TEST_F(ReadFloppyTest, BootSectorWithoutSectorsEndsWithTheNotSupportedMessage) {
    WriteWord(fake.disk.data() + boot::kTotalSectors, 0);
    std::memcpy(fake.disk.data() + boot::kFileSystemType, "FAT16   ", 8);
    ExpectNoImage("Filesystem is not supported or corrupted!\n(Korvane does support FAT12 disks only)\n\n"
                  "Recognized filesystem is: FAT16   ",
                  {"open ro", "read 0", "close"});
}

TEST_F(ReadFloppyTest, NoToTheWarningReadsNothing) {
    EXPECT_FALSE(Create({IDNO}));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ReadFloppyTest, ImageThatCannotBeAllocatedIsReportedAsError8) {
    FaultPlan plan;
    plan.failAllocation = [](std::size_t size) { return size >= 1474560; };
    ScopedFaults faults(plan);
    EXPECT_FALSE(Create({IDYES}));
    EXPECT_EQ(ui.Last().text, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(fake.calls.back(), "close");
}

TEST_F(ReadFloppyTest, UnreadableSectorIsTheUsersToIgnoreRetryOrAbort) {
    const std::string question = "Disk sector 17 cannot be read!\n" + SystemErrorText(ERROR_CRC);
    const std::uint32_t style = MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2;
    fake.failingReads[17] = -1;
    TransferSummary summary;
    ASSERT_TRUE(Create({IDYES, IDIGNORE, IDNO}, 0, &summary));
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[1].text, question);
    EXPECT_EQ(ui.messages[1].caption, "Korvane");
    EXPECT_EQ(ui.messages[1].style, style);
    EXPECT_EQ(ui.messages[1].owner, ProgressWindow());
    // Sector 17 lies in the second FAT copy, which now differs from the first.
    EXPECT_EQ(ui.messages[2].text, LoadText(22));
    std::vector<std::uint8_t> expected = fake.disk;
    std::memset(expected.data() + 17 * 512, 0, 512);
    EXPECT_EQ(DocumentBytes(), expected);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 2880), std::vector<std::uint32_t>{17});
    EXPECT_EQ(summary.ignored, std::vector<std::uint32_t>{17});
    EXPECT_EQ(summary.sectors, 2879u);

    // Retry reads the sector again.
    CloseImage(s, kMainWindow);
    fake.calls.clear();
    fake.failingReads[17] = 2;  // fails twice, then reads
    ASSERT_TRUE(Create({IDYES, IDRETRY, IDRETRY}));
    EXPECT_EQ(fake.Count("read 17"), 3);
    EXPECT_EQ(DocumentBytes(), fake.disk);
    EXPECT_FALSE(HasMediaErrors(s.doc.errors));

    // Abort discards the image without a further message.
    CloseImage(s, kMainWindow);
    ui.Clear();
    listings = 0;
    fake.calls.clear();
    fake.failingReads[17] = -1;
    EXPECT_FALSE(Create({IDYES, IDABORT}));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.Last().text, question);
    EXPECT_EQ(ui.Last().style, style);
    EXPECT_EQ(fake.Count("read 18"), 0);
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_FALSE(s.doc.IsOpen());
    EXPECT_EQ(listings, 0);
}

TEST_F(ReadFloppyTest, CancelStopsBeforeTheNextSector) {
    progress.cancelAtPump = 5;  // pressed while sector 5 is about to be read
    EXPECT_FALSE(Create({IDYES}));
    EXPECT_EQ(fake.Count("read 5"), 1);
    EXPECT_EQ(fake.Count("read 6"), 0);
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_EQ(ui.messages.size(), 1u);  // string 52 only
    EXPECT_TRUE(s.transferCancelled);
    EXPECT_FALSE(s.doc.IsOpen());
}

TEST_F(ReadFloppyTest, BlankImageOfTheChosenFormat) {
    ASSERT_TRUE(Create({}, 0xF9, nullptr, false));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(s.doc.size, 737280u);
    EXPECT_EQ(s.doc.errors.byteCount, 20u + 180u);
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
}

TEST(FormatListTest, OffersTheRowsThenCustomWith720KSelectedAndCustomRunsItsDialog) {
    NewImageDialog d;
    d.formats = FillFormatList(FormatTable());
    std::vector<std::uint32_t> data;
    for (const FormatLine& line : d.formats.lines) data.push_back(line.itemData);
    EXPECT_EQ(data, (std::vector<std::uint32_t>{0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0}));
    EXPECT_EQ(d.formats.lines[0].text, LoadText(49));
    EXPECT_EQ(d.formats.lines.back().text, "Custom...");
    EXPECT_EQ(d.formats.selected, 2);
    EXPECT_EQ(GetSelectedFormat(d), 0xF9);

    d.formats.selected = static_cast<int>(d.formats.lines.size() - 1);
    int runs = 0, result = 1;
    d.runCustomFormatDialog = [&] { return ++runs, result; };
    EXPECT_EQ(GetSelectedFormat(d), 256);
    result = 0;
    EXPECT_EQ(GetSelectedFormat(d), -1);
    EXPECT_EQ(runs, 2);
    d.formats.selected = -1;
    EXPECT_EQ(GetSelectedFormat(d), -1);
}

}  // namespace
}  // namespace kv::test
