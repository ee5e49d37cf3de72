// Delete, rename, attributes and the volume label.
#include "fat12/entries.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

class EntriesTest : public FatFixture {
protected:
    void SetUp() override { Blank(); }
    std::optional<std::uint64_t> Label() { return FindVolumeLabel(G(), Vol(), Len()); }
    std::uint64_t SlotOffset(std::uint32_t i) { return RootDirectoryOffset(G()) + 32 * i; }
};

TEST_F(EntriesTest, DeleteAsksForEachRowAndFreesTheChain) {
    Put(0, "A       TXT", 0x20, 2, 3000);
    Link({2, 3, 4});
    Put(1, "B       TXT", 0x20);
    Put(2, "C       TXT", 0x21);
    Put(3, "D          ", 0x10);
    Relist();
    list.SelectAll();
    std::vector<std::uint8_t> slotA(Slot(0), Slot(0) + 32);
    ui.answers = {IDYES, IDNO, IDYES};
    DeleteSelection(s, kMainWindow);
    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_EQ(ui.messages[0].text, "Delete file 'A.TXT'?");
    EXPECT_EQ(ui.messages[0].style, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(ui.messages[3].text, "Cannot delete directory 'D'!");
    EXPECT_EQ(ui.messages[3].Icon(), MB_ICONEXCLAMATION);
    EXPECT_EQ(Fat(2), 0);
    EXPECT_EQ(Fat(4), 0);
    EXPECT_EQ(Slot(0)[0], 0xE5);
    EXPECT_TRUE(std::equal(slotA.begin() + 1, slotA.end(), Slot(0) + 1));
    EXPECT_EQ(Slot(2)[0], 0xE5);  // read-only files go without a further question
    ASSERT_EQ(list.RowCount(), 2u);
    EXPECT_EQ(list.RowAt(0).text, "B.TXT");
    EXPECT_EQ(list.RowAt(1).text, "D");
    EXPECT_EQ(list.Status(), "2 Object(s) selected");
    EXPECT_TRUE(s.doc.modified);
}

TEST_F(EntriesTest, CancelEndsTheDeleteAndAdjacentRowsAreNotSkipped) {
    for (std::uint32_t i = 0; i < 3; ++i) Put(i, "F       TXT", 0x20)[1] = static_cast<std::uint8_t>('0' + i);
    Relist();
    list.SelectAll();
    ui.answers = {IDYES, IDCANCEL};
    DeleteSelection(s, kMainWindow);
    EXPECT_EQ(list.RowCount(), 2u);
    EXPECT_EQ(ui.messages.size(), 2u);
    ui.answers = {IDYES, IDYES};
    DeleteSelection(s, kMainWindow);
    EXPECT_EQ(list.Status(), "0 Object(s)");
}

TEST_F(EntriesTest, RenameRefusesBadNamesWithTheirMessages) {
    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20);
    Relist();
    struct Case {
        const char* typed;
        std::string message;
    } cases[] = {
        {"", LoadText(37)},           {"ABCDEFGHI.TXT", LoadText(36)}, {"ABCDEFGHI.TX", LoadText(38)},
        {".TXT", LoadText(38)},       {"A.TEXT", LoadText(38)},        {"MY FILE.TXT", LoadText(39)},
        {"X.Y.Z", LoadText(39)},      {"\xE2\x82\xAC", LoadText(39)},  // the euro sign, not in the code page
        {"b.txt", SystemErrorMessage("b.txt", ERROR_ALREADY_EXISTS, std::nullopt)},
    };
    for (const Case& c : cases) {
        ui.Clear();
        EXPECT_FALSE(RenameEntry(s, kMainWindow, std::string(c.typed), 0)) << c.typed;
        EXPECT_TRUE(ui.Showed(c.message, MB_ICONHAND)) << c.typed;
    }
    EXPECT_FALSE(RenameEntry(s, kMainWindow, std::nullopt, 0));
    EXPECT_EQ(Name(0), "A       TXT");
    EXPECT_EQ(list.RowAt(0).text, "A.TXT");
    EXPECT_FALSE(s.doc.modified);
}

