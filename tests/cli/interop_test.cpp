// korvane-cli against real peers: images Korvane writes are read by mtools and
// pass fsck.fat, images mkfs.fat and mtools write are read by Korvane, on
// every format of the table.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "tests/cli/cli_run.h"
#include "tests/support/peers.h"

namespace kv::test {
namespace {

struct Format {
    const char* code;
    std::uint32_t sectors, sectorsPerCluster, rootEntries, sectorsPerTrack, heads;
};
const Format kFormats[] = {
    {"F0", 2880, 1, 224, 18, 2}, {"F8", 720, 2, 112, 9, 1},  {"F9", 1440, 2, 112, 9, 2},
    {"FA", 640, 2, 112, 8, 1},   {"FB", 1280, 2, 112, 8, 2}, {"FC", 360, 1, 64, 9, 1},
    {"FD", 720, 2, 112, 9, 2},   {"FE", 320, 1, 64, 8, 1},   {"FF", 640, 2, 112, 8, 2},
};

nlohmann::json ListJson(const std::string& image) {
    std::string out;
    EXPECT_EQ(RunCli("list --json '" + image + "'", &out, true), 0);
    return nlohmann::json::parse(out, nullptr, false);
}

std::string Letters(unsigned attributes) {
    std::string letters;
    if (attributes & 0x01) letters += 'R';
    if (attributes & 0x02) letters += 'H';
    if (attributes & 0x04) letters += 'S';
    if (attributes & 0x20) letters += 'A';
    return letters;
}

class InteropTest : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    }
    TempDir dir;
};

TEST_P(InteropTest, KorvaneImagesAreReadByPeers) {
    const Format& f = GetParam();
    const std::string image = dir.File("k.dsk");
    ASSERT_EQ(RunCli("-q new '" + image + "' --format " + f.code), 0);
    const std::string in = dir.File("in");
    ::mkdir(in.c_str(), 0755);
    const std::size_t cluster = f.sectorsPerCluster * 512;
    const std::map<std::string, std::pair<std::string, std::size_t>> files = {
        {"README.TXT", {"readme.txt", 100}},         {"DATA.BIN", {"Data.BIN", 3 * cluster + 1}},
        {"EMPTY", {"empty", 0}},                     {"LONGFILE.NAM", {"LongFileName.txt", cluster}},
        {"RO.TXT", {"ro.txt", 2 * cluster}},
    };
    std::string paths;
    unsigned seed = 0;
    for (const auto& [name, host] : files) {
        WriteWholeFile(in + "/" + host.first, Pattern(host.second, ++seed));
        SetLocalMTime(in + "/" + host.first, "2004-06-15 10:20:30");
        paths += " '" + in + "/" + host.first + "'";
    }
    ::chmod((in + "/ro.txt").c_str(), 0444);
    ::mkdir((in + "/Folder").c_str(), 0755);
    SetLocalMTime(in + "/Folder", "2004-06-15 10:20:30");
    std::string out;
    ASSERT_EQ(RunCli("add '" + image + "'" + paths + " '" + in + "/Folder'", &out), 0) << out;
    ASSERT_EQ(RunCli("attrib '" + image + "' readme.txt +s -a", &out), 0) << out;
    ASSERT_EQ(RunCli("attrib '" + image + "' empty +h", &out), 0) << out;
    ASSERT_EQ(RunCli("label '" + image + "' 'Disk One'", &out), 0) << out;

    std::map<std::string, PeerEntry> peer = PeerListing(image);
    EXPECT_EQ(peer.size(), files.size() + 1);
    ASSERT_TRUE(peer.count("FOLDER"));
    EXPECT_TRUE(peer["FOLDER"].directory);
    std::map<std::string, std::string> attributes = PeerAttributes(image);
    const std::string outDir = dir.File("out");
    ::mkdir(outDir.c_str(), 0755);
    seed = 0;
    for (const auto& [name, host] : files) {
        ++seed;
        ASSERT_TRUE(peer.count(name)) << name;
        EXPECT_EQ(peer[name].size, host.second) << name;
        EXPECT_EQ(peer[name].minute, "2004-06-15 10:20") << name;
        ASSERT_EQ(RunMtools("mcopy -n -m -i '" + image + "' '::" + name + "' '" + outDir + "/" + name + "'"), 0);
        EXPECT_EQ(ReadWholeFile(outDir + "/" + name), Pattern(host.second, seed)) << name;
        EXPECT_EQ(LocalMTime(outDir + "/" + name), "2004-06-15 10:20:30") << name;
    }
    EXPECT_EQ(attributes["README.TXT"], "S");
    EXPECT_EQ(attributes["RO.TXT"], "RA");
    EXPECT_EQ(attributes["EMPTY"], "HA");
    EXPECT_EQ(attributes["DATA.BIN"], "A");
    EXPECT_EQ(PeerLabel(image), "Disk One");
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
    EXPECT_EQ(RunCli("check '" + image + "'", &out), 0) << out;

    // Deleting and renaming keep the image sound for the peers too.
    ASSERT_EQ(RunCli("--yes delete '" + image + "' data.bin", &out), 0) << out;
    ASSERT_EQ(RunCli("rename '" + image + "' EMPTY new.txt", &out), 0) << out;
    ASSERT_EQ(RunCli("add '" + image + "' '" + in + "/Data.BIN'", &out), 0) << out;
    peer = PeerListing(image);
    EXPECT_TRUE(peer.count("NEW.TXT"));
    EXPECT_FALSE(peer.count("EMPTY"));
    ASSERT_EQ(RunMtools("mcopy -n -i '" + image + "' ::DATA.BIN '" + outDir + "/again'"), 0);
    EXPECT_EQ(ReadWholeFile(outDir + "/again"), ReadWholeFile(in + "/Data.BIN"));
    // And mtools takes files into them.
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + in + "/readme.txt' ::PEER.TXT"), 0);
    ASSERT_EQ(RunCli("extract '" + image + "' peer.txt -d '" + outDir + "'", &out), 0) << out;
    EXPECT_EQ(ReadWholeFile(outDir + "/PEER.TXT"), ReadWholeFile(in + "/readme.txt"));
    EXPECT_EQ(UnexpectedFsckFindings(image), "");
    EXPECT_EQ(RunCli("check '" + image + "'", &out), 0) << out;
}

