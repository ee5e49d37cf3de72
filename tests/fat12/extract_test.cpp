// Extracting stored files, the replace question, corrupted chains, dragging out and dropping in.
#include "fat12/extract.h"
#include "fat12/drag.h"

#include <cerrno>
#include <filesystem>

#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/fat12/fat_fixture.h"
#include "tests/support/host_faults.h"

namespace kv::test {
namespace {

using ExtractTest = FatFixture;

TEST_F(ExtractTest, ContentsAndStampReachTheHostFile) {
    std::vector<std::uint8_t> data = Pattern(1025);
    EXPECT_EQ(ExtractEntry(s, kMainWindow, StoreFile(0, "A       TXT", data, {7, 3}), 0, dir.File("a.txt")), 1);
    EXPECT_EQ(ReadWholeFile(dir.File("a.txt")), data);
    EXPECT_EQ(LocalMTime(dir.File("a.txt")), "2005-03-29 12:34:56");
    // Size 0 gives an empty file, whatever the first cluster holds; a stamp the
    // host cannot represent gives 1980-01-01 00:00:00.
    std::uint8_t* empty = Put(1, "EMPTY      ", 0x20, 0x999, 0);
    WriteWord(empty + dir::kDate, 0);
    EXPECT_EQ(ExtractEntry(s, kMainWindow, empty, 0, dir.File("empty")), 1);
    EXPECT_TRUE(ReadWholeFile(dir.File("empty")).empty());
    EXPECT_EQ(LocalMTime(dir.File("empty")), "1980-01-01 00:00:00");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ExtractTest, ExistingFilesAskAndReadOnlyOnesCannotBeReplaced) {
    std::uint8_t* slot = StoreFile(0, "RO      TXT", Pattern(100), {2}, 0x21);
    std::string path = dir.File("ro.txt");
    ASSERT_EQ(ExtractEntry(s, kMainWindow, slot, 0, path), 1);
    ui.answers = {IDNO};
    EXPECT_EQ(ExtractEntry(s, kMainWindow, slot, 0, path), 1);
    EXPECT_TRUE(ui.Showed(path + "\n\nFile already exists! Replace?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    ui.answers = {IDYES};
    EXPECT_EQ(ExtractEntry(s, kMainWindow, slot, 0, path), 0);
    EXPECT_TRUE(ui.Showed(SystemErrorMessage(path, ERROR_ACCESS_DENIED, std::nullopt), MB_ICONHAND, false));

    // A writable file is replaced, with the option without a question.
    WriteWholeFile(dir.File("b.txt"), Pattern(4000));
    ui.Clear();
    EXPECT_EQ(ExtractEntry(s, kMainWindow, StoreFile(1, "B       TXT", Pattern(50, 3), {3}), kReplaceWithoutAsking,
                           dir.File("b.txt")),
              1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ReadWholeFile(dir.File("b.txt")), Pattern(50, 3));
}

TEST_F(ExtractTest, CorruptedChainsAreWrittenAsFarAsTheyGo) {
    std::vector<std::uint8_t> data = Pattern(3000);
    struct Case {
        const char* what;
        std::function<void()> damage;
        std::size_t written;
    } cases[] = {
        {"ends early", [&] { Link({2}); }, 1024},
        {"links to a free cluster", [&] { Link({2}, 0); }, 1024},
        {"links past the last cluster", [&] { Link({2}, 0xFF0); }, 1024},
        {"runs in a circle", [&] { Link({2}, 2); }, 3000},  // 2 -> 2 -> 2: the size ends it first
        {"first cluster 0", [&] { WriteWord(Slot(0) + dir::kFirstCluster, 0); }, 0},
        // A loop longer than the size allows: bounded by the volume's clusters.
        {"loops past the size",
         [&] {
             WriteDword(Slot(0) + dir::kSize, 1024 * 800);
             Link({2, 3}, 2);
         },
         1024u * (LastCluster(G()) - 1)},
    };
    for (const Case& c : cases) {
        ui.Clear();
        std::uint8_t* slot = StoreFile(0, "BROKEN     ", data, {2, 3, 4});
        c.damage();
        std::string path = dir.File(std::string("out-") + c.what);
        EXPECT_EQ(ExtractEntry(s, kMainWindow, slot, 0, path), 1) << c.what;
        EXPECT_EQ(ReadWholeFile(path).size(), c.written) << c.what;
        if (c.written < ReadDirEntry(slot).size) {
            EXPECT_TRUE(ui.Showed(path + "\n\nError: stored file is corrupted!", MB_ICONEXCLAMATION)) << c.what;
        }
    }
}

// What the host took of a file it stopped taking goes again, unlike the part of a corrupted one.
TEST_F(ExtractTest, AHostThatStopsTakingTheFileLeavesNoPartOfIt) {
    std::uint8_t* slot = StoreFile(0, "BIG        ", Pattern(3000), {2, 4, 6});
    for (int error : {ENOSPC, EFBIG}) {
        std::string path = dir.File("big-" + std::to_string(error));
        int writes = 0;
        FaultPlan plan;
        plan.failWrite = [&](int fd) { return PathOfFd(fd) == path && ++writes > 1; };
        plan.writeErrno = error;
        ScopedFaults faults(plan);
        EXPECT_EQ(ExtractEntry(s, kMainWindow, slot, 0, path), 0);
        EXPECT_EQ(writes, 2) << "the first run was written";
        EXPECT_EQ(ui.Last().text, SystemErrorMessage(path, ErrorFromErrno(error), std::nullopt));
        EXPECT_FALSE(FileExists(path));
    }
}

TEST_F(ExtractTest, TheExtractCommandWalksTheSelectionInOrder) {
    StoreFile(0, "A       TXT", Pattern(10), {2});
    Put(1, "SUB        ", 0x10);
    StoreFile(2, "C       TXT", Pattern(20), {3});
    Relist();
    list.SelectAll();
    ui.WillChoose(dir.File("a"));
    ui.WillChoose(dir.File("c"));
    ExtractSelection(s, kMainWindow);
    ASSERT_EQ(ui.fileRequests.size(), 2u);
    EXPECT_EQ(ui.fileRequests[0].initialName, "A.TXT");
    EXPECT_TRUE(ui.fileRequests[0].save);
    EXPECT_EQ(ui.fileRequests[0].filterStringId, str::kAllFilesFilter);
    EXPECT_TRUE(ui.Showed("File 'SUB' cannot be saved (directory or volume-label)!", MB_ICONEXCLAMATION));
    EXPECT_EQ(ReadWholeFile(dir.File("c")), Pattern(20));

    // Cancelling the first dialog extracts nothing.
    ui.Clear();
    ui.WillCancelDialog();
    ExtractSelection(s, kMainWindow);
    EXPECT_EQ(ui.fileRequests.size(), 1u);
}

// Dragging out extracts into one private folder, made once (a taken name is skipped), refuses a
// selection with a directory whole, and is discarded without following the links planted in it.
TEST_F(ExtractTest, TheDragFolderIsMadeOnceRefusedWholeForDirectoriesAndDiscardedWithoutFollowingLinks) {
    ScopedEnvironment tmp("TMPDIR", dir.Path());
    ASSERT_EQ(::mkdir(dir.File("KV$1").c_str(), 0755), 0);
    StoreFile(0, "A       TXT", Pattern(10), {2});
    StoreFile(1, "B          ", Pattern(20), {3}, 0x21);
    Put(2, "SUB        ", 0x10);
    Relist();
    list.SetSelected(0, true);
    list.SetSelected(1, true);
    std::vector<std::string> paths;
    ASSERT_TRUE(BeginDragOut(s, kMainWindow, paths));
    const std::string folder = dir.File("KV$2");
    ASSERT_EQ(s.dragFolder, folder);
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(paths, (Texts{folder + "/A.TXT", folder + "/B"}));
    EXPECT_EQ(ReadWholeFile(folder + "/B"), Pattern(20));
    ASSERT_TRUE(BeginDragOut(s, kMainWindow, paths));  // the same folder; copies replaced without a question
    EXPECT_EQ(s.dragFolder, folder);
    EXPECT_TRUE(ui.messages.empty());

    list.SetSelected(2, true);
    ::unlink((folder + "/A.TXT").c_str());
    EXPECT_FALSE(BeginDragOut(s, kMainWindow, paths));
    EXPECT_TRUE(ui.Showed(LoadText(str::kCannotDragOut), MB_ICONEXCLAMATION));
    EXPECT_FALSE(FileExists(folder + "/A.TXT"));

    WriteWholeFile(dir.File("victim"), {'v'});
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), (folder + "/A.TXT").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Path().c_str(), (folder + "/UP").c_str()), 0);
    ASSERT_EQ(::mkdir((folder + "/SUB").c_str(), 0700), 0);
    WriteWholeFile(folder + "/SUB/KEPT", {'k'});
    DiscardDragFolder(s);
    EXPECT_FALSE(s.dragFolder);
    EXPECT_EQ(ReadWholeFile(dir.File("victim")), std::vector<std::uint8_t>{'v'});
    EXPECT_FALSE(FileExists(folder + "/B"));
    EXPECT_TRUE(FileExists(folder + "/SUB/KEPT")) << "sub-folders are not entered, so the folder stays";
    std::filesystem::remove_all(folder + "/SUB");
    RemoveTempFolder(folder);
    EXPECT_FALSE(FileExists(folder));
}

TEST_F(ExtractTest, DroppedPathsOpenTheFirstAsImageOrAreAddedInOrderUntilOneFails) {
    const std::string a = HostFileWith("ONE.TXT", Pattern(5)), c = HostFileWith("THREE.TXT", Pattern(7));
    OnFilesDropped(s, kMainWindow, {a, dir.File("missing"), c});
    EXPECT_EQ(ui.messages.size(), 1u) << "the second fails; the third is not tried";
    EXPECT_EQ(Rows(), Texts{"ONE.TXT"});

    ui.answers = {IDNO};  // the added file is not saved
    ASSERT_TRUE(CloseImage(s, false));
    const std::string first = WriteBlankImage("first.dsk"), second = WriteBlankImage("second.dsk", 0xF8);
    OnFilesDropped(s, kMainWindow, {first, second, a});
    EXPECT_EQ(s.doc.path, first);
    EXPECT_FALSE(s.doc.modified);
}

}  // namespace
}  // namespace kv::test
