// Names, the listing of the root directory and the choice of a slot.
#include "fat12/directory.h"

#include <gtest/gtest.h>

#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

std::string Field(std::string_view text) {
    std::uint8_t out[11];
    MakeShortNameField(text, out);
    return std::string(reinterpret_cast<char*>(out), 11);
}

TEST(ShortNames, FieldsAndTheirDisplayNames) {
    struct Case {
        const char* text;
        const char* field;
        const char* shown;
    } cases[] = {
        {"README.TXT", "README  TXT", "README.TXT"},  {"NOEXT", "NOEXT      ", "NOEXT"},
        {"X.Y.Z", "X       Y.Z", "X.Y.Z"},           {".PROFILE", "        PRO", ".PRO"},
        {"MY FILE.TXT", "MY FILE TXT", "MY FILE.TXT"}, {"LONGFILENAME.TXT", "LONGFILENAM", "LONGFILE.NAM"},
    };
    for (const Case& c : cases) {
        std::string field = Field(c.text);
        EXPECT_EQ(field, c.field) << c.text;
        std::uint8_t slot[32] = {};
        std::memcpy(slot, field.data(), 11);
        EXPECT_EQ(DisplayName(slot), c.shown) << c.text;
    }
    // A field cut short by a NUL ends there.
    const std::uint8_t field[8] = {'A', 'B', 0, 'C', ' ', ' ', ' ', ' '};
    EXPECT_EQ(TrimField(field, 8), "AB");
}

TEST(ShortNames, ANameBeginningWithSigmaIsNoDeletedMark) {
    // 0xE5 first would read as a deleted slot: it is stored as 0x05 and shown
    // as the sigma it stands for; elsewhere in the name it stays.
    EXPECT_EQ(Field("\xE5X.\xE5"), "\x05X      \xE5  ");
    std::uint8_t slot[32] = {};
    std::memcpy(slot, "\x05X      \xE5  ", 11);
    EXPECT_TRUE(IsShownSlot(slot));
    EXPECT_EQ(DisplayName(slot), "\xE5X.\xE5");
    EXPECT_EQ(SafeHostFileName(DisplayName(slot)), "\xCF\x83X.\xCF\x83");
}

TEST(ShortNames, AllowedCharacters) {
    EXPECT_TRUE(IsValidNameText(""));
    EXPECT_TRUE(IsValidNameText("AZ09$%-_@{}~`!#()"));
    EXPECT_TRUE(IsValidNameText("\x91\x80\xFF"));
    for (const char* bad : {" ", ".", "a", "'", "A B", "*", "?", "/", "\\"}) EXPECT_FALSE(IsValidNameText(bad)) << bad;
}

TEST(ShortNames, SafeHostNamesStayInsideTheirFolder) {
    EXPECT_EQ(SafeHostFileName("README.TXT"), "README.TXT");
    EXPECT_EQ(SafeHostFileName("."), "_");
    EXPECT_EQ(SafeHostFileName(".."), "__");
    EXPECT_EQ(SafeHostFileName(""), "_");
    EXPECT_EQ(SafeHostFileName("../ETC"), ".._ETC");
    EXPECT_EQ(SafeHostFileName(std::string("A\0B", 3)), "A_B");
    EXPECT_EQ(SafeHostFileName("A\\B"), "A_B");
    EXPECT_EQ(SafeHostFileName("\x82T\x90"), "\xC3\xA9T\xC3\x89");  // é T É
}

using DirectoryTest = FatFixture;

