// The device layer's rules, and the New disk-image and Write to disk dialogs'
// transfers: progress, bad sectors, cancel, failures.
#include <gtest/gtest.h>

#include <deque>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "floppy/transfer.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv::test {
namespace {

const int kProgressTag = 1, kDialogTag = 2;
const WindowRef kProgress = &kProgressTag, kDialog = &kDialogTag;
const std::uint32_t kSectorQuestion = MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

// Drive A: holds a 1.44 MB disk: a blank boot sector, FAT copies that agree for the
// 1.44 MB and the 720 KB layouts, the pattern elsewhere.
class TransferTest : public SessionFixture {
protected:
    // Records what the progress windows showed; Cancel is pressed at pump `cancelAtPump`.
    struct Progress final : ProgressSink {
        TransferTest& t;
        explicit Progress(TransferTest& test) : t(test) { ++t.created; }
        ~Progress() override { ++t.destroyed; }
        void SetDriveText(const std::string& text) override { t.driveTexts.push_back(text); }
        void SetPercent(std::uint32_t percent) override { t.percents.push_back(percent); }
        void PumpMessages() override {
            if (++t.pumps == t.cancelAtPump) t.s.transferCancelled = true;
        }
        WindowRef Window() const override { return kProgress; }
    };
    FakeFloppy fake;
    ScopedFloppyBackend installed{fake};
    int created = 0, destroyed = 0, pumps = 0, cancelAtPump = -1;
    std::vector<TransferKind> kinds;
    std::vector<std::string> driveTexts;
    std::vector<std::uint32_t> percents;
    TransferSummary summary;

    void SetUp() override {
        fake.disk = Pattern(2880 * 512);
        std::copy_n(BlankImage(0xF0).begin(), 512, fake.disk.begin());
        std::copy_n(fake.disk.begin() + 512, 3 * 512, fake.disk.begin() + 4 * 512);
        std::copy_n(fake.disk.begin() + 512, 9 * 512, fake.disk.begin() + 10 * 512);
    }
    ProgressFactory Factory() {
        return [this](TransferKind kind, WindowRef owner) -> std::unique_ptr<ProgressSink> {
            EXPECT_EQ(owner, kDialog);
            kinds.push_back(kind);
            return std::make_unique<Progress>(*this);
        };
    }
    // The New disk-image dialog on A: in format `code` (0: none), copying or blank.
    bool Read(std::deque<int> answers, std::uint32_t code = 0, bool copy = true) {
        ui.answers = std::move(answers);
        NewImageDialog d{kDialog, copy, "A: [fake]", code != 0, {{{"", code}}, 0}, {}, Factory()};
        return CreateNewImage(s, d, &summary);
    }
    // Opens a blank image of `code` behind a comment, which is not written.
    void OpenImage(std::uint32_t code) {
        OpenQuietly(WriteImage("image.dsk", WithComment(BlankImage(code))));
        listings = 0;
    }
    bool Write(bool format, std::uint32_t drive = 0) {
        WriteDialog d{kDialog, format, Factory()};
        return WriteImageToFloppy(s, d, drive, &summary);
    }
};

TEST_F(TransferTest, OpenResetsTheDeviceFailedReadsLeaveZerosAndAClosedDeviceRefusesEverything) {
    fake.failingReads[1] = fake.failingWrites[2] = -1;
    FloppyDevice device{0, 0, kInvalidDeviceHandle, 99, 1};
    ASSERT_TRUE(OpenFloppyDevice(device));
    EXPECT_EQ(device.mediaWritten + device.lastError, 0u);
    std::vector<std::uint8_t> buffer(512, 0xAB);
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer.data(), 1, 1), device, ERROR_CRC));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(512, 0));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer.data(), 2, 1), device, ERROR_WRITE_FAULT));
    EXPECT_EQ(device.mediaWritten, 1u);  // even a failed write may have changed the disk
    EXPECT_TRUE(ReadFloppySectors(device, buffer.data(), 0, 1) && device.lastError == 0);
    EXPECT_TRUE(CloseFloppyDevice(device));

    // Closed or never opened: nothing reaches the drive.
    fake.openError = ERROR_NOT_READY;
    device.handle = 5;
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(device), device, ERROR_NOT_READY));
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);
    fake.calls.clear();
    buffer.assign(512, 0xAB);
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer.data(), 0, 1), device, ERROR_INVALID_HANDLE));
    EXPECT_EQ(buffer[0], 0xAB);  // not even cleared
    EXPECT_FALSE(WriteFloppySectors(device, buffer.data(), 0, 1) || FormatFloppyTrack(device, 2, 18, 0, 0));
    EXPECT_EQ(device.mediaWritten, 0u);
    device.lastError = 1234;
    EXPECT_TRUE(FailedWith(CloseFloppyDevice(device), device, 1234u));
    EXPECT_TRUE(fake.calls.empty());
}

