// korvane-cli's image commands, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/string_table.h"
#include "tests/cli/cli_run.h"

namespace kv::test {
namespace {

using CliImageTest = CliFixture;

TEST_F(CliImageTest, NewWritesTheBlankImageOfEveryFormat) {
    for (std::uint32_t code : {0xF0u, 0xF8u, 0xF9u, 0xFAu, 0xFBu, 0xFCu, 0xFDu, 0xFEu, 0xFFu}) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%X", code);
        SCOPED_TRACE(hex);
        ASSERT_EQ(Run("new " + Q("a.dsk") + " --force --format " + hex), 0) << output;
        EXPECT_TRUE(ReadWholeFile(dir.File("a.dsk")) == BlankImage(code));
    }
}

TEST_F(CliImageTest, NewDoesNotReplaceAFileUnlessForced) {
    ASSERT_EQ(Run("new " + Q("a.dsk") + " --format F0"), 0);
    EXPECT_EQ(Run("new " + Q("a.dsk")), 1);
    EXPECT_TRUE(Said("answered No")) << output;
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 1474560u) << "the old image is untouched";
    EXPECT_EQ(Run("new " + Q("a.dsk") + " --force"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 737280u);
    EXPECT_EQ(Run("--yes new " + Q("a.dsk") + " --format FE"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.dsk")).size(), 163840u);
    EXPECT_EQ(Run("new " + Q("b.dsk") + " --format F3"), 2) << "a media byte without a format is a usage error";
    EXPECT_EQ(Run("new"), 2);
}

TEST_F(CliImageTest, ErrorsKeepsTheSideFile) {
    ASSERT_EQ(Run("new " + Q("a.dsk")), 0);
    ASSERT_EQ(Run("errors " + Q("a.dsk") + " --add 0 9"), 0) << output;
    std::vector<std::uint8_t> side = ReadWholeFile(dir.File("a.der"));
    ASSERT_EQ(side.size(), 200u);
    EXPECT_EQ(side[20], 0x80);
    EXPECT_EQ(side[21], 0x40);
    EXPECT_EQ(Run("errors " + Q("a.dsk")), 0);
    EXPECT_EQ(output, "0\n9\n");
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --remove 0"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.der"))[20], 0x00);
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --add 1440"), 1);
    EXPECT_TRUE(Said("Invalid sector number!\n(out of range)"));
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --clear"), 0);
    EXPECT_FALSE(FileExists(dir.File("a.der")));
}

TEST_F(CliImageTest, BadAndReadOnlyImages) {
    WriteImage("small.dsk", std::vector<std::uint8_t>(511, 0));
    EXPECT_EQ(Run("info " + Q("small.dsk")), 1);
    EXPECT_TRUE(Said(LoadText(20))) << output;

    ASSERT_EQ(Run("new " + Q("a.dsk")), 0);
    ::chmod(dir.File("a.dsk").c_str(), 0444);
    EXPECT_EQ(Run("info " + Q("a.dsk")), 0) << "reading commands open read-only without a warning";
    EXPECT_FALSE(Said("READ-ONLY"));
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --add 5"), 1);
    EXPECT_TRUE(Said(LoadText(53))) << output;
    EXPECT_FALSE(FileExists(dir.File("a.der")));
}

}  // namespace
}  // namespace kv::test
