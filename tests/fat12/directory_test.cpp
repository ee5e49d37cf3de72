// Names, the listing of the root directory and the choice of a slot.
#include "fat12/directory.h"

#include <tuple>

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
        {"README.TXT", "README  TXT", "README.TXT"},
        {"NOEXT", "NOEXT      ", "NOEXT"},
        {"X.Y.Z", "X       Y.Z", "X.Y.Z"},
        {".PROFILE", "        PRO", ".PRO"},
        {"MY FILE.TXT", "MY FILE TXT", "MY FILE.TXT"},
        {"LONGFILENAME.TXT", "LONGFILENAM", "LONGFILE.NAM"},
        // A first 0xE5 (sigma) is stored as 0x05, which does not read as deleted.
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
    const std::pair<std::string, std::string> cases[] = {
        {"README.TXT", "README.TXT"},
        {".", "_"},
        {"..", "__"},
        {"", "_"},
        {"../ETC", ".._ETC"},
        {std::string("A\0B", 3), "A_B"},
        {"A\\B", "A_B"},
        {"\x82T\x90", "\xC3\xA9T\xC3\x89"},  // é T É
        {"\xE5X.\xE5", "\xCF\x83X.\xCF\x83"},
    };
    for (const auto& [name, safe] : cases) EXPECT_EQ(SafeHostFileName(name), safe) << name;
}

using DirectoryTest = FatFixture;

TEST_F(DirectoryTest, ListingShowsFilesHiddenEntriesAndDirectoriesOnlyUpToTheEndMarker) {
    Put(0, "FILE    TXT", 0x20);
    Put(1, "GONE    TXT", 0x20)[0] = 0xE5;
    Put(2, "LABEL      ", 0x28);
    Put(3, "LONG       ", 0x0F);
    Put(4, "HIDDEN  SYS", 0x06);
    Put(5, "SUBDIR     ", 0x10);
    Put(6, "\0          ", 0);
    Put(7, "BEHIND  END", 0x20);
    Relist();
    EXPECT_EQ(Rows(), (Texts{"FILE.TXT", "HIDDEN.SYS", "SUBDIR"}));
    EXPECT_EQ(list.RowAt(0).kind, RowKind::File);
    EXPECT_EQ(list.RowAt(2).kind, RowKind::Directory);
    EXPECT_EQ(list.RowAt(1).slotOffset, s.doc.bootOffset + SlotOffset(4));

    // Cut at the end of slot 3: only slots 0-2 lie wholly before the end.
    for (std::uint32_t i = 0; i < 5; ++i) Put(i, "FILE       ", 0x20)[4] = static_cast<std::uint8_t>('0' + i);
    s.doc.size = static_cast<std::uint32_t>(SlotOffset(4));
    Relist();
    EXPECT_EQ(list.RowCount(), 3u);
    EXPECT_FALSE(FindDirectorySlot(ui, G(), Vol(), Len(), "NEW", Bytes(Field("NEW")), false));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DirectoryTest, SlotPreferenceSameNameThenEndSlotThenFirstDeleted) {
    const std::string field = Field("NEW.TXT");
    auto find = [&](bool silent) { return FindDirectorySlot(ui, G(), Vol(), Len(), "NEW.TXT", Bytes(field), silent); };
    auto where = [](const std::optional<DirectorySlot>& slot) {
        return slot ? std::make_tuple(slot->offset, slot->position, slot->exists)
                    : std::make_tuple(std::uint64_t{0}, std::size_t{0}, false);
    };
    Put(0, "A       TXT", 0x20);
    Put(1, "B       TXT", 0x20)[0] = 0xE5;
    Put(2, "C       TXT", 0x20);
    EXPECT_EQ(where(find(false)), std::make_tuple(SlotOffset(3), 3ul, false));

    // Every slot live but deleted ones at 5 and 9: slot 5, reported at the end.
    FillRoot();
    Slot(5)[0] = Slot(9)[0] = 0xE5;
    EXPECT_EQ(where(find(false)), std::make_tuple(SlotOffset(5), std::size_t{G().rootEntries}, false));

    // Silent: a same name is found without a question, labels included.
    Put(7, "NEW     TXT", 0x28);
    EXPECT_EQ(where(find(true)), std::make_tuple(SlotOffset(7), 7ul, true));
    Put(7, "FILL       ", 0x20);

    // No slot at all: "Directory full!", unless silent.
    Slot(5)[0] = Slot(9)[0] = 'F';
    EXPECT_FALSE(find(true));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(find(false));
    EXPECT_TRUE(ui.Showed("Cannot add file 'NEW.TXT'!\n\nDirectory full!", MB_ICONHAND));
}

}  // namespace
}  // namespace kv::test