// Reading a 720 KB disk (Yes to the warning) and writing a 720 KB image: one sector loop.
class BothWaysTest : public TransferTest, public ::testing::WithParamInterface<bool> {
protected:
    const bool write = GetParam();
    const std::string verb = write ? "write " : "read ";

    bool Run(std::deque<int> answers, std::uint32_t drive = 0) {
        if (write) {
            OpenImage(0xF9);
            ui.answers = std::move(answers);
            return Write(false, drive);
        }
        answers.push_front(IDYES);
        return Read(std::move(answers), 0xF9);
    }
};
INSTANTIATE_TEST_SUITE_P(Directions, BothWaysTest, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "Write" : "Read"; });

TEST_P(BothWaysTest, MovesEverySectorOfTheVolumeInOrder) {
    ASSERT_TRUE(Run({}));
    ASSERT_EQ(fake.calls.size(), 1440u + 2);
    for (std::uint32_t n = 0; n < 1440; ++n) ASSERT_EQ(fake.calls[n + 1], verb + std::to_string(n));
    EXPECT_EQ(kinds, std::vector<TransferKind>{write ? TransferKind::Write : TransferKind::Read});
    EXPECT_EQ(std::make_pair(percents.front(), percents.back()), std::make_pair(0u, 99u));
    EXPECT_EQ(driveTexts.back(), "Disk in A:, capacity is 720 KBytes");
    if (write) {
        EXPECT_EQ(ui.cursors, (std::vector<Cursor>{Cursor::Wait, Cursor::Arrow}));
    } else {  // a chosen format's geometry is taken whatever the disk's boot sector says
        const DiskFormat& row = FindDiskFormat(s.formats, 0xF9);
        EXPECT_EQ(std::memcmp(&s.doc.geometry, &row, sizeof row), 0);
    }
}

TEST_P(BothWaysTest, BadSectorsAreTheUsersToIgnoreOrRetry) {
    (write ? fake.failingWrites : fake.failingReads) = {{5, -1}, {9, 1}};
    ASSERT_TRUE(Run({IDIGNORE, IDRETRY, IDNO}));
    const RecordedMessage& q = ui.messages.at(write ? 0 : 1);
    const std::string text = write ? "Disk sector 5 cannot be written!\n" + SystemErrorText(ERROR_WRITE_FAULT)
                                   : "Disk sector 5 cannot be read!\n" + SystemErrorText(ERROR_CRC);
    EXPECT_EQ(std::tie(q.text, q.style, q.owner), std::tie(text, kSectorQuestion, kProgress));
    EXPECT_EQ(fake.Count(verb + "9"), 2);
    EXPECT_EQ(summary.ignored, std::vector<std::uint32_t>{5});
    EXPECT_EQ(summary.sectors, 1439u);
    if (write) return;
    // The ignored sector, in the second FAT copy, stays zero and is marked.
    std::vector<std::uint8_t> expected(fake.disk.begin(), fake.disk.begin() + 737280);
    std::fill_n(expected.begin() + 5 * 512, 512, 0);
    EXPECT_EQ(DocumentBytes(), expected);
    EXPECT_EQ(ListBadSectors(s.doc.errors, 1440), std::vector<std::uint32_t>{5});
    EXPECT_EQ(ui.Last().text, LoadText(str::kFatBackupDiffers));
}

TEST_P(BothWaysTest, AbortStopsAtOnceAndOnlyAReadIsDiscarded) {
    (write ? fake.failingWrites : fake.failingReads)[2] = -1;
    EXPECT_EQ(Run({IDABORT}), write);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{fake.calls[0], verb + "0", verb + "1", verb + "2", "close"}));
    EXPECT_EQ(s.doc.IsOpen(), write);
    EXPECT_EQ(listings, 0);
}

