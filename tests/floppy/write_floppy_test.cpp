// The Write to disk dialog's work: formatting every track in the first half of
// the progress, writing every sector in the second, and what failures do.
#include <gtest/gtest.h>

#include <cstring>

#include "document/boot_sector.h"
#include "floppy/transfer.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/floppy/fake_floppy.h"

namespace kv::test {
namespace {

class WriteFloppyTest : public FloppyTest {
protected:
    // Opens an untitled image of `code` whose volume (behind `header` bytes of
    // comment) holds the pattern.
    void OpenImage(std::uint32_t code, std::uint32_t header = 0) {
        const DiskFormat& row = FindDiskFormat(s.formats, code);
        std::vector<std::uint8_t> volume = PatternDisk(row.totalSectors);
        std::uint32_t size = header + static_cast<std::uint32_t>(volume.size());
        Bytes data = AllocateBytes(size);
        std::memset(data.get(), 'C', header);
        std::memcpy(data.get() + header, volume.data(), volume.size());
        AdoptUntitledImage(s, std::move(data), size);
        s.doc.bootOffset = header;
        s.doc.geometry = row;
        CreateMediaErrorList(s.doc.errors, row.totalSectors);
    }
    bool Write(bool format, std::uint32_t drive = 0, TransferSummary* summary = nullptr) {
        WriteDialog d;
        d.window = DialogWindow();
        d.formatDisk = format;
        d.createProgress = Factory();
        return WriteImageToFloppy(s, d, drive, summary);
    }
};

TEST_F(WriteFloppyTest, WithoutFormattingWritesEverySectorOfTheVolumeInOrder) {
    OpenImage(0xF9, 300);  // behind a comment header, which is not written
    TransferSummary summary;
    ASSERT_TRUE(Write(false, 0, &summary));

    ASSERT_EQ(fake.calls.size(), 1440u + 2);
    EXPECT_EQ(fake.calls.front(), "open rw");
    for (std::uint32_t n = 0; n < 1440; ++n) ASSERT_EQ(fake.calls[n + 1], "write " + std::to_string(n));
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_EQ(fake.disk, std::vector<std::uint8_t>(s.doc.data.get() + 300, s.doc.data.get() + 300 + 737280));
    EXPECT_EQ(progress.kinds, std::vector<TransferKind>{TransferKind::Write});
    EXPECT_EQ(progress.percents.front(), 0u);
    EXPECT_EQ(progress.percents.back(), 99u);
    EXPECT_EQ(progress.driveTexts.back(), "Disk in A:, capacity is 720 KBytes");
    EXPECT_EQ(progress.destroyed, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.cursors, (std::vector<Cursor>{Cursor::Wait, Cursor::Arrow}));
    EXPECT_EQ(summary.sectors, 1440u);
}

TEST_F(WriteFloppyTest, FormattingComesFirstOverTheFirstHalfOfTheProgress) {
    OpenImage(0xF0);
    TransferSummary summary;
    ASSERT_TRUE(Write(true, 0, &summary));

    ASSERT_EQ(fake.calls.size(), 1 + 1 + 160 + 2880 + 1u);
    EXPECT_EQ(fake.calls[1], "prepare 80x2x18");
    for (std::uint32_t track = 0; track < 160; ++track) {
        ASSERT_EQ(fake.calls[2 + track], "format " + std::to_string(track / 2) + "/" + std::to_string(track % 2) +
                                             " 18 mt2");
    }
    EXPECT_EQ(fake.calls[162], "write 0");
    EXPECT_EQ(summary.tracksFormatted, 160u);
    EXPECT_EQ(fake.disk, DocumentBytes());

    // 160 track steps from 0 % to 49 %, then 2880 sector steps from 50 % to 99 %.
    ASSERT_EQ(progress.percents.size(), 160u + 2880u);
    EXPECT_EQ(progress.percents[0], 0u);
    EXPECT_EQ(progress.percents[159], 49u);
    EXPECT_EQ(progress.percents[160], 50u);
    EXPECT_EQ(progress.percents.back(), 99u);
}

TEST_F(WriteFloppyTest, FormatFailureWritesNothingAndReportsTheDrive) {
    OpenImage(0xF0);
    fake.failingTrack = std::make_pair(3u, 1u);
    EXPECT_FALSE(Write(true));
    EXPECT_EQ(fake.Count("format "), 8);
    EXPECT_EQ(fake.calls[9], "format 3/1 18 mt2");
    EXPECT_EQ(fake.Count("write "), 0);
    EXPECT_EQ(fake.calls.back(), "close");
    EXPECT_TRUE(ui.Showed("A:\n" + SystemErrorText(ERROR_SECTOR_NOT_FOUND), MB_ICONHAND));
    EXPECT_EQ(ui.Last().owner, ProgressWindow());
    EXPECT_EQ(progress.destroyed, 1);

    // A drive that cannot format at all is refused before the first track.
    fake.calls.clear();
    ui.Clear();
    fake.prepareError = kErrorCannotFormatTracks;
    EXPECT_FALSE(Write(true));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open rw", "prepare 80x2x18", "close"}));
    EXPECT_TRUE(ui.Showed("A:\n" + SystemErrorText(kErrorCannotFormatTracks), MB_ICONHAND));
}

TEST_F(WriteFloppyTest, SectorErrorsAreTheUsersToRetryIgnoreOrAbort) {
    OpenImage(0xF9);
    fake.failingWrites = {{5, -1}, {9, 1}};
    ui.answers = {IDIGNORE, IDRETRY};
    TransferSummary summary;
    ASSERT_TRUE(Write(false, 1, &summary));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Disk sector 5 cannot be written!\n" + SystemErrorText(ERROR_WRITE_FAULT));
    EXPECT_EQ(ui.messages[0].style, MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    EXPECT_EQ(ui.messages[0].owner, ProgressWindow());
    EXPECT_EQ(fake.Count("write 9"), 2);
    EXPECT_EQ(summary.ignored, std::vector<std::uint32_t>{5});
    EXPECT_EQ(summary.sectors, 1439u);
    EXPECT_EQ(fake.Count("write "), 1441);

    // Abort stops at once and still counts as a completed write.
    fake.calls.clear();
    fake.failingWrites = {{2, -1}};
    ui.answers = {IDABORT};
    ASSERT_TRUE(Write(false, 1));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open rw", "write 0", "write 1", "write 2", "close"}));
}

TEST_F(WriteFloppyTest, DriveThatCannotBeOpenedIsReportedWithItsLetter) {
    OpenImage(0xF9);
    fake.openError = ERROR_WRITE_PROTECT;
    EXPECT_FALSE(Write(false, 1));
    EXPECT_EQ(ui.Last().text, "B:\n" + SystemErrorText(ERROR_WRITE_PROTECT));
    EXPECT_EQ(fake.calls, std::vector<std::string>{"open rw"});
    EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
}

TEST_F(WriteFloppyTest, GeometryWithoutTracksIsNotFormattedButCanBeWritten) {
    OpenImage(0xF9);
    s.doc.geometry.sectorsPerTrack = 0;
    EXPECT_FALSE(Write(true));
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(ui.Showed("The disk-image has no track layout (0 sectors per track, 2 heads), so its tracks cannot "
                          "be formatted.\nWrite it without formatting the disk.",
                          MB_ICONHAND));
    EXPECT_TRUE(Write(false));
    EXPECT_EQ(fake.Count("write "), 1440);
}

TEST_F(WriteFloppyTest, CancelDuringFormattingWritesNothingAndSucceeds) {
    OpenImage(0xF0);
    progress.cancelAtPump = 3;
    EXPECT_TRUE(Write(true));
    EXPECT_EQ(fake.Count("format "), 3);
    EXPECT_EQ(fake.Count("write "), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WriteFloppyTest, CommandWarnsAboutRecordedMediaErrorsFirst) {
    OpenImage(0xF9);
    int runs = 0;
    auto dialog = [&] { return ++runs; };
    EXPECT_TRUE(WriteImageCommand(s, DialogWindow(), dialog));
    EXPECT_TRUE(ui.messages.empty());
    MarkBadSector(s.doc.errors, 17);
    EXPECT_TRUE(WriteImageCommand(s, DialogWindow(), dialog));
    EXPECT_TRUE(ui.Showed(LoadText(43), MB_ICONEXCLAMATION));
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(WriteImageCommand(s, DialogWindow(), [] { return 0; }));
}

}  // namespace
}  // namespace kv::test