TEST_P(InteropTest, PeerImagesAreReadByKorvane) {
    const Format& f = GetParam();
    const std::string image = dir.File("p.dsk");
    char mkfs[256];
    std::snprintf(mkfs, sizeof mkfs, "mkfs.fat -C -F 12 -f 2 -S 512 -s %u -r %u -M 0x%s -g %u/%u -i 12345678 '%s' %u",
                  f.sectorsPerCluster, f.rootEntries, f.code, f.heads, f.sectorsPerTrack, image.c_str(), f.sectors / 2);
    std::string out;
    ASSERT_EQ(RunCommand(mkfs, &out), 0) << out;
    const std::string in = dir.File("in");
    ::mkdir(in.c_str(), 0755);
    const std::size_t cluster = f.sectorsPerCluster * 512;
    const std::map<std::string, std::size_t> files = {
        {"README.TXT", 100}, {"DATA.BIN", 3 * cluster + 1}, {"EMPTY", 0}, {"CLUSTER.X", cluster}};
    unsigned seed = 0;
    for (const auto& [name, size] : files) {
        WriteWholeFile(in + "/" + name, Pattern(size, ++seed));
        SetLocalMTime(in + "/" + name, "2004-06-15 10:20:30");
        ASSERT_EQ(RunMtools("mcopy -m -i '" + image + "' '" + in + "/" + name + "' ::" + name, &out), 0) << out;
    }
    // A long name gets long-name entries and a short alias; Korvane shows the alias.
    WriteWholeFile(in + "/Long File Name.txt", Pattern(77, 99));
    SetLocalMTime(in + "/Long File Name.txt", "2004-06-15 10:20:30");
    ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -m -i '" + image + "' '" + in + "/Long File Name.txt' ::", &out), 0)
        << out;
    ASSERT_EQ(RunMtools("mmd -i '" + image + "' ::SUBDIR"), 0);
    ASSERT_EQ(RunMtools("mcopy -i '" + image + "' '" + in + "/README.TXT' ::SUBDIR/INNER.TXT"), 0);
    ASSERT_EQ(RunMtools("mattrib -i '" + image + "' +r +h ::DATA.BIN"), 0);
    ASSERT_EQ(RunMtools("mattrib -i '" + image + "' +s -a ::README.TXT"), 0);
    ASSERT_EQ(RunMtools("mlabel -i '" + image + "' ::PEERDISK"), 0);

    std::map<std::string, std::string> peerAttributes = PeerAttributes(image);
    nlohmann::json rows = ListJson(image);
    std::set<std::string> names;
    for (const auto& row : rows) {
        std::string name = row["name"];
        names.insert(name);
        if (name == "SUBDIR") {
            EXPECT_TRUE(row["directory"].get<bool>());
            continue;
        }
        EXPECT_EQ(row["date"], "2004-06-15T10:20:30") << name;
        // mattrib names an entry by its long name when it has one.
        EXPECT_EQ(Letters(row["attributes"]), peerAttributes[name == "LONGFI~1.TXT" ? "Long File Name.txt" : name])
            << name;
        if (files.count(name)) {
            EXPECT_EQ(row["size"], files.at(name)) << name;
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"README.TXT", "DATA.BIN", "EMPTY", "CLUSTER.X", "LONGFI~1.TXT", "SUBDIR"}));

    const std::string outDir = dir.File("out");
    ::mkdir(outDir.c_str(), 0755);
    ASSERT_EQ(RunCli("extract '" + image + "' --all -d '" + outDir + "'", &out), 0) << out;
    for (const auto& [name, size] : files) {
        EXPECT_EQ(ReadWholeFile(outDir + "/" + name), ReadWholeFile(in + "/" + name)) << name;
        EXPECT_EQ(LocalMTime(outDir + "/" + name), "2004-06-15 10:20:30") << name;
    }
    EXPECT_EQ(ReadWholeFile(outDir + "/LONGFI~1.TXT"), Pattern(77, 99));
    struct stat st {};
    ::stat((outDir + "/DATA.BIN").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);  // read-only in the image, read-only on the host
    EXPECT_FALSE(FileExists(outDir + "/SUBDIR"));
    ASSERT_EQ(RunCli("label '" + image + "'", &out, true), 0);
    EXPECT_EQ(out, "PEERDISK\n");
    EXPECT_EQ(RunCli("check '" + image + "'", &out), 0) << out;
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, InteropTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.code); });

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
        image = dir.File("a.dsk");
        ASSERT_EQ(RunCli("-q new '" + image + "'"), 0);
    }
    // Overwrites bytes of the image file.
    void Patch(std::size_t offset, const std::string& bytes) {
        std::vector<std::uint8_t> data = ReadWholeFile(image);
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
        WriteWholeFile(image, data);
    }
    TempDir dir;
    std::string image;
};

