// The values of the file list's cells and of the property pages.
#include <tuple>

#include "fat12/entries.h"
#include "fat12/properties.h"
#include "tests/fat12/fat_fixture.h"

namespace kv::test {
namespace {

class PropertiesTest : public FatFixture {
protected:
    void SetUp() override {
        Blank();
        CreateMediaErrorList(s.doc.errors, G().totalSectors);
    }
};

TEST_F(PropertiesTest, CellsAreMadeFromTheSlot) {
    struct Case {
        std::uint8_t attributes;
        std::uint32_t size;
        std::uint16_t date, time;
        const char* sizeText;
        const char* dateText;
        const char* letters;
    } cases[] = {
        {0x10, 99, 0x3279, 0x6470, "", "3/25/2005 12:35:32 PM", "    D"},
        {0x21, 1474560, 0, 0, "1,474,560", "", "R A  "},
        {0x27, 0, 0x0021, 0, "0", "", "RHAS "},
        {0x02, 7, 0x0021, 0x0001, "7", "1/1/1980 12:00:02 AM", " H   "},
        {0x20, 7, 0x0020, 0, "7", "", "  A  "},               // day 0: no date
        {0x20, 7, 0x0021, 0xC000, "7", "1/1/1980", "  A  "},  // hour 24: the date alone
    };
    for (const Case& c : cases) {
        std::uint8_t* slot = Put(0, "A       TXT", c.attributes, 0, c.size);
        WriteWord(slot + dir::kDate, c.date);
        WriteWord(slot + dir::kTime, c.time);
        EXPECT_EQ(SupplyCellText(slot, ListColumn::Size, locale), c.sizeText);
        EXPECT_EQ(SupplyCellText(slot, ListColumn::LastChange, locale), c.dateText) << c.date << " " << c.time;
        EXPECT_EQ(SupplyCellText(slot, ListColumn::Attributes, locale), c.letters);
    }
}

TEST_F(PropertiesTest, TheGeneralPageShowsTheEntry) {
    const std::string ini = dir.File("KORVANE.INI");
    std::string text = "; types\n[extensions]\ntxt = Text document\n";
    WriteWholeFile(ini, std::vector<std::uint8_t>(text.begin(), text.end()));

    GeneralPage readme = FillGeneralPage(Put(0, "README     ", 0x21, 2, 1536), G(), locale, ini);
    EXPECT_EQ(readme.name, "README");
    EXPECT_EQ(readme.type, "");
    EXPECT_EQ(readme.size, "1.50 KB (1,536 Byte), 2,048 Byte allocated");
    EXPECT_EQ(readme.date, "Tuesday, March 29, 2005 12:34:56 PM");
    EXPECT_TRUE(readme.checks.readOnly && readme.checks.archive && !readme.checks.hidden && !readme.checks.system);

    EXPECT_EQ(FillGeneralPage(Put(0, "NOTES   TXT", 0x20), G(), locale, ini).type, "Text document");
    EXPECT_EQ(FillGeneralPage(Put(0, "NOTES   DOC", 0x20), G(), locale, ini).type, "DOC file");
    EXPECT_EQ(FillGeneralPage(Put(0, "NOTES   TXT", 0x20), G(), locale, dir.File("none.ini")).type, "TXT file");

    GeneralPage folder = FillGeneralPage(Put(0, "SUB        ", 0x16, 0, 4096), G(), locale, ini);
    EXPECT_EQ(folder.type, "Directory");
    EXPECT_EQ(folder.size, "");
    EXPECT_TRUE(folder.directory && folder.checks.hidden && folder.checks.system);

    EXPECT_EQ(FileSizeText(1000, 1, locale), "0.98 KB (1,000 Byte), 1,024 Byte allocated");
    EXPECT_EQ(FileSizeText(4294967295u, 64, locale),
              "4,194,304.00 KB (4,294,967,295 Byte), 4,294,967,296 Byte allocated");
}

// The checks are read-only, hidden, archive and system; no other bit changes.
TEST_F(PropertiesTest, ApplyingAttributesChangesOnlyTheUserBits) {
    std::uint8_t* file = Put(0, "A       TXT", 0x21 | 0x40);
    EXPECT_FALSE(ApplyAttributes(s, file, {true, false, true, false}));
    EXPECT_FALSE(s.doc.modified);
    EXPECT_TRUE(ApplyAttributes(s, file, {false, true, true, true}));
    EXPECT_EQ(file[dir::kAttributes], 0x40 | attr::kHidden | attr::kArchive | attr::kSystem);
    EXPECT_TRUE(s.doc.modified);
    std::uint8_t* folder = Put(1, "SUB        ", 0x10);
    EXPECT_TRUE(SetEntryAttributes(s, folder, 0x07 | 0x08 | 0x40));
    EXPECT_EQ(folder[dir::kAttributes], 0x17);
}

TEST_F(PropertiesTest, TheVolumePageCountsClustersAndTheWholeFile) {
    VolumePage page = FillVolumePage(s.doc, locale);
    EXPECT_EQ(page.used, "0");
    EXPECT_EQ(page.free, "730,112");
    EXPECT_EQ(page.total, "737,280");
    Link({2, 3});
    WriteFatEntry(Vol(), Len(), 10, 0xFF7);  // a bad cluster counts as used
    Vol()[boot::kOemName + 2] = 0x1B;        // no control character reaches the screen
    Vol()[boot::kOemName + 5] = 0;
    page = FillVolumePage(s.doc, locale);
    EXPECT_EQ(page.usedBytes, 3u * 1024);
    EXPECT_EQ(page.oemSignature, "Ko\u2190va");
    EXPECT_EQ(FillVolumePage(ImageDocument{}, locale).total, "0");
}

TEST_F(PropertiesTest, SectorNumbersAreReadAsTheAddSectorDialogReadsThem) {
    struct Case {
        const char* text;
        std::int64_t result;
        const char* message;
    } cases[] = {
        {"12abc", 12, nullptr},
        {"  7", 7, nullptr},
        {"1439", 1439, nullptr},
        {"1440", -1, "Invalid sector number!\n(out of range)"},
        {"99999999999", -1, "Invalid sector number!\n(out of range)"},
        {"abc", -1, "No sector number specified!"},
        {"", -1, "No sector number specified!"},
        {"-3", -1, "No sector number specified!"},
    };
    for (const Case& c : cases) {
        ui.Clear();
        EXPECT_EQ(ReadSectorNumber(ui, kMainWindow, c.text, 1440), c.result) << c.text;
        if (c.message) {
            EXPECT_TRUE(ui.Showed(c.message, MB_ICONHAND)) << c.text;
        } else {
            EXPECT_TRUE(ui.messages.empty()) << c.text;
        }
    }
}

TEST_F(PropertiesTest, TheErrorsPageRebuildsTheListFromItsRows) {
    MarkBadSector(s.doc.errors, 7);
    EXPECT_EQ(FillErrorsPage(s.doc).rows, std::vector<std::string>{"7"});
    ApplyErrorsPage(s.doc.errors, {"7", "5", "5", "99999"});
    EXPECT_EQ(FillErrorsPage(s.doc).rows, (std::vector<std::string>{"5", "7"}));
    EXPECT_FALSE(s.doc.modified);
    ApplyErrorsPage(s.doc.errors, {});
    EXPECT_FALSE(HasMediaErrors(s.doc.errors));

    MediaErrorList none;
    ApplyErrorsPage(none, {"1"});
    EXPECT_FALSE(none.bytes);
}

// The errors page needs a list unless all pages are asked; the media page only then.
TEST_F(PropertiesTest, TheImagePagesAndTheMediaPage) {
    EXPECT_EQ(std::make_pair(ImagePropertiesPages(s.doc, false).errors, ImagePropertiesPages(s.doc, false).media),
              std::make_pair(true, false));
    EXPECT_TRUE(ImagePropertiesPages(s.doc, true).media);
    s.doc.errors = MediaErrorList{};
    EXPECT_FALSE(ImagePropertiesPages(s.doc, false).errors);
    EXPECT_TRUE(ImagePropertiesPages(s.doc, true).errors);

    MediaPage page = FillMediaPage(s.doc);
    EXPECT_EQ(
        std::make_tuple(page.bytesPerSector, page.totalSectors, page.sectorsPerFat, page.rootEntries, page.harddisk),
        std::make_tuple(512u, 1440u, 3u, 112u, false));
    WriteWord(Vol() + boot::kHiddenSectors, 17);
    s.doc.geometry.totalSectors = 0;
    page = FillMediaPage(s.doc);
    EXPECT_EQ(page.hiddenSectors, 17u);
    EXPECT_TRUE(page.harddisk);
}

}  // namespace
}  // namespace kv::test