TEST_F(EntriesTest, RenameStoresUpperCaseNames) {
    std::uint8_t* slot = Put(0, "A       TXT", 0x21, 7, 99);
    Put(1, "SUB        ", 0x10);
    Relist();
    std::vector<std::uint8_t> before(slot, slot + 32);
    const char* names[][3] = {{"readme.txt", "README  TXT", "README.TXT"},
                              {"ABCDEFGH.", "ABCDEFGH   ", "ABCDEFGH"},
                              {"abcdefgh", "ABCDEFGH   ", "ABCDEFGH"}};  // its own name again
    for (const auto& n : names) {
        ASSERT_TRUE(RenameEntry(s, kMainWindow, std::string(n[0]), 0)) << n[0];
        EXPECT_EQ(Name(0), n[1]);
        EXPECT_EQ(list.RowAt(0).text, n[2]);
    }
    EXPECT_TRUE(std::equal(before.begin() + 11, before.end(), slot + 11));
    EXPECT_TRUE(s.doc.modified);
    ASSERT_TRUE(RenameEntry(s, kMainWindow, std::string("new\xC3\xA9"), 1));  // é becomes É
    EXPECT_EQ(list.RowAt(1).text, "NEW\x90");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EntriesTest, ANewNameOrLabelBeginningWithSigmaKeepsItsEntry) {
    Put(0, "A       TXT", 0x20, 2, 100);
    Link({2});
    Put(1, "\x05" "B      TXT", 0x20);  // sigma B, as another system stores it
    Relist();
    ASSERT_TRUE(RenameEntry(s, kMainWindow, std::string("\xCF\x83" "a.txt"), 0));  // typed "σa.txt"
    EXPECT_EQ(Slot(0)[0], dir::kEscapedDeletedMark);
    EXPECT_EQ(list.RowAt(0).text, "\xE5" "A.TXT");
    // The renamed file is still there, with its cluster, after listing anew.
    Relist();
    ASSERT_EQ(list.RowCount(), 2u);
    EXPECT_EQ(list.RowAt(0).text, "\xE5" "A.TXT");
    EXPECT_EQ(Fat(2), kEndOfChain);
    // The name compares as stored: sigma B is taken.
    EXPECT_FALSE(RenameEntry(s, kMainWindow, std::string("\xCF\x83" "b.txt"), 0));
    EXPECT_EQ(ui.Last().text, SystemErrorMessage("\xCF\x83" "b.txt", ERROR_ALREADY_EXISTS, std::nullopt));

    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "\xE5LABEL"));
    EXPECT_EQ(VolumeLabelText(s.doc), "\xE5LABEL");
    ASSERT_TRUE(Label());
    EXPECT_EQ(Vol()[*Label()], dir::kEscapedDeletedMark);
}

// Lays another system's long-name entry into `slot`: its order byte and,
// at offset 13, the checksum of the 11 name bytes of the entry it belongs to.
void PutLongName(std::uint8_t* slot, std::uint8_t order, const char* shortName) {
    std::memset(slot, 0xFF, 32);
    slot[0] = order;
    slot[dir::kAttributes] = 0x0F;
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortName[i]);
    slot[13] = sum;
}

