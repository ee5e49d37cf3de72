// korvane-cli against its peers on every format: each reads (and fsck.fat passes) what the other writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <set>

#include "document/disk_format.h"
#include "tests/cli/cli_run.h"
#include "tests/support/peers.h"

namespace kv::test {
namespace {

std::string Hex(std::uint32_t code) {
    char text[3];
    std::snprintf(text, sizeof text, "%X", code);
    return text;
}

class InteropTest : public CliFixture, public ::testing::WithParamInterface<std::uint32_t> {
protected:
    void SetUp() override {
        ::mkdir(in.c_str(), 0755);
        ::mkdir(out.c_str(), 0755);
    }
    const DiskFormat& F() const { return FindDiskFormat(s.formats, GetParam()); }
    std::size_t Cluster() const { return F().sectorsPerCluster * 512; }
    // Runs korvane-cli on the image: `command` IMAGE `args`.
    int Cli(const std::string& command, const std::string& args = "") {
        return Run(command + " '" + image + "' " + args);
    }
    // A host file in in/ with the pattern of `seed` and a fixed stamp.
    std::string HostFile(const std::string& name, std::size_t size, unsigned seed) {
        WriteWholeFile(in + "/" + name, Pattern(size, seed));
        SetLocalMTime(in + "/" + name, "2004-06-15 10:20:30");
        return in + "/" + name;
    }
    std::string image = dir.File("image.dsk"), in = dir.File("in"), out = dir.File("out");
};

TEST_P(InteropTest, KorvaneImagesAreReadByPeers) {
    ASSERT_EQ(Cli("-q new", "--format " + Hex(GetParam())), 0) << output;
    EXPECT_TRUE(ReadWholeFile(image) == BlankImage(GetParam()));
    if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    // Image name -> host name and size.
    const std::map<std::string, std::pair<std::string, std::size_t>> files = {
        {"README.TXT", {"readme.txt", 100}},
        {"DATA.BIN", {"Data.BIN", 3 * Cluster() + 1}},
        {"EMPTY", {"empty", 0}},
        {"LONGFILE.NAM", {"LongFileName.txt", Cluster()}},
        {"RO.TXT", {"ro.txt", 2 * Cluster()}},
    };
    // One add of them all; a later file replaces the first, whose clusters are freed and taken again.
    ::mkdir((in + "/old").c_str(), 0755);
    std::string paths = " '" + HostFile("old/README.TXT", 4 * Cluster(), 99) + "'";
    unsigned seed = 0;
    for (const auto& [name, host] : files) paths += " '" + HostFile(host.first, host.second, ++seed) + "'";
    ::chmod((in + "/ro.txt").c_str(), 0444);
    ::mkdir((in + "/Folder").c_str(), 0755);
    ASSERT_EQ(Cli("--yes add", paths + " '" + in + "/Folder'"), 0) << output;
    ASSERT_EQ(RunCli("list --json '" + image + "'", &output, true), 0);
    std::map<std::string, int> first;
    for (const auto& row : nlohmann::json::parse(output)) first[row["name"]] = row["firstCluster"];
    EXPECT_LT(first["README.TXT"], first["DATA.BIN"]) << "first fit takes the replaced file's clusters again";
    ASSERT_EQ(Cli("attrib", "readme.txt +s -a"), 0) << output;
    ASSERT_EQ(Cli("attrib", "empty +h"), 0) << output;
    ASSERT_EQ(Cli("label", "'Disk One'"), 0) << output;

    EXPECT_TRUE(PeerListing(image)["FOLDER"].directory);
    seed = 0;
    for (const auto& [name, host] : files) {
        ++seed;
        ASSERT_EQ(RunMtools("mcopy -n -m -i '" + image + "' '::" + name + "' '" + out + "/" + name + "'"), 0);
        EXPECT_EQ(ReadWholeFile(out + "/" + name), Pattern(host.second, seed)) << name;
        EXPECT_EQ(LocalMTime(out + "/" + name), "2004-06-15 10:20:30") << name;
    }
    const std::map<std::string, std::string> attributes = {{"README.TXT", "S"}, {"RO.TXT", "RA"},      {"EMPTY", "HA"},
                                                           {"DATA.BIN", "A"},   {"LONGFILE.NAM", "A"}, {"FOLDER", ""}};
    EXPECT_EQ(PeerAttributes(image), attributes);
    EXPECT_EQ(PeerLabel(image), "Disk One");
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
    EXPECT_EQ(Cli("check"), 0) << output;
    // mtools takes files into them, and Korvane reads them back.
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + in + "/readme.txt' ::PEER.TXT"), 0);
    ASSERT_EQ(Cli("extract", "peer.txt -d '" + out + "'"), 0) << output;
    EXPECT_EQ(ReadWholeFile(out + "/PEER.TXT"), ReadWholeFile(in + "/readme.txt"));
}

