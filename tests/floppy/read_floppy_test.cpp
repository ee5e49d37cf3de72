// The New disk-image dialog's work: blank images, and reading a floppy sector
// by sector with its questions, bad sectors, cancel and the adopted document.
#include <gtest/gtest.h>

#include <cstring>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "floppy/transfer.h"
#include "platform/errors.h"
#include "platform/host_calls.h"
#include "platform/string_table.h"
#include "tests/floppy/fake_floppy.h"

namespace kv::test {
namespace {

const std::string kNotSupported =
    "Filesystem is not supported or corrupted!\n(Korvane does support FAT12 disks only)\n\nRecognized filesystem is: ";

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
    NewImageDialog Dialog(bool useFormat = false, std::uint32_t media = 0) {
        NewImageDialog d;
        d.window = DialogWindow();
        d.copyFromDisk = true;
        d.driveLine = "A: [fake]";
        d.useFormat = useFormat;
        d.formats = FillFormatList(s.formats);
        for (std::size_t i = 0; i < d.formats.lines.size(); ++i) {
            if (useFormat && d.formats.lines[i].itemData == media) d.formats.selected = static_cast<int>(i);
        }
        d.createProgress = Factory();
        return d;
    }
};

TEST_F(ReadFloppyTest, WithoutFormatReadsBootSectorFirstAndAdoptsAnIdenticalUntitledImage) {
    fake.disk = Disk144();
    ui.answers = {IDYES};
    NewImageDialog d = Dialog();
    TransferSummary summary;
    ASSERT_TRUE(CreateNewImage(s, d, &summary));

    // String 52, No as default, then nothing else.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, LoadText(52));
    EXPECT_EQ(ui.messages[0].style, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(ui.messages[0].owner, DialogWindow());

    ASSERT_EQ(fake.calls.size(), 2880u + 2);
    EXPECT_EQ(fake.calls.front(), "open ro");
    for (std::uint32_t n = 0; n < 2880; ++n) EXPECT_EQ(fake.calls[n + 1], "read " + std::to_string(n));
    EXPECT_EQ(fake.calls.back(), "close");

    EXPECT_EQ(DocumentBytes(), fake.disk);
    EXPECT_EQ(s.doc.size, 1474560u);
    EXPECT_EQ(s.doc.path, "Untitled");
    EXPECT_FALSE(s.doc.file.IsOpen());
    EXPECT_FALSE(s.doc.modified);
    EXPECT_EQ(s.doc.geometry.totalSectors, 2880u);
    EXPECT_EQ(s.doc.geometry.sectorsPerTrack, 18u);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
    EXPECT_EQ(listings, 1);
    EXPECT_TRUE(list.IsEnabled());
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
    fake.disk = Disk144();  // the boot sector says 2880 sectors, 1 per cluster
    ui.answers = {IDYES, IDNO};
    NewImageDialog d = Dialog(true, 0xF9);
    ASSERT_TRUE(CreateNewImage(s, d));
    // With the row's 3 sectors per FAT the disk's FAT copies differ: the row's
    // boot sector counts as valid, so they are checked.
    EXPECT_EQ(ui.Last().text, LoadText(22));

    EXPECT_EQ(fake.CountStarting("read "), 1440);
    EXPECT_EQ(fake.calls[1], "read 0");
    EXPECT_EQ(s.doc.size, 737280u);
    const DiskFormat& row = FindDiskFormat(s.formats, 0xF9);
    EXPECT_EQ(std::memcmp(&s.doc.geometry, &row, sizeof row), 0);
    EXPECT_EQ(progress.driveTexts.front(), "Disk in A:, capacity is 720 KBytes");
    std::vector<std::uint8_t> first(fake.disk.begin(), fake.disk.begin() + 737280);
    EXPECT_EQ(DocumentBytes(), first);
}

TEST_F(ReadFloppyTest, BootSectorWithoutSectorsEndsWithTheNotSupportedMessage) {
    fake.disk = Disk144();
    WriteWord(fake.disk.data() + boot::kTotalSectors, 0);
    std::memcpy(fake.disk.data() + boot::kFileSystemType, "FAT16   ", 8);
    ui.answers = {IDYES};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));

    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open ro", "read 0", "close"}));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.Last().text, kNotSupported + "FAT16   ");
    EXPECT_EQ(ui.Last().caption, "Korvane");
    EXPECT_EQ(ui.Last().style, MB_ICONHAND);
    EXPECT_EQ(ui.Last().owner, DialogWindow());
    EXPECT_FALSE(s.doc.IsOpen());
    EXPECT_EQ(progress.destroyed, progress.created);
}

TEST_F(ReadFloppyTest, UnreadableBootSectorShowsTheErrorWithoutPrefix) {
    fake.disk = Disk144();
    fake.failingReads[0] = -1;
    ui.answers = {IDYES};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));
    EXPECT_TRUE(ui.Showed(SystemErrorText(ERROR_CRC), MB_ICONHAND, false));
    EXPECT_FALSE(s.doc.IsOpen());
}