TEST_F(CliTest, ExtractAllCannotWriteOutsideTheFolder) {
    WriteWholeFile(dir.File("x"), Pattern(1500, 1));
    std::string out;
    ASSERT_EQ(RunCli("add '" + image + "' '" + dir.File("x") + "'", &out), 0) << out;
    // Give entries names that spell paths; all four share the one file's data.
    const std::size_t root = 3584;
    std::vector<std::uint8_t> data = ReadWholeFile(image);
    std::string slot(data.begin() + root, data.begin() + root + 32);
    const char* names[] = {"..         ", "../..   PWD", ".       \\  ", "/TMP    /X "};
    for (int i = 0; i < 4; ++i) Patch(root + 32 * i, std::string(names[i], 11) + slot.substr(11));
    const std::string target = dir.File("a/b/target");
    ASSERT_EQ(RunCommand("mkdir -p '" + target + "'"), 0);
    ASSERT_EQ(RunCli("extract '" + image + "' --all -d '" + target + "'", &out), 0) << out;
    const std::string expected =
        "./b\n./b/target\n./b/target/.._\n./b/target/.._...PWD\n./b/target/_TMP._X\n./b/target/__\n";
    std::string listing;
    RunCommand("cd '" + dir.File("a") + "' && find . -mindepth 1 | LC_ALL=C sort", &listing);
    EXPECT_EQ(listing, expected);
    EXPECT_FALSE(FileExists(dir.File("PWD")));
    EXPECT_EQ(ReadWholeFile(target + "/__"), Pattern(1500, 1));
    // The same with --overwrite (the drag-out way) and with named files.
    ASSERT_EQ(RunCli("extract '" + image + "' --overwrite --all -d '" + target + "'", &out), 0) << out;
    ASSERT_EQ(RunCli("--yes extract '" + image + "' '../*' -d '" + target + "'", &out), 0) << out;
    RunCommand("cd '" + dir.File("a") + "' && find . -mindepth 1 | LC_ALL=C sort", &listing);
    EXPECT_EQ(listing, expected);
}

