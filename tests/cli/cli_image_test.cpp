// korvane-cli's image and file commands, run as a user runs them (against mtools: interop_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <set>

#include "cli/render.h"
#include "platform/string_table.h"
#include "tests/cli/cli_run.h"

namespace kv::test {
namespace {

class CliImageTest : public CliFixture {
protected:
    // A blank 720 KB a.dsk holding host file `name` of `size` pattern bytes.
    void ImageWith(const std::string& name, std::size_t size, unsigned seed) {
        ASSERT_EQ(Run("-q new " + Q("a.dsk")), 0) << output;
        WriteWholeFile(dir.File(name), Pattern(size, seed));
        SetLocalMTime(dir.File(name), "2004-06-15 10:20:30");
        ASSERT_EQ(Run("add " + Q("a.dsk") + " " + Q(name)), 0) << output;
    }
    // Overwrites bytes of a.dsk.
    void Patch(std::size_t offset, const std::string& bytes) {
        std::vector<std::uint8_t> data = ReadWholeFile(dir.File("a.dsk"));
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
        WriteWholeFile(dir.File("a.dsk"), data);
    }
    // What korvane-cli printed on stdout alone.
    std::string Stdout(const std::string& args, int status = 0) {
        std::string out;
        EXPECT_EQ(RunCli(args, &out, true), status) << args;
        return out;
    }
};

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
    EXPECT_EQ(Run("errors " + Q("a.dsk")), 0);
    EXPECT_EQ(output, "0\n9\n");
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --remove 0"), 0);
    EXPECT_EQ(ReadWholeFile(dir.File("a.der"))[20], 0x00);
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --add 1440"), 1);
    EXPECT_TRUE(Said("Invalid sector number!\n(out of range)"));
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --clear"), 0);
    EXPECT_FALSE(FileExists(dir.File("a.der")));
    // A side file that cannot be written fails the command.
    ASSERT_EQ(RunCommand("mkdir '" + dir.File("a.der") + "'"), 0);
    EXPECT_EQ(Run("errors " + Q("a.dsk") + " --add 5 7"), 1);
    EXPECT_TRUE(Said(dir.File("a.der") + "\n")) << output;
}

// A command that fails saves nothing: not what it did before failing, not a FAT repair at opening.
TEST_F(CliImageTest, AFailedCommandLeavesTheImageAsItWas) {
    ImageWith("f", 100, 4);
    ASSERT_EQ(RunCommand("mkdir '" + dir.File("sub") + "'"), 0);
    ASSERT_EQ(Run("add " + Q("a.dsk") + " " + Q("sub")), 0) << output;
    WriteWholeFile(dir.File("big"), Pattern(800 * 1024));
    Patch(2048 + 100, "\x12");  // FAT copy 2 differs
    const std::vector<std::uint8_t> before = ReadWholeFile(dir.File("a.dsk"));
    for (const std::string& args :
         {"--yes add " + Q("a.dsk") + " " + Q("f") + " " + Q("missing"), "--yes delete " + Q("a.dsk") + " F SUB",
          "--yes add " + Q("a.dsk") + " " + Q("big")}) {
        EXPECT_EQ(Run(args), 1) << args;
        EXPECT_TRUE(ReadWholeFile(dir.File("a.dsk")) == before) << args;
    }
    // An image that ends inside its root directory: the core shows nothing.
    std::vector<std::uint8_t> cut(before.begin(), before.begin() + 3584 + 16);
    WriteImage("cut.dsk", cut);
    EXPECT_EQ(Run("add " + Q("cut.dsk") + " " + Q("f")), 1);
    EXPECT_TRUE(Said(dir.File("f") + ": not added to " + dir.File("cut.dsk"))) << output;
}

TEST_F(CliImageTest, ExtractFailsWhenAFileComesOutIncomplete) {
    ImageWith("f", 3000, 5);
    Patch(512 + 3, "\xFF\x4F");  // the chain 2 -> 3 -> 4 ends after cluster 2
    ASSERT_EQ(RunCommand("mkdir '" + dir.File("out") + "'"), 0);
    for (const char* how : {"extract", "extract --overwrite"}) {
        EXPECT_EQ(Run(std::string(how) + " " + Q("a.dsk") + " F -d " + Q("out")), 1) << how;
        EXPECT_TRUE(Said("Error: stored file is corrupted!")) << output;
        EXPECT_EQ(ReadWholeFile(dir.File("out/F")).size(), 1024u) << "the part is kept";
    }
    EXPECT_EQ(Run("extract " + Q("a.dsk") + " F -d ''"), 2);
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

TEST_F(CliImageTest, ExtractCannotWriteOutsideTheFolder) {
    ImageWith("x", 1500, 1);
    // Give entries names that spell paths; all four share the one file's data.
    const std::size_t root = 3584;
    std::vector<std::uint8_t> data = ReadWholeFile(dir.File("a.dsk"));
    std::string slot(data.begin() + root, data.begin() + root + 32);
    const char* names[] = {"..         ", "../..   PWD", ".       \\  ", "/TMP    /X "};
    for (std::size_t i = 0; i < 4; ++i) Patch(root + 32 * i, std::string(names[i], 11) + slot.substr(11));
    const std::string target = dir.File("a/b/target");
    ASSERT_EQ(RunCommand("mkdir -p '" + target + "'"), 0);
    const std::string expected =
        "./b\n./b/target\n./b/target/.._\n./b/target/.._...PWD\n./b/target/_TMP._X\n./b/target/__\n";
    // --all, the same with --overwrite (the drag-out way), and named files.
    for (const char* how : {"extract", "extract --overwrite", "--yes extract"}) {
        const char* which = how[0] == '-' ? " '../*'" : " --all";
        ASSERT_EQ(Run(how + (" " + Q("a.dsk")) + which + " -d '" + target + "'"), 0) << how << output;
        std::string listing;
        RunCommand("cd '" + dir.File("a") + "' && find . -mindepth 1 | LC_ALL=C sort", &listing);
        EXPECT_EQ(listing, expected) << how;
    }
    EXPECT_FALSE(FileExists(dir.File("PWD")));
    EXPECT_EQ(ReadWholeFile(target + "/__"), Pattern(1500, 1));
}

TEST_F(CliImageTest, CheckReportsDamageAndExitsWithOne) {
    ImageWith("f", 3000, 2);
    ASSERT_EQ(Run("check " + Q("a.dsk")), 0) << output;
    // Cluster 10 in use in FAT copy 1 only: lost, and the copies differ.
    Patch(512 + 15, std::string("\xFF\x0F", 2));
    nlohmann::json report = nlohmann::json::parse(Stdout("check --json " + Q("a.dsk"), 1), nullptr, false);
    ASSERT_FALSE(report.is_discarded());
    EXPECT_FALSE(report["clean"].get<bool>());
    std::set<std::string> kinds;
    for (const auto& p : report["problems"]) kinds.insert(p["kind"]);
    EXPECT_EQ(kinds, (std::set<std::string>{"lost-clusters", "fat-copy-differs"}));
    EXPECT_EQ(report["problems"][0]["clusters"], nlohmann::json::array({10}));
}

TEST_F(CliImageTest, ListInfoAttribAndUsageErrors) {
    ImageWith("f", 2049, 3);
    EXPECT_EQ(Stdout("list " + Q("a.dsk")), "F                  2049  2004-06-15 10:20:30    A  \n");
    nlohmann::json info = nlohmann::json::parse(Stdout("info --json " + Q("a.dsk")), nullptr, false);
    EXPECT_EQ(info["usedBytes"], 3072);
    EXPECT_EQ(info["freeBytes"], 730112 - 3072);
    EXPECT_EQ(info["totalBytes"], 737280);
    EXPECT_TRUE(info["label"].is_null());
    EXPECT_EQ(Run("extract " + Q("a.dsk")), 2);
    EXPECT_EQ(Run("label " + Q("a.dsk") + " TWELVECHARSX"), 2);
    EXPECT_EQ(Run("attrib " + Q("a.dsk") + " F +x"), 2);
    EXPECT_EQ(Run("delete " + Q("a.dsk") + " NOSUCH"), 1);
    EXPECT_EQ(Stdout("attrib " + Q("a.dsk") + " f -a +h +r"), "RH     F\n");
}

// The help lists every command; a command's help is its own wherever --help stands.
TEST_F(CliImageTest, HelpListsEveryCommandAndACommandsHelpIsItsOwn) {
    EXPECT_EQ(Run("--help"), 0);
    for (const char* name : {"new", "info", "errors", "list", "add", "extract", "delete", "rename", "attrib", "label",
                             "check", "drives", "read-floppy", "write-floppy", "register"}) {
        EXPECT_TRUE(Said("\n  " + std::string(name) + " ")) << name;
    }
    for (const char* args : {"--yes list --help", "-q --help list a.dsk"}) {
        EXPECT_EQ(Run(args), 0) << args;
        EXPECT_TRUE(Said("Usage: korvane-cli list [OPTIONS] IMAGE")) << output;
    }
    EXPECT_EQ(Run("lis a.dsk"), 2);
    EXPECT_TRUE(Said("A subcommand is required")) << output;
}

TEST(CliText, JsonHoldsOnlyUtf8AndTheTerminalNoControlCharacters) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        std::string in, json, terminal;
    } cases[] = {
        {"A \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBE", "A \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBE",
         "A \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBE"},
        {"\xFF\x80", r + r, r + r},                          // no lead byte, a lone continuation
        {"\xC0\x80", r + r, r + r},                          // overlong
        {"\xED\xA0\x80", r + r + r, r + r + r},              // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r, r + r + r + r},  // above U+10FFFF
        {"\xE2\x82"
         "A",
         r + r + "A", r + r + "A"},            // cut short
        {"\x1B[31m", "\x1B[31m", r + "[31m"},  // an escape sequence
        {"\xC2\x9B"
         "2J",
         "\xC2\x9B"
         "2J",
         r + "2J"},  // C1's CSI
        {std::string("a\tb\r\n\x7F\0", 7), std::string("a\tb\r\n\x7F\0", 7), "a" + r + "b" + r + "\n" + r + r},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli::JsonText(c.in), c.json) << c.in;
        EXPECT_EQ(cli::TerminalText(c.in), c.terminal) << c.in;
        EXPECT_NO_THROW(nlohmann::json(cli::JsonText(c.in)).dump()) << c.in;
    }
}