class SectorErrorTest : public ReadFloppyTest {
protected:
    void SetUp() override {
        fake.disk = Disk144();
        fake.failingReads[17] = -1;
    }
    void ExpectSectorQuestion(const RecordedMessage& m) {
        EXPECT_EQ(m.text, "Disk sector 17 cannot be read!\n" + SystemErrorText(ERROR_CRC));
        EXPECT_EQ(m.caption, "Korvane");
        EXPECT_EQ(m.style, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
        EXPECT_EQ(m.owner, ProgressWindow());
    }
};

TEST_F(SectorErrorTest, IgnoreLeavesTheSectorZeroAndMarksIt) {
    ui.answers = {IDYES, IDIGNORE, IDNO};
    NewImageDialog d = Dialog();
    TransferSummary summary;
    ASSERT_TRUE(CreateNewImage(s, d, &summary));
    ASSERT_EQ(ui.messages.size(), 3u);
    ExpectSectorQuestion(ui.messages[1]);
    // Sector 17 lies in the second FAT copy, which now differs from the first.
    EXPECT_EQ(ui.messages[2].text, LoadText(22));

    std::vector<std::uint8_t> bytes = DocumentBytes();
    for (std::size_t i = 8704; i < 9216; ++i) ASSERT_EQ(bytes[i], 0) << i;
    std::vector<std::uint8_t> expected = fake.disk;
    std::memset(expected.data() + 8704, 0, 512);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 2880), std::vector<std::uint32_t>{17});
    EXPECT_EQ(summary.ignored, std::vector<std::uint32_t>{17});
    EXPECT_EQ(summary.sectors, 2879u);
}

TEST_F(SectorErrorTest, RetryReadsTheSectorAgain) {
    fake.failingReads[17] = 2;  // fails twice, then reads
    ui.answers = {IDYES, IDRETRY, IDRETRY};
    NewImageDialog d = Dialog();
    ASSERT_TRUE(CreateNewImage(s, d));
    EXPECT_EQ(fake.Count("read 17"), 3);
    EXPECT_EQ(DocumentBytes(), fake.disk);
    EXPECT_FALSE(HasMediaErrors(s.doc.errors));
}

TEST_F(SectorErrorTest, AbortDiscardsTheImageWithoutAFurtherMessage) {
    ui.answers = {IDYES, IDABORT};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));
    ASSERT_EQ(ui.messages.size(), 2u);
    ExpectSectorQuestion(ui.messages[1]);
    EXPECT_EQ(fake.Count("read 18"), 0);
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_FALSE(s.doc.IsOpen());
    EXPECT_EQ(listings, 0);
}

TEST_F(ReadFloppyTest, CancelStopsBeforeTheNextSector) {
    fake.disk = Disk144();
    progress.cancelAtPump = 5;  // pressed while sector 5 is about to be read
    ui.answers = {IDYES};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));
    EXPECT_EQ(fake.Count("read 5"), 1);
    EXPECT_EQ(fake.Count("read 6"), 0);
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_EQ(ui.messages.size(), 1u);  // string 52 only
    EXPECT_TRUE(s.transferCancelled);
    EXPECT_FALSE(s.doc.IsOpen());
}

TEST_F(ReadFloppyTest, DriveThatCannotBeOpenedIsReportedWithItsLine) {
    fake.openError = ERROR_NOT_READY;
    ui.answers = {IDYES};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));
    EXPECT_TRUE(ui.Showed("A: [fake]\n" + SystemErrorText(ERROR_NOT_READY), MB_ICONHAND, false));
    EXPECT_TRUE(s.transferCancelled);
    EXPECT_EQ(progress.created, 0);
}

TEST_F(ReadFloppyTest, NoToTheWarningReadsNothing) {
    ui.answers = {IDNO};
    NewImageDialog d = Dialog();
    EXPECT_FALSE(CreateNewImage(s, d));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ReadFloppyTest, ImageThatCannotBeAllocatedIsReportedAsError8) {
    fake.disk = Disk144();
    ui.answers = {IDYES};
    HostCalls saved = Host();
    Host().allocate = [](std::size_t size) -> void* { return size >= 1474560 ? nullptr : std::malloc(size); };
    NewImageDialog d = Dialog();
    bool ok = CreateNewImage(s, d);
    Host() = saved;
    EXPECT_FALSE(ok);
    EXPECT_EQ(ui.Last().text, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(fake.calls.back(), "close");
}

TEST_F(ReadFloppyTest, BlankImageOfTheChosenFormat) {
    NewImageDialog d = Dialog(true, 0xF9);
    d.copyFromDisk = false;
    ASSERT_TRUE(CreateNewImage(s, d));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(s.doc.size, 737280u);
    EXPECT_EQ(s.doc.path, "Untitled");
    EXPECT_EQ(s.doc.errors.byteCount, 20u + 180u);
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
}

TEST(FormatListTest, OffersTheRowsWithSectorsThenCustomWith720KSelected) {
    FormatTable table;
    FormatList list = FillFormatList(table);
    std::vector<std::uint32_t> data;
    for (const FormatLine& line : list.lines) data.push_back(line.itemData);
    EXPECT_EQ(data, (std::vector<std::uint32_t>{0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0}));
    EXPECT_EQ(list.lines[0].text, LoadText(49));
    EXPECT_EQ(list.lines.back().text, "Custom...");
    EXPECT_EQ(list.selected, 2);
}

TEST(FormatListTest, CustomLineRunsTheCustomDialog) {
    NewImageDialog d;
    d.formats = FillFormatList(FormatTable());
    d.formats.selected = static_cast<int>(d.formats.lines.size() - 1);
    int runs = 0;
    int result = 1;
    d.runCustomFormatDialog = [&] {
        ++runs;
        return result;
    };
    EXPECT_EQ(GetSelectedFormat(d), 256);
    result = 0;
    EXPECT_EQ(GetSelectedFormat(d), -1);
    EXPECT_EQ(runs, 2);
    d.formats.selected = -1;
    EXPECT_EQ(GetSelectedFormat(d), -1);
}

}  // namespace
}  // namespace kv::test