TEST_F(DirectoryTest, ListingShowsFilesHiddenEntriesAndDirectoriesOnly) {
    Blank();
    Put(0, "FILE    TXT", 0x20);
    Put(1, "GONE    TXT", 0x20)[0] = 0xE5;
    Put(2, "LABEL      ", 0x28);
    Put(3, "LONG       ", 0x0F);
    Put(4, "HIDDEN  SYS", 0x06);
    Put(5, "SUBDIR     ", 0x10);
    Put(6, "\0          ", 0);
    Put(7, "BEHIND  END", 0x20);  // after the end marker: never looked at
    Slot(6)[0] = 0;
    Relist();
    ASSERT_EQ(list.RowCount(), 3u);
    EXPECT_EQ(list.RowAt(0).text, "FILE.TXT");
    EXPECT_EQ(list.RowAt(1).text, "HIDDEN.SYS");
    EXPECT_EQ(list.RowAt(2).text, "SUBDIR");
    EXPECT_EQ(list.RowAt(0).icon, kFileIcon);
    EXPECT_EQ(list.RowAt(2).icon, kDirectoryIcon);
    EXPECT_EQ(list.RowAt(1).slotOffset, s.doc.bootOffset + RootDirectoryOffset(G()) + 4 * 32);
    EXPECT_EQ(list.StatusText(), "3 Object(s)");
}

TEST_F(DirectoryTest, ATruncatedImageListsOnlyWholeSlots) {
    Blank();
    for (std::uint32_t i = 0; i < 5; ++i) Put(i, "FILE       ", 0x20)[4] = static_cast<std::uint8_t>('0' + i);
    // Cut the image inside slot 3: slots 0-2 lie wholly before the end (the
    // slot that ends exactly at the cut does not count).
    s.doc.size = static_cast<std::uint32_t>(RootDirectoryOffset(G()) + 3 * 32 + 16);
    Relist();
    EXPECT_EQ(list.RowCount(), 3u);
    std::uint8_t field[11];
    MakeShortNameField("NEW", field);
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "NEW", field, false));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DirectoryTest, SlotPreferenceSameNameThenEndSlotThenDeleted) {
    Blank();
    std::uint8_t field[11];
    MakeShortNameField("NEW.TXT", field);
    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20)[0] = 0xE5;
    Put(2, "C       TXT", 0x20);
    auto found = FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", field, false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 3 * 32);
    EXPECT_EQ(found->position, 3u);
    EXPECT_FALSE(found->exists);

    // Every slot live but a deleted one at 5: slot 5, reported at the end.
    for (std::uint32_t i = 0; i < G().rootEntries; ++i) Put(i, "FILL       ", 0x20)[4] = static_cast<std::uint8_t>(i);
    Slot(5)[0] = 0xE5;
    found = FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", field, false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 5 * 32);
    EXPECT_EQ(found->position, G().rootEntries);

    // No slot at all: "Directory full!", unless silent.
    Slot(5)[0] = 'F';
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", field, true));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", field, false));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.Last().text, "Cannot add file 'NEW.TXT'!\n\nDirectory full!");
    EXPECT_EQ(ui.Last().Icon(), MB_ICONHAND);
    EXPECT_EQ(ui.Last().caption, "Korvane");
}

TEST_F(DirectoryTest, SameNameAsksToReplace) {
    Blank();
    std::uint8_t field[11];
    MakeShortNameField("B.TXT", field);
    Put(0, "A       TXT", 0x20);
    Put(1, "X       TXT", 0x20)[0] = 0xE5;
    Put(2, "B       TXT", 0x20);
    ui.answers = {IDNO, IDYES};
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "B.TXT", field, false));
    EXPECT_TRUE(ui.Showed("File 'B.TXT' already exists! Replace?", MB_YESNO | MB_ICONQUESTION));
    auto found = FindDirectorySlot(ui, G(), Vol(), Len(), "B.TXT", field, false);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->exists);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 2 * 32);
    // Silent: found without a question; labels and directories are compared too.
    Put(3, "VOLUME  X  ", 0x28);
    MakeShortNameField("VOLUME.X", field);
    found = FindDirectorySlot(ui, G(), Vol(), Len(), "VOLUME.X", field, true);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->exists);
    EXPECT_EQ(ui.messages.size(), 2u);
}

}  // namespace
}  // namespace kv::test
