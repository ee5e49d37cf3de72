// korvane-cli's floppy commands with plain files for floppies: options, answers, summaries, side files.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/terminal_ui.h"
#include "platform/string_table.h"
#include "tests/cli/cli_run.h"

namespace kv::test {
namespace {

class FloppyCliTest : public CliFixture {
protected:
    // A blank image of format `code` as the file floppy source.flp.
    void Source(const char* code) { ASSERT_EQ(Run("-q new " + Q("source.flp") + " --format " + code), 0) << output; }
    int Read(const std::string& image, const std::string& options = "", const char* answer = "--yes ") {
        return Run(answer + ("read-floppy " + Q("source.flp") + " " + Q(image) + " " + options));
    }
};

TEST_F(FloppyCliTest, ReadingAFileFloppyGivesAnIdenticalImage) {
    Source("F0");
    ASSERT_EQ(Read("copy.dsk"), 0) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("copy.dsk")), ReadWholeFile(dir.File("source.flp")));
    EXPECT_TRUE(Said("Read 2880 sectors from ")) << output;
    EXPECT_TRUE(Said("; no sector ignored")) << output;
    EXPECT_TRUE(Said("Disk in ")) << output;  // the progress line
    EXPECT_FALSE(FileExists(dir.File("copy.der")));

    // With a format chosen, that format's sectors are read.
    ASSERT_EQ(Read("copy.dsk", "--format F9"), 0) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("copy.dsk")).size(), 737280u);
    EXPECT_EQ(Read("x.dsk", "--format F3"), 2);

    // Without --yes the warning is answered No and nothing is read.
    EXPECT_EQ(Read("no.dsk", "", ""), 1);
    EXPECT_TRUE(Said("Read data from current disk?")) << output;
    EXPECT_FALSE(FileExists(dir.File("no.dsk")));
}

TEST_F(FloppyCliTest, SectorsThatCannotBeReadAreIgnoredAndRecordedOrAbortTheRead) {
    // A 720 KB disk whose last 40 sectors are missing.
    Source("F9");
    ASSERT_EQ(RunCommand("truncate -s 716800 " + Q("source.flp")), 0);
    EXPECT_EQ(Read("abort.dsk"), 1);
    EXPECT_TRUE(Said("Disk sector 1400 cannot be read!")) << output;
    EXPECT_TRUE(Said("(no terminal to ask: answered Abort; --on-error chooses)")) << output;
    EXPECT_FALSE(FileExists(dir.File("abort.dsk")));

    ASSERT_EQ(Read("copy.dsk", "--on-error ignore"), 0) << output;
    EXPECT_TRUE(Said("; 40 sectors ignored (1400-1439)")) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("copy.dsk")).size(), 737280u);
    std::vector<std::uint8_t> der = ReadWholeFile(dir.File("copy.der"));
    ASSERT_EQ(der.size(), 200u);
    EXPECT_EQ(der[20 + 1400 / 8], 0xFF);
    EXPECT_EQ(der[20 + 1399 / 8], 0x00);

    // Retry gives up after a few attempts at the same sector.
    EXPECT_EQ(Read("retry.dsk", "--on-error retry"), 1);
    EXPECT_TRUE(Said("(answered Abort)")) << output;
}

TEST_F(FloppyCliTest, OnATerminalASectorErrorIsAskedWithRetryAsTheDefault) {
    if (!HaveProgram("script")) GTEST_SKIP() << "script (util-linux) runs the program on a terminal";
    Source("F9");
    ASSERT_EQ(RunCommand("truncate -s 736768 " + Q("source.flp")), 0);  // sector 1439 is missing
    // Enter retries the sector, "i" ignores it.
    std::string command = "'" KORVANE_CLI "' --yes read-floppy " + Q("source.flp") + " " + Q("copy.dsk");
    ASSERT_EQ(RunCommand("printf '\\ni\\n' | script -qec \"" + command + "\" /dev/null", &output), 0) << output;
    // Asked twice (the terminal's echo of the answers may come anywhere in between).
    std::size_t asked = 0;
    for (std::size_t at = 0; (at = output.find("[a]bort/[R]etry/[i]gnore?", at)) != std::string::npos; ++at) ++asked;
    EXPECT_EQ(asked, 2u) << output;
    EXPECT_TRUE(Said("; 1 sector ignored (1439)")) << output;
}

TEST_F(FloppyCliTest, AFileFloppyIsADiskOfItsSize) {
    ASSERT_EQ(Run("-q new " + Q("image.dsk") + " --format F9"), 0) << output;
    WriteWholeFile(dir.File("target.flp"), std::vector<std::uint8_t>(737280, 0xAA));
    ASSERT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("target.flp") + " --format-tracks"), 0) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("target.flp")), ReadWholeFile(dir.File("image.dsk")));
    EXPECT_TRUE(Said("Formatted 160 tracks, wrote 1440 of 1440 sectors to ")) << output;

    // A bigger image does not fit; an empty file is no disk.
    ASSERT_EQ(Run("-q new " + Q("big.dsk") + " --format F0"), 0) << output;
    EXPECT_EQ(Run("write-floppy " + Q("big.dsk") + " " + Q("target.flp")), 1);
    EXPECT_TRUE(Said("Disk sector 1440 cannot be written!\nThe drive cannot find the sector requested.")) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("target.flp")).size(), 737280u);
    WriteWholeFile(dir.File("blank.flp"), {});
    EXPECT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("blank.flp")), 1);
    EXPECT_TRUE(Said("The device is not ready: is there a disk in the drive?")) << output;
    EXPECT_TRUE(ReadWholeFile(dir.File("blank.flp")).empty());

    // Recorded media errors are warned about first.
    ASSERT_EQ(Run("-q errors " + Q("image.dsk") + " --add 17"), 0) << output;
    ASSERT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("target.flp")), 0) << output;
    EXPECT_TRUE(Said("WARNING: the selected disk-image contains informations about media-errors.")) << output;
}

