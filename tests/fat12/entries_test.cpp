// Delete, rename, attributes and the volume label.
#include "fat12/entries.h"

#include <algorithm>

#include "platform/messages.h"
#include "platform/string_table.h"
#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

class EntriesTest : public FatFixture {
protected:
    std::optional<std::uint64_t> Label() { return FindVolumeLabel(G(), Vol(), Len()); }
};

// Each row is asked for in turn (adjacent ones too), read-only files alike;
// directories are refused, and Cancel ends the walk.
TEST_F(EntriesTest, DeleteAsksForEachRowFreesTheChainAndStopsAtCancel) {
    Put(0, "A       TXT", 0x20, 2, 3000);
    Link({2, 3, 4});
    const char* names[] = {"B       TXT", "C       TXT", "D          ", "E       TXT", "F       TXT", "G       TXT"};
    const std::uint8_t attributes[] = {0x20, 0x21, 0x10, 0x20, 0x20, 0x20};
    for (std::uint32_t i = 1; i <= 6; ++i) Put(i, names[i - 1], attributes[i - 1]);
    Relist();
    list.SelectAll();
    ui.answers = {IDYES, IDNO, IDYES, IDYES, IDCANCEL};
    DeleteSelection(s, kMainWindow);
    EXPECT_EQ(ui.Texts(), (Texts{"Delete file 'A.TXT'?", "Delete file 'B.TXT'?", "Delete file 'C.TXT'?",
                                 "Cannot delete directory 'D'!", "Delete file 'E.TXT'?", "Delete file 'F.TXT'?"}));
    EXPECT_EQ(ui.messages[0].style, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(ui.messages[3].style, MB_ICONEXCLAMATION);
    EXPECT_EQ(Fats({2, 4}), (std::vector<std::uint16_t>{0, 0}));
    EXPECT_EQ(Rows(), (Texts{"B.TXT", "D", "F.TXT", "G.TXT"}));
    EXPECT_EQ(list.Status(), "4 Object(s) selected");
    EXPECT_TRUE(s.doc.modified);
}

// Names are stored upper-cased; a first 0xE5 (sigma) is stored as 0x05, so the entry stays live.
TEST_F(EntriesTest, RenameStoresUpperCaseNamesAndRefusesBadOnes) {
    std::uint8_t* slot = Put(0, "A       TXT", 0x21, 7, 99);
    Put(1, "B       TXT", 0x20);
    Relist();
    const std::pair<const char*, std::string> bad[] = {
        {"", LoadText(str::kNameBlank)},
        {"ABCDEFGHI.TXT", LoadText(str::kNameTooLong)},
        {"ABCDEFGHI.TX", LoadText(str::kNameInvalid)},
        {".TXT", LoadText(str::kNameInvalid)},
        {"A.TEXT", LoadText(str::kNameInvalid)},
        {"MY FILE.TXT", LoadText(str::kNameCharacters)},
        {"X.Y.Z", LoadText(str::kNameCharacters)},
        {"\xE2\x82\xAC", LoadText(str::kNameCharacters)},  // euro sign
        {"b.txt", SystemErrorMessage("b.txt", ERROR_ALREADY_EXISTS, std::nullopt)},
    };
    for (const auto& [typed, message] : bad) {
        ui.Clear();
        EXPECT_FALSE(RenameEntry(s, kMainWindow, std::string(typed), 0)) << typed;
        EXPECT_TRUE(ui.Showed(message, MB_ICONHAND)) << typed;
    }
    EXPECT_FALSE(RenameEntry(s, kMainWindow, std::nullopt, 0));
    EXPECT_EQ(Name(0), "A       TXT");
    EXPECT_EQ(Rows(), (Texts{"A.TXT", "B.TXT"}));
    EXPECT_FALSE(s.doc.modified);

    ui.Clear();
    std::vector<std::uint8_t> before(slot, slot + 32);
    const char* names[][3] = {{"readme.txt", "README  TXT", "README.TXT"},
                              {"ABCDEFGH.", "ABCDEFGH   ", "ABCDEFGH"},
                              {"abcdefgh", "ABCDEFGH   ", "ABCDEFGH"},  // its own name again
                              {"\xCF\x83"
                               "a.txt",
                               "\x05"
                               "A      TXT",
                               "\xE5"
                               "A.TXT"}};
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

// Another system's long-name entry: its order byte, and at 13 the checksum of its short entry's name.
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
        std::size_t row;  // the row deleted (without a new name) or renamed
        const char* newName;
        std::vector<std::uint32_t> deleted;  // the slots marked deleted afterwards
    } cases[] = {
        {"delete A", 1, nullptr, {2, 3, 4}}, {"delete B", 2, nullptr, {6}},
        {"rename C", 3, "D.TXT", {7}},       {"rename C to its own 11 bytes", 3, "c.txt", {}},
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

TEST_F(EntriesTest, LabelsTakeTheirSlotOrAnEarlierDeletedOne) {
    EXPECT_TRUE(WriteVolumeLabel(s.doc, std::nullopt)) << "no label to remove";

    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20)[0] = 0xE5;
    Put(2, "C       TXT", 0x20);
    Put(3, "LONG       ", 0x0F);  // a long-name entry is no label
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "My Disk"));
    EXPECT_EQ(Label(), SlotOffset(1));
    EXPECT_EQ(VolumeLabelText(s.doc), "My Disk");
    EXPECT_EQ(Slot(1)[dir::kAttributes], attr::kVolumeLabel | attr::kArchive);
    EXPECT_NE(ReadDirEntry(Slot(1)).date, 0);

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
    ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, "\xE5LABEL"));
    EXPECT_EQ(VolumeLabelText(s.doc), "\xE5LABEL");
    EXPECT_EQ(Slot(1)[0], dir::kEscapedDeletedMark);
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
        {"New", "New        ", true},      {"", "NO NAME    ", true},
        {"", "NO NAME    ", false},        {"\xE5X", "\xE5X         ", true},  // stored as 0x05 in the directory only
    };
    for (const Step& step : steps) {
        s.doc.modified = false;
        ASSERT_TRUE(ApplyVolumeLabel(s, kMainWindow, step.typed)) << step.typed;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(sector) + 43, 11), step.bootLabel);
        EXPECT_EQ(s.doc.modified, step.modified) << step.typed;
    }
}

// A label in the end slot keeps what lies behind it free; without an end
// marker a label has no place, not even in a deleted slot.
TEST_F(EntriesTest, ALabelInTheEndSlotKeepsWhatLiesBehindItFreeAndNeedsAnEndMarker) {
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

    FillRoot();
    Slot(9)[0] = 0xE5;
    Vol()[boot::kExtendedSignature] = 0x29;
    s.doc.modified = false;
    std::vector<std::uint8_t> before = DocumentBytes();
    EXPECT_FALSE(ApplyVolumeLabel(s, kMainWindow, "NEW"));
    EXPECT_TRUE(ui.Showed(LoadText(str::kLabelNoSlot), MB_ICONHAND));
    EXPECT_TRUE(DocumentBytes() == before);
    EXPECT_FALSE(s.doc.modified);
}

}  // namespace
}  // namespace kv::test