TEST_F(CliImageTest, PathsAndBytesOfAnyKindAreShownSafely) {
    // A name that is no UTF-8 and holds an escape sequence, an OEM name of control and high bytes.
    const std::string name = "bad\xFF\x1B[31m\xC2\x9B\x7F.dsk";
    ASSERT_EQ(Run("-q new " + Q(name)), 0) << output;
    std::vector<std::uint8_t> data = ReadWholeFile(dir.File(name));
    std::memcpy(data.data() + 3, "\x1B[2J\x9B\xFF\x07!", 8);
    WriteWholeFile(dir.File(name), data);
    const std::string shownPath = dir.File("bad\xEF\xBF\xBD\x1B[31m\xC2\x9B\x7F.dsk");
    for (const char* command : {"list --json", "check --json", "info --json"}) {
        const std::string out = Stdout(std::string(command) + " " + Q(name));
        nlohmann::json j = nlohmann::json::parse(out, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << command << out;
        // Every control character escaped: C0 by JSON itself, DEL and C1 too.
        for (const char* control : {"\x1B", "\x7F", "\xC2\x9B"}) EXPECT_EQ(out.find(control), std::string::npos) << out;
        if (command[0] != 'i') continue;
        EXPECT_EQ(j["path"], shownPath);
        EXPECT_EQ(j["oemName"], "\xE2\x86\x90[2J\xC2\xA2\xC2\xA0\xE2\x80\xA2!");  // ←[2J¢ •!
    }
    // Text on stdout and messages on stderr, for good and bad paths and arguments.
    for (const std::string& args :
         std::vector<std::string>{"info " + Q(name), "check " + Q(name), "info " + Q(name + "x"), "new " + Q(name),
                                  "new x --format '\x1B[2J'", "list '\x1B\xFF'"}) {
        Run(args);
        for (char c : output) {
            ASSERT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) << args << ": " << output;
        }
        EXPECT_EQ(cli::JsonText(output), output) << args;
    }
    ASSERT_EQ(Run("info " + Q(name)), 0);
    EXPECT_TRUE(
        Said("Image:               " + dir.File("bad\xEF\xBF\xBD\xEF\xBF\xBD[31m\xEF\xBF\xBD\xEF\xBF\xBD.dsk\n")))
        << output;
}

}  // namespace
}  // namespace kv::test