TEST_F(CliTest, CheckReportsDamageAndExitsWithOne) {
    WriteWholeFile(dir.File("f"), Pattern(3000, 2));
    std::string out;
    ASSERT_EQ(RunCli("add '" + image + "' '" + dir.File("f") + "'", &out), 0) << out;
    ASSERT_EQ(RunCli("check '" + image + "'", &out), 0) << out;
    // Cluster 10 in use in FAT copy 1 only: lost, and the copies differ.
    Patch(512 + 15, std::string("\xFF\x0F", 2));
    ASSERT_EQ(RunCli("check --json '" + image + "'", &out, true), 1);
    nlohmann::json report = nlohmann::json::parse(out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << out;
    EXPECT_FALSE(report["clean"].get<bool>());
    std::set<std::string> kinds;
    for (const auto& p : report["problems"]) kinds.insert(p["kind"]);
    EXPECT_EQ(kinds, (std::set<std::string>{"lost-clusters", "fat-copy-differs"}));
    EXPECT_EQ(report["problems"][0]["clusters"], nlohmann::json::array({10}));
}

TEST_F(CliTest, ListInfoAndUsageErrors) {
    WriteWholeFile(dir.File("f"), Pattern(2049, 3));
    SetLocalMTime(dir.File("f"), "2004-06-15 10:20:30");
    std::string out;
    ASSERT_EQ(RunCli("add '" + image + "' '" + dir.File("f") + "'", &out), 0) << out;
    ASSERT_EQ(RunCli("list '" + image + "'", &out, true), 0);
    EXPECT_EQ(out, "F                  2049  2004-06-15 10:20:30    A  \n");
    ASSERT_EQ(RunCli("info --json '" + image + "'", &out, true), 0);
    nlohmann::json info = nlohmann::json::parse(out, nullptr, false);
    EXPECT_EQ(info["usedBytes"], 3072);
    EXPECT_EQ(info["freeBytes"], 730112 - 3072);
    EXPECT_EQ(info["totalBytes"], 737280);
    EXPECT_TRUE(info["label"].is_null());
    EXPECT_EQ(RunCli("extract '" + image + "'"), 2);
    EXPECT_EQ(RunCli("label '" + image + "' TWELVECHARSX"), 2);
    EXPECT_EQ(RunCli("attrib '" + image + "' F +x"), 2);
    EXPECT_EQ(RunCli("delete '" + image + "' NOSUCH"), 1);
    ASSERT_EQ(RunCli("attrib '" + image + "' f -a +h +r", &out, true), 0);
    EXPECT_EQ(out, "RH     F\n");
}

}  // namespace
}  // namespace kv::test