TEST_F(EntriesTest, LongNameEntriesGoWithTheirShortEntry) {
    struct Case {
        const char* what;
        std::size_t row;     // the row deleted (without a new name) or renamed
        const char* newName;
        std::vector<std::uint32_t> deleted;  // the slots marked deleted afterwards
    } cases[] = {
        {"delete A", 1, nullptr, {2, 3, 4}},
        {"delete B", 2, nullptr, {6}},
        {"rename C", 3, "D.TXT", {7}},
        {"rename C to its own 11 bytes", 3, "c.txt", {}},
        {"rename A", 1, "SHORT", {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put(0, "OTHER   TXT", 0x20);
        PutLongName(Slot(1), 0x41, "LONGFI~1TXT");  // in front of the run's first part: not A's
        PutLongName(Slot(2), 0x42, "LONGFI~1TXT");
        PutLongName(Slot(3), 0x01, "LONGFI~1TXT");
        Put(4, "LONGFI~1TXT", 0x20);
        PutLongName(Slot(5), 0x41, "OTHER   TXT");  // orphaned, not B's
        Put(6, "B       TXT", 0x20);
        PutLongName(Slot(7), 0x41, "C       TXT");
        Put(8, "C       TXT", 0x20);
        Relist();
        ASSERT_EQ(list.RowCount(), 4u);
        if (c.newName) {
            ASSERT_TRUE(RenameEntry(s, kMainWindow, std::string(c.newName), c.row));
        } else {
            list.SelectAll(false);
            list.SetSelected(c.row, true);
            ui.answers = {IDYES};
            DeleteSelection(s, kMainWindow);
        }
        for (std::uint32_t i = 0; i < 9; ++i) {
            EXPECT_EQ(Slot(i)[0] == 0xE5, std::count(c.deleted.begin(), c.deleted.end(), i) == 1) << "slot " << i;
        }
    }
}

TEST_F(EntriesTest, AttributesChangeOnlyTheUserBits) {
    std::uint8_t* file = Put(0, "A       TXT", 0x21 | 0x40);
    EXPECT_FALSE(SetEntryAttributes(s, file, 0x21));
    EXPECT_FALSE(s.doc.modified);
    EXPECT_TRUE(SetEntryAttributes(s, file, 0x20));
    EXPECT_EQ(file[dir::kAttributes], 0x60);
    EXPECT_TRUE(s.doc.modified);
    std::uint8_t* folder = Put(1, "SUB        ", 0x10);
    // Bits outside the four are never taken from the request.
    EXPECT_TRUE(SetEntryAttributes(s, folder, 0x07 | 0x08 | 0x40));
    EXPECT_EQ(folder[dir::kAttributes], 0x17);
}

TEST_F(EntriesTest, LabelsTakeTheirSlotOrAnEarlierDeletedOne) {
    // Removing a label that is not there: success, nothing changes.
    EXPECT_TRUE(WriteVolumeLabel(s.doc, std::nullopt));
    EXPECT_FALSE(s.doc.modified);

    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20)[0] = 0xE5;
    Put(2, "C       TXT", 0x20);
    Put(3, "LONG       ", 0x0F);  // a long-name entry is no label
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "My Disk"));
    EXPECT_EQ(Label(), SlotOffset(1));
    EXPECT_EQ(VolumeLabelText(s.doc), "My Disk");
    DirEntry label = ReadDirEntry(Slot(1));
    EXPECT_EQ(label.attributes, 0x28);
    EXPECT_EQ(label.firstCluster, 0);
    EXPECT_NE(label.date, 0);

    // The same text again is not rewritten; a new one overwrites the label.
    s.doc.modified = false;
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "My Disk"));
    EXPECT_FALSE(s.doc.modified);
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "OTHER LABEL"));
    EXPECT_EQ(VolumeLabelText(s.doc), "OTHER LABEL");
    EXPECT_EQ(Label(), SlotOffset(1));
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "   "));
    EXPECT_EQ(Slot(1)[0], 0xE5);
    EXPECT_FALSE(Label());
}

TEST_F(EntriesTest, ALabelInTheEndSlotKeepsWhatLiesBehindItFreeAndEndsAtANul) {
    Put(0, "A       TXT", 0x20);
    Slot(1)[0] = dir::kEndMarker;
    Put(2, "JUNK    BIN", 0x20, 2, 100);
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, std::string("AB\0CD", 5)));
    EXPECT_EQ(Label(), SlotOffset(1));
    EXPECT_EQ(VolumeLabelText(s.doc), "AB");
    EXPECT_EQ(Slot(2)[0], dir::kEndMarker);
    // Only NULs: no label, and the directory still ends where it did.
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, std::string("\0\0", 2)));
    EXPECT_FALSE(Label());
    Relist();
    EXPECT_EQ(list.RowCount(), 1u);
}

TEST_F(EntriesTest, TheBootSectorsLabelFollowsWhereItHasTheExtendedBlock) {
    std::uint8_t* sector = Vol();
    const std::vector<std::uint8_t> msx(sector, sector + 512);
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "MSX DISK"));
    EXPECT_TRUE(std::equal(msx.begin(), msx.end(), sector)) << "the MSX-DOS boot program stays";

    sector[boot::kExtendedSignature] = 0x29;
    std::memcpy(sector + 43, "OLD        ", 11);
    struct Step {
        std::string typed;
        const char* bootLabel;
        bool modified;
    } steps[] = {
        {"MSX DISK", "MSX DISK   ", true},  // the root directory has it already
        {"New", "New        ", true},
        {"", "NO NAME    ", true},
        {"", "NO NAME    ", false},
        {"\xE5X", "\xE5X         ", true},  // stored as 0x05 in the directory only
    };
    for (const Step& step : steps) {
        s.doc.modified = false;
        ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, step.typed)) << step.typed;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(sector) + 43, 11), step.bootLabel);
        EXPECT_EQ(s.doc.modified, step.modified) << step.typed;
    }
}

TEST_F(EntriesTest, ALabelNeedsAnEndMarker) {
    FillRoot();
    Slot(9)[0] = 0xE5;
    Vol()[boot::kExtendedSignature] = 0x29;
    std::vector<std::uint8_t> before = DocumentBytes();
    EXPECT_FALSE(ApplyVolumeLabel(s, kMainWindow, "NEW"));
    EXPECT_TRUE(ui.Showed("Error: cannot set volume-label!\nRoot-directory is full.", MB_ICONHAND));
    EXPECT_TRUE(DocumentBytes() == before);
    EXPECT_FALSE(s.doc.modified);
}

}  // namespace
}  // namespace kv::test
