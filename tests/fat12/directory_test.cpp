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
const std::uint8_t* Bytes(const std::string& field) { return reinterpret_cast<const std::uint8_t*>(field.data()); }

TEST(ShortNames, FieldsTheirDisplayNamesAndAllowedCharacters) {
    struct Case {
        const char* text;
        const char* field;
        const char* shown;
    } cases[] = {
        {"README.TXT", "README  TXT", "README.TXT"},  {"NOEXT", "NOEXT      ", "NOEXT"},
        {"X.Y.Z", "X       Y.Z", "X.Y.Z"},           {".PROFILE", "        PRO", ".PRO"},
        {"MY FILE.TXT", "MY FILE TXT", "MY FILE.TXT"}, {"LONGFILENAME.TXT", "LONGFILENAM", "LONGFILE.NAM"},
        // 0xE5 first would read as a deleted slot: it is stored as 0x05 and
        // shown as the sigma it stands for; elsewhere in the name it stays.
        {"\xE5X.\xE5", "\x05X      \xE5  ", "\xE5X.\xE5"},
    };
    for (const Case& c : cases) {
        std::uint8_t slot[32] = {};
        std::memcpy(slot, c.field, 11);
        EXPECT_EQ(Field(c.text), c.field) << c.text;
        EXPECT_EQ(DisplayName(slot), c.shown) << c.text;
        EXPECT_TRUE(IsShownSlot(slot)) << c.text;
    }
    // A field cut short by a NUL ends there.
    const std::uint8_t field[8] = {'A', 'B', 0, 'C', ' ', ' ', ' ', ' '};
    EXPECT_EQ(TrimField(field, 8), "AB");

    for (const char* good : {"", "AZ09$%-_@{}~`!#()", "\x91\x80\xFF"}) EXPECT_TRUE(IsValidNameText(good)) << good;
    for (const char* bad : {" ", ".", "a", "'", "A B", "*", "?", "/", "\\"}) EXPECT_FALSE(IsValidNameText(bad)) << bad;
}

TEST(ShortNames, SafeHostNamesStayInsideTheirFolder) {
    // "..", "/" and "\" in names reach korvane-cli's crafted-image test as well.
    const std::pair<std::string, std::string> cases[] = {
        {"README.TXT", "README.TXT"}, {".", "_"}, {"..", "__"}, {"", "_"}, {"../ETC", ".._ETC"},
        {std::string("A\0B", 3), "A_B"}, {"A\\B", "A_B"}, {"\x82T\x90", "\xC3\xA9T\xC3\x89"},  // é T É
        {"\xE5X.\xE5", "\xCF\x83X.\xCF\x83"},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(SafeHostFileName(name), safe) << name;
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
    Relist();
    ASSERT_EQ(list.RowCount(), 3u);
    EXPECT_EQ(list.RowAt(0).text, "FILE.TXT");
    EXPECT_EQ(list.RowAt(1).text, "HIDDEN.SYS");
    EXPECT_EQ(list.RowAt(2).text, "SUBDIR");
    EXPECT_EQ(list.RowAt(0).kind, RowKind::File);
    EXPECT_EQ(list.RowAt(2).kind, RowKind::Directory);
    EXPECT_EQ(list.RowAt(1).slotOffset, s.doc.bootOffset + RootDirectoryOffset(G()) + 4 * 32);
    EXPECT_EQ(list.Status(), "3 Object(s)");

    // Cut the image inside slot 3: slots 0-2 lie wholly before the end (the
    // slot that ends exactly at the cut does not count).
    for (std::uint32_t i = 0; i < 5; ++i) Put(i, "FILE       ", 0x20)[4] = static_cast<std::uint8_t>('0' + i);
    s.doc.size = static_cast<std::uint32_t>(RootDirectoryOffset(G()) + 3 * 32 + 16);
    Relist();
    EXPECT_EQ(list.RowCount(), 3u);
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "NEW", Bytes(Field("NEW")), false));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DirectoryTest, SlotPreferenceSameNameThenEndSlotThenDeleted) {
    Blank();
    const std::string field = Field("NEW.TXT");
    auto find = [&](bool silent) {
        return FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", Bytes(field), silent);
    };
    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20)[0] = 0xE5;
    Put(2, "C       TXT", 0x20);
    auto found = find(false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 3 * 32);
    EXPECT_EQ(found->position, 3u);
    EXPECT_FALSE(found->exists);

    // Every slot live but a deleted one at 5: slot 5, reported at the end.
    FillRoot();
    Slot(5)[0] = 0xE5;
    found = find(false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 5 * 32);
    EXPECT_EQ(found->position, G().rootEntries);

    // Silent: a same name is found without a question, labels included.
    Put(7, "NEW     TXT", 0x28);
    found = find(true);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->exists);
    EXPECT_EQ(found->offset, RootDirectoryOffset(G()) + 7 * 32);
    Put(7, "FILL       ", 0x20);

    // No slot at all: "Directory full!", unless silent.
    Slot(5)[0] = 'F';
    EXPECT_FALSE(find(true));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(find(false));
    EXPECT_TRUE(ui.Showed("Cannot add file 'NEW.TXT'!\n\nDirectory full!", MB_ICONHAND));
}

}  // namespace
}  // namespace kv::test