TEST_P(BothWaysTest, CancelStopsBeforeTheNextSector) {
    cancelAtPump = 5;  // pressed while sector 4 is under way
    EXPECT_EQ(Run({}), write);
    EXPECT_EQ(fake.Count(verb), 5);
    EXPECT_EQ(ui.messages.size(), write ? 0u : 1u);
    EXPECT_EQ(s.doc.IsOpen(), write);
}

TEST_P(BothWaysTest, DriveThatCannotBeOpenedIsReportedByTheDialog) {
    fake.openError = ERROR_NOT_READY;
    EXPECT_FALSE(Run({}, 1));
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_TRUE(ui.Showed((write ? "B:\n" : "A: [fake]\n") + SystemErrorText(ERROR_NOT_READY), MB_ICONHAND, false));
    EXPECT_EQ(ui.Last().owner, write ? kProgress : kDialog);
    EXPECT_EQ(destroyed, created);
    EXPECT_TRUE(write ? ui.cursors.back() == Cursor::Arrow : s.transferCancelled.load());
}

TEST_F(TransferTest, ReadingAsksFirstAndWithoutAFormatTheBootSectorGivesTheSize) {
    EXPECT_FALSE(Read({IDNO}));
    EXPECT_TRUE(fake.calls.empty());
    ui.Clear();
    ASSERT_TRUE(Read({IDYES}));
    EXPECT_TRUE(ui.Showed(LoadText(str::kReadDiskWarning), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(ui.Last().owner, kDialog);
    EXPECT_EQ(fake.Count("read 0"), 1);
    EXPECT_EQ(DocumentBytes(), fake.disk);
    EXPECT_EQ(summary.sectors, 2880u);
    EXPECT_FALSE(s.doc.modified || HasMediaErrors(s.doc.errors));
    EXPECT_EQ(s.doc.geometry.sectorsPerTrack, 18u);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
    EXPECT_TRUE(ui.listEnabled && listings == 1);
    EXPECT_EQ(driveTexts,
              (std::vector<std::string>{"Disk in A:, capacity is 0 KBytes", "Disk in A:, capacity is 1440 KBytes"}));
}

TEST_F(TransferTest, DiskWithoutAReadableSizeMakesNoImage) {
    fake.failingReads[0] = 1;  // the boot sector cannot be read: the error without a prefix
    EXPECT_FALSE(Read({IDYES}));
    EXPECT_TRUE(ui.Showed(SystemErrorText(ERROR_CRC), MB_ICONHAND, false));
    WriteWord(fake.disk.data() + boot::kTotalSectors, 0);  // no sectors: another file system
    std::memcpy(fake.disk.data() + boot::kFileSystemType, "FAT16   ", 8);
    EXPECT_FALSE(Read({IDYES}));
    EXPECT_TRUE(
        ui.Showed("Filesystem is not supported or corrupted!\n(Korvane does support FAT12 disks only)\n\n"
                  "Recognized filesystem is: FAT16   ",
                  MB_ICONHAND, false));
    EXPECT_EQ(ui.Last().owner, kDialog);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open ro", "read 0", "close", "open ro", "read 0", "close"}));
    EXPECT_FALSE(s.doc.IsOpen());
    EXPECT_EQ(destroyed, 2);

    FaultPlan plan;
    plan.failAllocation = [](std::size_t size) { return size >= 1474560; };
    ScopedFaults faults(plan);
    WriteWord(fake.disk.data() + boot::kTotalSectors, 2880);
    EXPECT_FALSE(Read({IDYES}));
    EXPECT_EQ(ui.Last().text, SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(TransferTest, ABlankImageNeedsNoDrive) {
    ASSERT_TRUE(Read({}, 0xF9, false));
    EXPECT_TRUE(ui.messages.empty() && fake.calls.empty());
    EXPECT_EQ(s.doc.size, 737280u);
    EXPECT_EQ(s.doc.errors.byteCount, 20u + 180u);
    EXPECT_EQ(listings, 1);
}

TEST(FormatListTest, OffersTheRowsThenCustomWith720KSelectedAndCustomRunsItsDialog) {
    NewImageDialog d;
    d.formats = FillFormatList(FormatTable());
    std::vector<std::uint32_t> data;
    for (const FormatLine& line : d.formats.lines) data.push_back(line.itemData);
    EXPECT_EQ(data, (std::vector<std::uint32_t>{0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF, 0}));
    EXPECT_EQ(d.formats.lines[0].text, "2 sides, 80 tracks, 18 sectors/track (1.44 MBytes)");
    EXPECT_EQ(d.formats.lines.back().text, "Custom...");
    EXPECT_EQ(GetSelectedFormat(d), 0xF9);
    d.formats.selected = 9;
    int result = 1;
    d.runCustomFormatDialog = [&] { return result; };
    EXPECT_EQ(GetSelectedFormat(d), kCustomFormatCode);
    result = 0;
    EXPECT_EQ(GetSelectedFormat(d), -1);
    d.formats.selected = -1;
    EXPECT_EQ(GetSelectedFormat(d), -1);
}

TEST_F(TransferTest, FormattingTakesTheFirstHalfOfTheProgressAndAStopWritesNothing) {
    OpenImage(0xF0);
    ASSERT_TRUE(Write(true));
    ASSERT_EQ(fake.calls.size(), 1 + 1 + 160 + 2880 + 1u);
    EXPECT_EQ(fake.calls[1], "prepare 80x2x18");
    for (std::uint32_t t = 0; t < 160; ++t) {
        ASSERT_EQ(fake.calls[2 + t], "format " + std::to_string(t / 2) + "/" + std::to_string(t % 2) + " 18 mt2");
    }
    EXPECT_EQ(fake.calls[162], "write 0");
    EXPECT_EQ(summary.tracksFormatted, 160u);
    EXPECT_TRUE(std::equal(s.doc.Volume(), s.doc.Volume() + s.doc.VolumeLength(), fake.disk.begin()));
    ASSERT_EQ(percents.size(), 160u + 2880u);
    EXPECT_EQ(std::make_pair(percents[159], percents[160]), std::make_pair(49u, 50u));

    // Cancel while formatting: nothing is written, and that is no failure.
    fake.calls.clear();
    cancelAtPump = pumps + 3;
    EXPECT_TRUE(Write(true));
    EXPECT_EQ(fake.Count("format "), 3);
    EXPECT_EQ(fake.Count("write "), 0);
    EXPECT_TRUE(ui.messages.empty());

    // A failed track ends it, and the message names the drive.
    fake.calls.clear();
    fake.failingTrack = std::make_pair(3u, 1u);
    EXPECT_FALSE(Write(true));
    EXPECT_EQ(fake.Count("format "), 8);
    EXPECT_EQ(fake.Count("write "), 0);
    EXPECT_TRUE(ui.Showed("A:\n" + SystemErrorText(ERROR_SECTOR_NOT_FOUND), MB_ICONHAND));
    // A drive that cannot format at all is refused before the first track.
    fake.calls.clear();
    fake.prepareError = kErrorCannotFormatTracks;
    EXPECT_FALSE(Write(true));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open rw", "prepare 80x2x18", "close"}));
    // A geometry without tracks is not formatted, but can be written.
    fake.calls.clear();
    s.doc.geometry.sectorsPerTrack = 0;
    EXPECT_FALSE(Write(true));
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(ui.Last().text,
              "The disk-image has no track layout (0 sectors per track, 2 heads), so its tracks "
              "cannot be formatted.\nWrite it without formatting the disk.");
    EXPECT_TRUE(Write(false));
}

TEST_F(TransferTest, WriteCommandWarnsAboutRecordedMediaErrorsFirst) {
    OpenImage(0xF9);
    int runs = 0;
    auto dialog = [&] { return ++runs; };
    EXPECT_TRUE(WriteImageCommand(s, kDialog, dialog) && ui.messages.empty());
    MarkBadSector(s.doc.errors, 17);
    EXPECT_TRUE(WriteImageCommand(s, kDialog, dialog));
    EXPECT_TRUE(ui.Showed(LoadText(str::kMediaErrorsNotWritten), MB_ICONEXCLAMATION));
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(WriteImageCommand(s, kDialog, [] { return 0; }));
}

}  // namespace
}  // namespace kv::test