TEST_F(FloppyCliTest, KorvaneDrivesNamesTheDrives) {
    Source("F9");
    const std::string drives = "KORVANE_DRIVES='" + dir.File("source.flp") + ":/dev/no-such-drive'";
    ASSERT_EQ(Run("drives", drives), 0) << output;
    EXPECT_EQ(output, "A: [" + dir.File("source.flp") + "]\nB: [/dev/no-such-drive]\n");
    ASSERT_EQ(Run("-q --yes read-floppy A: " + Q("copy.dsk"), drives), 0) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("copy.dsk")), ReadWholeFile(dir.File("source.flp")));
    EXPECT_EQ(Run("--yes read-floppy b " + Q("none.dsk"), drives), 1);
    EXPECT_TRUE(Said("B: [/dev/no-such-drive]\nThe device is not ready")) << output;
    ASSERT_EQ(Run("drives", "KORVANE_DRIVES="), 0);
    EXPECT_EQ(output, "No removable drives.\n");
}

TEST_F(FloppyCliTest, CustomFormatsForNewImages) {
    EXPECT_EQ(Run("new " + Q("initial.dsk") + " --format custom"), 1);
    EXPECT_TRUE(Said("FAT12 can number no more than 4084")) << output;
    EXPECT_FALSE(FileExists(dir.File("initial.dsk")));

    ASSERT_EQ(Run("new " + Q("custom.dsk") + " --format custom --custom sectors-per-cluster=8,sectors-per-fat=6"), 0)
        << output;
    std::vector<std::uint8_t> image = ReadWholeFile(dir.File("custom.dsk"));
    ASSERT_EQ(image.size(), 16384u * 512);
    EXPECT_EQ(image[13], 8);
    EXPECT_EQ(image[21], 0xF8);
    EXPECT_EQ(image[22], 6);

    EXPECT_EQ(Run("new " + Q("one.dsk") + " --format custom --custom sectors=1"), 1);
    EXPECT_TRUE(Said("UNDER CONSTRUCTION: Capacity of disk is <= 0 Bytes!")) << output;
    EXPECT_EQ(Run("new " + Q("bad.dsk") + " --format custom --custom cylinders=80"), 2);
    EXPECT_EQ(Run("new " + Q("bad.dsk") + " --custom heads=2"), 2);
    // Reading a floppy finds a bad key before it asks anything.
    EXPECT_EQ(Read("bad.dsk", "--format custom --custom cylinders=80", ""), 2);
    EXPECT_FALSE(Said("Read data from current disk?")) << output;
}

TEST_F(FloppyCliTest, RegisterWritesTheFilesWhereXdgDataHomeSays) {
    ASSERT_EQ(Run("register --program /usr/bin/korvane", "XDG_DATA_HOME='" + dir.File("data") + "'"), 0) << output;
    EXPECT_TRUE(Said("Registration successful!")) << output;
    EXPECT_TRUE(FileExists(dir.File("data/mime/packages/korvane-diskimage.xml")));
    std::vector<std::uint8_t> text = ReadWholeFile(dir.File("data/applications/korvane.desktop"));
    EXPECT_NE(std::string(text.begin(), text.end()).find("Exec=/usr/bin/korvane -W %f"), std::string::npos);
}

// A message box of each style on the terminal, with `typed` as the input.
TEST(TerminalPromptTest, EnterTakesTheDefaultButtonAndWhatCannotBeAskedTakesTheSafeAnswer) {
    using cli::AnswerMode;
    const struct {
        const char* typed;
        std::uint32_t style;
        AnswerMode mode;
        bool interactive;
        int answer;
        const char* shown = nullptr;
    } cases[] = {
        {"\n", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, AnswerMode::Ask, true, IDRETRY,
         "Go on\n[a]bort/[R]etry/[i]gnore? "},
        {"\n", MB_YESNO | MB_DEFBUTTON2, AnswerMode::Ask, true, IDNO},
        {"\n", MB_YESNO, AnswerMode::Ask, true, IDYES},
        {" \n", MB_YESNOCANCEL | MB_DEFBUTTON3, AnswerMode::Ask, true, IDCANCEL},
        {"\n", MB_OKCANCEL | MB_DEFBUTTON2, AnswerMode::Ask, true, IDCANCEL},
        {"x\nI\n", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, AnswerMode::Ask, true, IDIGNORE},
        {"", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, AnswerMode::Ask, true, IDABORT},    // end of input
        {"\n", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, AnswerMode::Yes, true, IDRETRY},  // --yes does not answer it
        {"\n", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, AnswerMode::Yes, false, IDABORT},
        {"n\n", MB_YESNO | MB_DEFBUTTON2, AnswerMode::Yes, true, IDYES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "typed '" << c.typed << "', style " << c.style);
        std::FILE* in = std::tmpfile();
        std::FILE* err = std::tmpfile();
        std::fputs(c.typed, in);
        std::rewind(in);
        cli::TerminalUi ui(err, in);
        ui.mode = c.mode;
        ui.interactive = c.interactive;
        EXPECT_EQ(ui.ShowMessageBox(kMainWindow, "Go on", ApplicationTitle(), c.style), c.answer);
        std::string shown;
        std::rewind(err);
        for (int ch; (ch = std::fgetc(err)) != EOF;) shown += static_cast<char>(ch);
        EXPECT_TRUE(!c.shown || shown == c.shown) << shown;
        std::fclose(in);
        std::fclose(err);
    }
}

}  // namespace
}  // namespace kv::test
