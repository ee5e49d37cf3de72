// Random add, delete, rename, attribute and label steps through korvane-cli, checked against a model
// of the root directory and against mtools. KORVANE_SEED repeats a run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <map>
#include <random>

#include "tests/cli/cli_run.h"
#include "tests/support/peers.h"

namespace kv::test {
namespace {

struct ModelFile {
    std::vector<std::uint8_t> data;
    std::string attributes = "A";  // letters R, H, S, A in this order
};

class Differential {
public:
    Differential(const char* format, std::size_t clusterBytes, std::size_t clusters, unsigned seed)
        : clusterBytes_(clusterBytes), clusters_(clusters), random_(seed) {
        EXPECT_EQ(Cli(std::string("-q new"), std::string("--format ") + format), 0);
        ::mkdir(dir_.File("in").c_str(), 0755);
    }

    // Returns how many adds were refused as not fitting.
    int Run(int steps) {
        for (int step = 0; step < steps && !::testing::Test::HasFatalFailure(); ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            const std::size_t pick = Pick(10);
            if (pick < 4)
                Add();
            else if (pick < 6)
                Delete();
            else if (pick < 7)
                Rename();
            else if (pick < 9)
                Attrib();
            else
                Label();
            if (step % 40 == 39) Compare();
        }
        Compare();
        EXPECT_EQ(UnexpectedFsckFindings(image_), "");
        EXPECT_EQ(Cli("check"), 0) << out_;
        return refusals_;
    }

private:
    static constexpr const char* kNames[] = {"A.TXT", "B.TXT", "C", "DATA.BIN", "LONGNAME.DOC", "X.Y", "Z1", "Q$.(1)"};

    // Runs korvane-cli: `command` IMAGE `args`; its output goes to out_.
    int Cli(const std::string& command, const std::string& args = "", bool stdoutOnly = false) {
        return RunCli(command + " '" + image_ + "' " + args, &out_, stdoutOnly);
    }
    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    std::string AnyName() { return kNames[Pick(std::size(kNames))]; }
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::size_t ClustersOf(std::size_t size) const { return (size + clusterBytes_ - 1) / clusterBytes_; }

    void Add() {
        std::string name = AnyName();
        std::size_t size = Pick(4) == 0 ? 0 : Pick(Pick(3) == 0 ? clusterBytes_ * clusters_ / 2 : 3 * clusterBytes_);
        std::vector<std::uint8_t> data(size);
        for (auto& b : data) b = static_cast<std::uint8_t>(random_());
        const std::string host = dir_.File("in/" + Lower(name));
        WriteWholeFile(host, data);
        std::size_t used = ClustersOf(size);
        for (const auto& [other, file] : files_) used += other == name ? 0 : ClustersOf(file.data.size());
        if (used <= clusters_) {
            ASSERT_EQ(Cli("--yes add", "'" + host + "'"), 0) << "add " << name << " (" << size << " bytes): " << out_;
            files_[name] = ModelFile{data, "A"};
        } else {
            ASSERT_EQ(Cli("--yes add", "'" + host + "'"), 1) << "add " << name << " should not fit: " << out_;
            EXPECT_NE(out_.find("Disk full!"), std::string::npos) << out_;
            ++refusals_;
        }
    }

    void Delete() {
        std::string name = AnyName();
        ASSERT_EQ(Cli("--yes delete", "'" + Lower(name) + "'"), files_.erase(name) ? 0 : 1) << name << ": " << out_;
    }

    void Rename() {
        std::string from = AnyName(), to = AnyName();
        bool expected = files_.count(from) && (from == to || !files_.count(to));
        ASSERT_EQ(Cli("rename", "'" + from + "' '" + Lower(to) + "'"), expected ? 0 : 1)
            << from << " " << to << ": " << out_;
        if (expected && from != to) {
            files_[to] = files_[from];
            files_.erase(from);
        }
    }

    void Attrib() {
        std::string name = AnyName(), changes, letters;
        auto file = files_.find(name);
        for (char letter : std::string("RHSA")) {
            const bool had = file != files_.end() && file->second.attributes.find(letter) != std::string::npos;
            const std::size_t change = Pick(4);  // 0 clears, 1 sets, else unchanged
            if (change < 2)
                changes += std::string(" ") + (change ? "+" : "-") + static_cast<char>(std::tolower(letter));
            if (change == 1 || (change > 1 && had)) letters += letter;
        }
        if (changes.empty()) return;
        ASSERT_EQ(Cli("-q attrib", "'" + name + "'" + changes), file != files_.end() ? 0 : 1)
            << name << changes << out_;
        if (file != files_.end()) file->second.attributes = letters;
    }

    void Label() {
        static const char* kLabels[] = {"DISK", "My Disk", "ELEVEN CHRS", "x"};
        label_ = Pick(3) == 0 ? "" : kLabels[Pick(std::size(kLabels))];
        ASSERT_EQ(label_.empty() ? Cli("label --clear") : Cli("label", "'" + label_ + "'"), 0) << out_;
    }

    void Compare() {
        SCOPED_TRACE("comparing");
        std::map<std::string, std::uint64_t> expected, listed, peerSizes;
        for (const auto& [name, file] : files_) expected[name] = file.data.size();
        // Korvane's own view.
        ASSERT_EQ(Cli("list --json", "", true), 0);
        for (const auto& row : nlohmann::json::parse(out_, nullptr, false)) listed[row["name"]] = row["size"];
        EXPECT_EQ(listed, expected);
        ASSERT_EQ(Cli("label", "", true), 0);
        EXPECT_EQ(out_, label_.empty() ? "" : label_ + "\n");
        // mtools' view: names, sizes, attributes, label and contents.
        for (const auto& [name, e] : PeerListing(image_)) peerSizes[name] = e.size;
        EXPECT_EQ(peerSizes, expected);
        std::map<std::string, std::string> attributes = PeerAttributes(image_);
        for (const auto& [name, file] : files_) EXPECT_EQ(attributes[name], file.attributes) << name;
        EXPECT_EQ(PeerLabel(image_), label_);
        const std::string outDir = dir_.File("out" + std::to_string(++compares_));
        ::mkdir(outDir.c_str(), 0755);
        if (!files_.empty()) {
            ASSERT_EQ(RunMtools("mcopy -n -i '" + image_ + "' '::*' '" + outDir + "/'", &out_), 0) << out_;
        }
        for (const auto& [name, file] : files_) EXPECT_TRUE(ReadWholeFile(outDir + "/" + name) == file.data) << name;
    }

    std::size_t clusterBytes_;
    std::size_t clusters_;
    std::mt19937 random_;
    TempDir dir_;
    std::string image_ = dir_.File("d.dsk");
    std::string out_;
    std::map<std::string, ModelFile> files_;
    std::string label_;
    int compares_ = 0;
    int refusals_ = 0;
};

TEST(Differential, SmallAndDoubleDensityDisks) {
    if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    const char* text = std::getenv("KORVANE_SEED");
    const unsigned seed = text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 1u;
    SCOPED_TRACE("KORVANE_SEED=" + std::to_string(seed));
    // The default run fills the small disk: some adds must be refused.
    const int refusals = Differential("FE", 512, 313, seed).Run(160);
    EXPECT_TRUE(text || refusals > 0) << "the small disk never filled up";
    Differential("F9", 1024, 713, seed + 1).Run(160);
}

}  // namespace
}  // namespace kv::test
