// Closing, saving and saving under a new name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "document/boot_sector.h"
#include "platform/errors.h"
#include "platform/string_table.h"
#include "tests/support/host_faults.h"
#include "tests/support/session_fixture.h"

namespace kv {
namespace {

using test::ReadWholeFile;

class SaveCloseTest : public test::SessionFixture {
protected:
    std::string path;
    std::vector<std::uint8_t> original;

    void SetUp() override {
        path = WriteBlankImage("disk.dsk");
        original = test::ReadWholeFile(path);
        OpenQuietly(path);
    }
    // Changes a byte of the root directory and of FAT copy 1, as file operations do.
    void Change() {
        s.doc.Volume()[3584] = 'A';
        s.doc.Volume()[512 + 3] = 0x34;
        s.doc.modified = true;
    }
    // Opens the image anew from its original bytes, with no message left.
    void Reopen(ImageLoad load) {
        s.doc.modified = false;
        ASSERT_TRUE(CloseImage(s, false));
        test::WriteWholeFile(path, original);
        ASSERT_TRUE(OpenImage(s, kMainWindow, path, false, load));
        ui.Clear();
    }
};

TEST_F(SaveCloseTest, ClosingAnUnchangedImageEmptiesTheListAndAsksNothing) {
    list.InsertRow(kEndOfList, ListRow{"A.TXT", RowKind::File, 3584});
    ASSERT_TRUE(CloseImage(s, true));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(s.doc.IsOpen() || s.doc.file.IsOpen());
    EXPECT_EQ(s.doc.path, "");
    EXPECT_EQ(list.Status(), "0 Object(s)");
    EXPECT_FALSE(ui.listEnabled);
    EXPECT_EQ(ui.titles.back(), "Korvane");
    EXPECT_TRUE(CloseImage(s, true)) << "closing with nothing open succeeds";
}

TEST_F(SaveCloseTest, TheSavePromptsAnswersAndSavingRefreshesTheBackupFat) {
    // Opening another image closes this one first: Cancel keeps everything.
    std::string other = WriteBlankImage("other.dsk", 0xF0);
    Change();
    ui.answers.push_back(IDCANCEL);
    EXPECT_FALSE(OpenImage(s, kMainWindow, other));
    EXPECT_TRUE(ui.Showed(LoadText(8), MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(ui.Last().owner, kMainWindow);
    EXPECT_EQ(s.doc.path, path);
    EXPECT_TRUE(s.doc.modified);

    ui.answers.push_back(IDNO);
    EXPECT_TRUE(OpenImage(s, kMainWindow, other));
    EXPECT_EQ(s.doc.size, 1474560u);
    EXPECT_EQ(ReadWholeFile(path), original) << "No discards the changes";

    OpenQuietly(path);
    Change();
    ui.answers.push_back(IDYES);
    EXPECT_TRUE(CloseImage(s, false));
    std::vector<std::uint8_t> saved = ReadWholeFile(path);
    EXPECT_EQ(saved[3584], 'A');
    EXPECT_EQ(0, std::memcmp(&saved[512], &saved[512 + 1536], 1536)) << "the backup FAT is brought in line";
    EXPECT_EQ(saved[512 + 1536 + 3], 0x34);
}

TEST_F(SaveCloseTest, DifferingFatCopiesAreRepairedOnYesAndStayAsLoadedOnNoUntilTheFirstChange) {
    std::vector<std::uint8_t> bytes = original;
    bytes[512 + 1536 + 5] = 0x77;
    std::string other = WriteImage("differ.dsk", bytes);
    ui.answers.push_back(IDYES);
    ASSERT_TRUE(OpenImage(s, kMainWindow, other));
    EXPECT_TRUE(ui.Showed(LoadText(22), MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(0, std::memcmp(s.doc.Volume() + 512, s.doc.Volume() + 512 + 1536, 1536));
    EXPECT_TRUE(s.doc.modified) << "so closing asks to save";

    ui.Clear();
    ui.answers = {IDNO, IDNO};  // the save prompt, then the FAT question again
    ASSERT_TRUE(OpenImage(s, kMainWindow, other));
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{LoadText(8), LoadText(22)}));
    ASSERT_TRUE(SaveImage(s));
    EXPECT_EQ(ReadWholeFile(other), bytes) << "a save without a change writes the bytes as loaded";

    s.doc.Volume()[3584] = 'B';
    s.doc.modified = true;
    ASSERT_TRUE(SaveImage(s));
    std::vector<std::uint8_t> saved = ReadWholeFile(other);
    EXPECT_EQ(0, std::memcmp(&saved[512], &saved[512 + 1536], 1536));
}

TEST_F(SaveCloseTest, TheFatRefreshStaysInsideTheImageAndBehindAHeader) {
    // A header of 46 bytes and a volume cut inside FAT copy 2.
    std::vector<std::uint8_t> bytes = WithComment({original.begin(), original.begin() + 512 + 1536 + 1000});
    std::string cut = WriteImage("cut.dsk", bytes);
    ASSERT_TRUE(OpenImage(s, kMainWindow, cut));
    s.doc.Volume()[512 + 3] = 0x56;
    s.doc.modified = true;
    ASSERT_TRUE(SaveImage(s));
    std::vector<std::uint8_t> saved = ReadWholeFile(cut);
    ASSERT_EQ(saved.size(), bytes.size()) << "the file never changes its size";
    EXPECT_EQ(saved[46 + 512 + 1536 + 3], 0x56) << "copied behind the header";
    EXPECT_EQ(0, std::memcmp(&saved[46 + 512], &saved[46 + 512 + 1536], 1000));
    EXPECT_EQ(0, std::memcmp(saved.data(), bytes.data(), 46)) << "the header is kept";
}

TEST_F(SaveCloseTest, ASaveWritesOnlyTheSectorsThatDifferFromTheFile) {
    {
        test::ScopedFaults counting({});
        ASSERT_TRUE(SaveImage(s));
        EXPECT_EQ(test::ScopedFaults::writes, 0) << "nothing changed, nothing written";
    }
    // Sector 7, then sectors 10 and 11: two runs, two calls.
    s.doc.Volume()[3584] = 'A';
    s.doc.Volume()[5120] = 'B';
    s.doc.Volume()[5632 + 511] = 'C';
    s.doc.modified = true;
    {
        test::ScopedFaults counting({});
        ASSERT_TRUE(SaveImage(s));
        EXPECT_EQ(test::ScopedFaults::writes, 2);
        EXPECT_EQ(test::ScopedFaults::bytesWritten, 3u * 512);
    }
    // Whatever another program wrote meanwhile, the file becomes the image.
    std::vector<std::uint8_t> other = DocumentBytes();
    other[20 * 512 + 7] ^= 0xFF;
    other.resize(other.size() + 100, 0xEE);
    test::WriteWholeFile(path, other);
    ASSERT_TRUE(SaveImage(s));
    EXPECT_TRUE(ReadWholeFile(path) == DocumentBytes());
}

// Written pages go back run by run without reading the file, else the sectors that differ.
TEST_F(SaveCloseTest, AMappedImageWritesBackThePagesItWrote) {
    enum PageMap { kTells, kCannotTell, kTellsNothing };
    const struct {
        PageMap map;
        std::string calls, retry;  // R: a reservation, W: a write
        std::size_t retryBytes;
    } cases[] = {{kTells, "RWW", "RWW", 3 * 4096},
                 {kCannotTell, "RWWWW", "RW", 2 * 512},
                 {kTellsNothing, "RWWWW", "RW", 2 * 512}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.map);
        Reopen(ImageLoad::Map);
        ASSERT_TRUE(s.doc.mapsFile);
        Change();                               // FAT copy 1 (so copy 2 too) and the root directory: page 0
        s.doc.Volume()[5 * 4096 + 4095] = 'B';  // the end of page 5 and the start of 6
        s.doc.Volume()[6 * 4096] = 'C';
        std::string calls;
        bool failLast = true;
        test::FaultPlan plan;
        plan.unknownWrittenPages = c.map == kCannotTell;
        plan.failFallocate = [&](int) { return calls += 'R', false; };
        plan.failWrite = [&](int) { return calls += 'W', failLast && calls == c.calls; };
        test::ScopedFaults faults(plan);
        if (c.map == kTellsNothing) {
            Host().writtenPages = [](const void*, std::size_t size, std::uint8_t* written) {
                std::fill_n(written, (size + kMapPageSize - 1) / kMapPageSize, std::uint8_t{0});
                return 0;
            };
        }
        EXPECT_FALSE(SaveImage(s));
        EXPECT_TRUE(s.doc.modified);

        calls.clear();
        failLast = false;
        test::ScopedFaults::reads = 0;
        test::ScopedFaults::bytesWritten = 0;
        ASSERT_TRUE(SaveImage(s));
        EXPECT_EQ(calls, c.retry);
        EXPECT_EQ(test::ScopedFaults::bytesWritten, c.retryBytes);
        EXPECT_EQ(test::ScopedFaults::reads == 0, c.map == kTells) << "the file is read only to compare";
        EXPECT_TRUE(ReadWholeFile(path) == DocumentBytes());
        calls.clear();
        ASSERT_TRUE(SaveImage(s));
        EXPECT_EQ(calls.find('W'), std::string::npos) << "nothing changed since, nothing written";
    }
}

// After Save As the mapping shows the old file, whatever is written to it: saves then compare.
TEST_F(SaveCloseTest, AMappedImageSavedUnderAnotherNameComparesFromThenOn) {
    Reopen(ImageLoad::Map);
    const std::string target = dir.File("copy.dsk");
    ui.WillChoose(target);
    ASSERT_TRUE(SaveImageAs(s, kMainWindow) && SaveImage(s));
    std::FILE* old = std::fopen(path.c_str(), "r+b");  // rewritten in place, not cut
    ASSERT_NE(old, nullptr);
    std::fwrite(std::vector<std::uint8_t>(original.size(), 0xE5).data(), 1, original.size(), old);
    std::fclose(old);
    Change();
    ASSERT_TRUE(SaveImage(s));
    EXPECT_TRUE(ReadWholeFile(target) == DocumentBytes());
}

// No space: nothing is overwritten. A file system that cannot reserve space is written anyway.
TEST_F(SaveCloseTest, ASaveWithoutSpaceLeavesTheFileAsItWas) {
    const struct {
        int error;
        bool saved;
        ImageLoad load;
    } cases[] = {{ENOSPC, false, ImageLoad::Read},
                 {EDQUOT, false, ImageLoad::Read},
                 {EOPNOTSUPP, true, ImageLoad::Read},
                 {ENOSPC, false, ImageLoad::Map}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        Reopen(c.load);
        Change();
        test::FaultPlan plan;
        plan.failFallocate = test::OnFile(path);
        plan.fallocateErrno = c.error;
        test::ScopedFaults faults(plan);
        EXPECT_EQ(SaveImage(s), c.saved);
        EXPECT_EQ(s.doc.modified, !c.saved);
        EXPECT_EQ(ui.cursors.back(), Cursor::Arrow);
        if (!c.saved) {
            EXPECT_TRUE(ui.Showed(path + "\n" + SystemErrorText(ERROR_DISK_FULL), MB_ICONHAND));
            EXPECT_TRUE(ReadWholeFile(path) == original);
            EXPECT_EQ(test::ScopedFaults::writes, 0);
        } else {
            EXPECT_TRUE(ReadWholeFile(path) == DocumentBytes());
        }
    }
}

// The new file beside the chosen one is renamed into place by a save that succeeds.
TEST_F(SaveCloseTest, SaveAsReplacesTheChosenFileOnlyWithAWholeImage) {
    ASSERT_TRUE(CloseImage(s, false));
    ::chmod(path.c_str(), 0444);
    OpenQuietly(path);
    ASSERT_TRUE(s.doc.readOnly);
    std::filesystem::create_directory(dir.File("out"));
    const auto files = [&] { return std::distance(std::filesystem::directory_iterator(dir.File("out")), {}); };
    const std::vector<std::uint8_t> old = {'O', 'L', 'D'};
    const std::string target = WriteImage("out/copy.dsk", old);
    Change();
    ui.WillChoose(target);
    ASSERT_TRUE(SaveImageAs(s, kMainWindow));
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_TRUE(ui.fileRequests[0].save);
    EXPECT_EQ(ui.fileRequests[0].flags, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
    EXPECT_EQ(ui.fileRequests[0].defaultExtensionId, 30u);
    EXPECT_EQ(ui.fileRequests[0].initialName, "");
    EXPECT_EQ(ui.titles.back(), "copy.dsk - Korvane");
    EXPECT_EQ(s.doc.path, target);
    EXPECT_TRUE(ReadWholeFile(target) == old) << "Save As writes nothing itself";
    EXPECT_EQ(files(), 2) << "the new file beside the old one";

    test::FaultPlan plans[4];
    plans[0].failFallocate = [](int) { return true; };
    plans[1].failWrite = [](int) { return true; };
    plans[2].failFsync = [](int) { return true; };
    plans[3].failRename = [&](const char* to) { return to == target; };
    for (test::FaultPlan& plan : plans) {
        ui.Clear();
        test::ScopedFaults faults(plan);
        EXPECT_FALSE(SaveImage(s));
        EXPECT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.Last().text.substr(0, target.size() + 1), target + "\n");
        EXPECT_TRUE(s.doc.modified);
        EXPECT_TRUE(ReadWholeFile(target) == old);
        EXPECT_EQ(files(), 1) << "no new file left behind";
    }
    ASSERT_TRUE(SaveImage(s)) << "the next save makes another new file";
    EXPECT_TRUE(ReadWholeFile(target) == DocumentBytes());
    EXPECT_EQ(files(), 1);
    EXPECT_TRUE(s.doc.readOnly);
    EXPECT_EQ(ReadWholeFile(path), original);

    // Closing before a Save As was ever saved removes its new file.
    ui.WillChoose(dir.File("out/second.dsk"));
    ASSERT_TRUE(SaveImageAs(s, kMainWindow));
    EXPECT_EQ(files(), 2);
    ASSERT_TRUE(CloseImage(s, false));
    EXPECT_EQ(files(), 1);
}

TEST_F(SaveCloseTest, SaveAsThatCannotCreateLeavesTheDocumentAsItWas) {
    std::string target = dir.File("no/such/folder.dsk");
    ui.WillChoose(target);
    EXPECT_FALSE(SaveImageAs(s, kMainWindow));
    EXPECT_TRUE(ui.Showed(target + "\n" + SystemErrorText(ERROR_PATH_NOT_FOUND), MB_ICONHAND));
    EXPECT_EQ(s.doc.path, path);
    EXPECT_TRUE(s.doc.file.IsOpen());

    ui.Clear();
    ui.WillChoose(path);  // the open image itself: its own handle keeps writers out
    EXPECT_FALSE(SaveImageAs(s, kMainWindow));
    EXPECT_EQ(ui.Last().text, path + "\n" + SystemErrorText(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadWholeFile(path), original);
}

TEST_F(SaveCloseTest, AnUntitledImageAsksForAFileWhenSaved) {
    ASSERT_TRUE(CloseImage(s, false));
    ASSERT_TRUE(BuildBlankImage(s, kMainWindow, 0xF9));
    UpdateWindowTitle(s);
    EXPECT_EQ(ui.titles.back(), "Untitled - Korvane");
    EXPECT_EQ(FileNamePart("/home/user/"), "");
    s.doc.modified = true;

    // Yes to the prompt, then the Save As dialog is cancelled: nothing is lost.
    ui.answers.push_back(IDYES);
    ui.WillCancelDialog();
    EXPECT_FALSE(CloseImage(s, false));
    EXPECT_TRUE(s.doc.IsOpen());
    EXPECT_TRUE(s.doc.modified);

    std::string target = dir.File("new.dsk");
    ui.WillChoose(target);
    ASSERT_TRUE(SaveImage(s));
    EXPECT_EQ(ReadWholeFile(target).size(), 737280u);
    EXPECT_FALSE(s.doc.modified);
}

}  // namespace
}  // namespace kv
