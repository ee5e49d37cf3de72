// korvane-cli's image commands, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/string_table.h"
#include "tests/support/temp_dir.h"

namespace kv {
namespace {

using test::ReadWholeFile;
using test::RunCommand;

class CliImageTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string output;

    int Cli(const std::string& args) {
        return RunCommand("cd " + dir.Path() + " && " + KORVANE_CLI + " " + args + " </dev/null", &output);
    }
    bool Said(const std::string& text) const { return output.find(text) != std::string::npos; }
};

TEST_F(CliImageTest, NewMakesA144MBImageByteForByte) {
    ASSERT_EQ(Cli("new a.dsk --format F0"), 0) << output;
    std::vector<std::uint8_t> b = ReadWholeFile(dir.File("a.dsk"));
    ASSERT_EQ(b.size(), 1474560u);
    const std::uint8_t head[] = {0xEB, 0xFE, 0x90, 'K',  'o',  'r',  'v',  'a',  'n',  'e',  '1',
                                 0x00, 0x02, 0x01, 0x01, 0x00, 0x02, 0xE0, 0x00, 0x40, 0x0B, 0xF0,
                                 0x09, 0x00, 0x12, 0x00, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(0, std::memcmp(b.data(), head, sizeof head)) << "jump, OEM name and the parameter block of row 0";
    EXPECT_EQ(0, std::memcmp(&b[512], "\xF0\xFF\xFF", 3));
    EXPECT_EQ(0, std::memcmp(&b[5120], "\xF0\xFF\xFF", 3));
    for (std::size_t i = 19 * 512; i < 33 * 512; ++i) ASSERT_EQ(b[i], 0) << "root directory at " << i;
    for (std::size_t i = 33 * 512; i < b.size(); ++i) ASSERT_EQ(b[i], 0xFF) << i;
}

TEST_F(CliImageTest, MtoolsListsEveryBlankImageAndTakesFilesIntoIt) {
    if (!test::HaveProgram("mcopy")) GTEST_SKIP() << "mtools not installed";
    test::WriteWholeFile(dir.File("hello.txt"), std::vector<std::uint8_t>(3000, 'h'));
    for (const char* code : {"F0", "F8", "F9", "FA", "FB", "FC", "FD", "FE", "FF"}) {
        SCOPED_TRACE(code);
        std::string image = std::string(code) + ".dsk";
        ASSERT_EQ(Cli("new " + image + " --format " + code), 0) << output;
        ASSERT_EQ(RunCommand("cd " + dir.Path() + " && MTOOLS_SKIP_CHECK=1 mdir -i " + image + " ::", &output), 0)
            << output;
        EXPECT_NE(output.find("No files"), std::string::npos) << output;
        ASSERT_EQ(RunCommand("cd " + dir.Path() + " && MTOOLS_SKIP_CHECK=1 mcopy -i " + image + " hello.txt ::HELLO.TXT"),
                  0);
        ASSERT_EQ(RunCommand("cd " + dir.Path() + " && MTOOLS_SKIP_CHECK=1 mtype -i " + image + " ::HELLO.TXT", &output), 0);
        EXPECT_EQ(output, std::string(3000, 'h'));
        EXPECT_EQ(Cli("info " + image), 0) << "Korvane still opens it after mtools wrote it: " << output;
    }
}

TEST_F(CliImageTest, NewDoesNotReplaceAFileUnlessForced) {
    ASSERT_EQ(Cli("new a.dsk --format F0"), 0);
    EXPECT_EQ(Cli("new a.dsk"), 1);
    EXPECT_TRUE(Said("answered No")) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 1474560u) << "the old image is untouched";
    EXPECT_EQ(Cli("new a.dsk --force"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 737280u);
    EXPECT_EQ(Cli("--yes new a.dsk --format FE"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 163840u);
    EXPECT_EQ(Cli("new b.dsk --format F3"), 2) << "a media byte without a format is a usage error";
    EXPECT_EQ(Cli("new"), 2);
}

TEST_F(CliImageTest, ErrorsKeepsTheSideFile) {
    ASSERT_EQ(Cli("new a.dsk"), 0);
    ASSERT_EQ(Cli("errors a.dsk --add 0 9"), 0) << output;
    std::vector<std::uint8_t> side = ReadWholeFile(dir.File("a.der"));
    ASSERT_EQ(side.size(), 200u);
    EXPECT_EQ(side[20], 0x80);
    EXPECT_EQ(side[21], 0x40);
    EXPECT_EQ(Cli("errors a.dsk"), 0);
    EXPECT_EQ(output, "0\n9\n");
    EXPECT_EQ(Cli("errors a.dsk --remove 0"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.der"))[20], 0x00);
    EXPECT_EQ(Cli("errors a.dsk --add 1440"), 1);
    EXPECT_TRUE(Said("Invalid sector number!\n(out of range)"));
    EXPECT_EQ(Cli("errors a.dsk --clear"), 0);
    EXPECT_FALSE(test::FileExists(dir.File("a.der")));

    test::WriteWholeFile(dir.File("a.der"), std::vector<std::uint8_t>(200, 'z'));
    EXPECT_EQ(Cli("errors a.dsk --add 3"), 0);
    EXPECT_TRUE(Said(LoadText(42))) << output;
    side = ReadWholeFile(dir.File("a.der"));
    EXPECT_EQ(0, std::memcmp(side.data(), "DiskImage errors\r\n\x1A\x00", 20)) << "replaced at the save";
    EXPECT_EQ(side[20], 0x10);
}

TEST_F(CliImageTest, BadImagesAreRefusedInTheSystemsWords) {
    test::WriteWholeFile(dir.File("small.dsk"), std::vector<std::uint8_t>(511, 0));
    EXPECT_EQ(Cli("info small.dsk"), 1);
    EXPECT_TRUE(Said(LoadText(20))) << output;

    std::vector<std::uint8_t> packed(2000, 0);
    packed[0] = 0xAA;
    packed[1] = 0x59;
    packed[6] = 1;
    test::WriteWholeFile(dir.File("packed.dsk"), packed);
    EXPECT_EQ(Cli("info packed.dsk"), 1);
    EXPECT_TRUE(Said(LoadText(54))) << output;

    EXPECT_EQ(Cli("info missing.dsk"), 1);
    EXPECT_TRUE(Said("missing.dsk\nNo such file or directory.")) << output;
}

TEST_F(CliImageTest, AReadOnlyImageOpensReadOnlyAndIsNotSaved) {
    ASSERT_EQ(Cli("new a.dsk"), 0);
    ::chmod(dir.File("a.dsk").c_str(), 0444);
    EXPECT_EQ(Cli("info a.dsk"), 0) << "reading commands open read-only without a warning";
    EXPECT_FALSE(Said("READ-ONLY"));
    EXPECT_EQ(Cli("errors a.dsk --add 5"), 1);
    EXPECT_TRUE(Said(LoadText(53))) << output;
    EXPECT_FALSE(test::FileExists(dir.File("a.der")));
}

}  // namespace
}  // namespace kv
