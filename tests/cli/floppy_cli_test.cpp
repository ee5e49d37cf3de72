// korvane-cli's floppy commands, run as a user runs them, with plain files
// standing in for floppies. The transfers themselves are tested in the floppy
// layer; these tests hold the options, answers, summaries and side files.
#include <gtest/gtest.h>

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

TEST_F(FloppyCliTest, WritingToAFileFloppy) {
    ASSERT_EQ(Run("-q new " + Q("image.dsk") + " --format F9"), 0) << output;
    WriteWholeFile(dir.File("target.flp"), {});
    ASSERT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("target.flp")), 0) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("target.flp")), ReadWholeFile(dir.File("image.dsk")));
    EXPECT_TRUE(Said("Wrote 1440 of 1440 sectors to ")) << output;

    // A file cannot be formatted: refused before anything is written.
    WriteWholeFile(dir.File("blank.flp"), {});
    EXPECT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("blank.flp") + " --format-tracks"), 1);
    EXPECT_TRUE(Said("This drive cannot format tracks")) << output;
    EXPECT_TRUE(ReadWholeFile(dir.File("blank.flp")).empty());

    // Recorded media errors are warned about first.
    ASSERT_EQ(Run("-q errors " + Q("image.dsk") + " --add 17"), 0) << output;
    ASSERT_EQ(Run("write-floppy " + Q("image.dsk") + " " + Q("target.flp")), 0) << output;
    EXPECT_TRUE(Said("WARNING: the selected disk-image contains informations about media-errors.")) << output;
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
}

TEST_F(FloppyCliTest, RegisterWritesTheFilesWhereXdgDataHomeSays) {
    ASSERT_EQ(Run("register --program /usr/bin/korvane", "XDG_DATA_HOME='" + dir.File("data") + "'"), 0) << output;
    EXPECT_TRUE(Said("Registration successful!")) << output;
    EXPECT_TRUE(FileExists(dir.File("data/mime/packages/korvane-diskimage.xml")));
    std::vector<std::uint8_t> text = ReadWholeFile(dir.File("data/applications/korvane.desktop"));
    EXPECT_NE(std::string(text.begin(), text.end()).find("Exec=/usr/bin/korvane -W %f"), std::string::npos);
}

}  // namespace
}  // namespace kv::test