TEST_P(InteropTest, PeerImagesAreReadByKorvane) {
    if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    const DiskFormat& f = F();
    char mkfs[256];
    std::snprintf(mkfs, sizeof mkfs, "mkfs.fat -C -F 12 -f 2 -S 512 -s %u -r %u -M 0x%X -g %u/%u -i 12345678 '%s' %u",
                  f.sectorsPerCluster, f.rootEntries, GetParam(), f.heads, f.sectorsPerTrack, image.c_str(),
                  f.totalSectors / 2);
    ASSERT_EQ(RunCommand(mkfs, &output), 0) << output;
    const std::map<std::string, std::size_t> files = {
        {"README.TXT", 100}, {"DATA.BIN", 3 * Cluster() + 1}, {"EMPTY", 0}, {"CLUSTER.X", Cluster()}};
    unsigned seed = 0;
    for (const auto& [name, size] : files) {
        ASSERT_EQ(RunMtools("mcopy -m -i '" + image + "' '" + HostFile(name, size, ++seed) + "' ::" + name), 0);
    }
    // A long name gets long-name entries and a short alias; Korvane shows the alias.
    HostFile("Long File Name.txt", 77, 99);
    ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -m -i '" + image + "' '" + in + "/Long File Name.txt' ::"), 0);
    ASSERT_EQ(RunMtools("mmd -i '" + image + "' ::SUBDIR"), 0);
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + in + "/README.TXT' ::SUBDIR/INNER.TXT"), 0);
    ASSERT_EQ(RunMtools("mattrib -i '" + image + "' +r +h ::DATA.BIN"), 0);
    ASSERT_EQ(RunMtools("mattrib -i '" + image + "' +s -a ::README.TXT"), 0);
    ASSERT_EQ(RunMtools("mlabel -i '" + image + "' ::PEERDISK"), 0);

    std::map<std::string, std::string> peerAttributes = PeerAttributes(image);
    std::string json;
    ASSERT_EQ(RunCli("list --json '" + image + "'", &json, true), 0);
    std::set<std::string> names;
    for (const auto& row : nlohmann::json::parse(json, nullptr, false)) {
        std::string name = row["name"];
        names.insert(name);
        if (name == "SUBDIR") {
            EXPECT_TRUE(row["directory"].get<bool>());
            continue;
        }
        EXPECT_EQ(row["date"], "2004-06-15T10:20:30") << name;
        // mattrib names an entry by its long name when it has one.
        std::string letters;
        for (auto [bit, letter] : {std::pair{0x01u, 'R'}, {0x02u, 'H'}, {0x04u, 'S'}, {0x20u, 'A'}}) {
            if (row["attributes"].get<unsigned>() & bit) letters += letter;
        }
        EXPECT_EQ(letters, peerAttributes[name == "LONGFI~1.TXT" ? "Long File Name.txt" : name]) << name;
    }
    EXPECT_EQ(names, (std::set<std::string>{"README.TXT", "DATA.BIN", "EMPTY", "CLUSTER.X", "LONGFI~1.TXT", "SUBDIR"}));

    ASSERT_EQ(Cli("extract", "--all -d '" + out + "'"), 0) << output;
    for (const auto& [name, size] : files) {
        EXPECT_EQ(ReadWholeFile(out + "/" + name), ReadWholeFile(in + "/" + name)) << name;
        EXPECT_EQ(LocalMTime(out + "/" + name), "2004-06-15 10:20:30") << name;
    }
    EXPECT_EQ(ReadWholeFile(out + "/LONGFI~1.TXT"), Pattern(77, 99));
    struct stat st {};
    ::stat((out + "/DATA.BIN").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);  // read-only in the image, read-only on the host
    EXPECT_FALSE(FileExists(out + "/SUBDIR"));
    ASSERT_EQ(RunCli("label '" + image + "'", &json, true), 0);
    EXPECT_EQ(json, "PEERDISK\n");
    EXPECT_EQ(Cli("check"), 0) << output;

    // Changed by Korvane, the image stays clean: long-name entries go with their short entries.
    HostFile("Second Long Name.bin", 5, 98);
    ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -i '" + image + "' '" + in + "/Second Long Name.bin' ::"), 0);
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
    ASSERT_EQ(Cli("label", "NEWDISK"), 0) << output;
    ASSERT_EQ(Run("--yes delete '" + image + "' LONGFI~1.TXT"), 0) << output;
    ASSERT_EQ(Cli("rename", "SECOND~1.BIN SHORT.BIN"), 0) << output;
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
    EXPECT_EQ(PeerLabel(image), "NEWDISK");
    ASSERT_EQ(Cli("label", "--clear"), 0) << output;
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, InteropTest,
                         ::testing::Values(0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF),
                         [](const auto& param) { return Hex(param.param); });

}  // namespace
}  // namespace kv::test
