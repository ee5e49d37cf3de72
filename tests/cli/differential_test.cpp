// A seeded random series of add, delete, rename, attribute and label steps run
// through korvane-cli, checked against a simple model of the root directory
// and against what mtools reads from the same image. KORVANE_SEED repeats a run.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

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
        : format_(format), clusterBytes_(clusterBytes), clusters_(clusters), random_(seed) {}

    void Run(int steps) {
        image_ = dir_.File("d.dsk");
        ASSERT_EQ(RunCli(std::string("-q new '") + image_ + "' --format " + format_), 0);
        ::mkdir(dir_.File("in").c_str(), 0755);
        for (int step = 0; step < steps; ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            switch (Pick(10)) {
                case 0: case 1: case 2: case 3: Add(); break;
                case 4: case 5: Delete(); break;
                case 6: Rename(); break;
                case 7: case 8: Attrib(); break;
                default: Label(); break;
            }
            if (::testing::Test::HasFatalFailure()) return;
            if (step % 40 == 39) Compare();
        }
        Compare();
        EXPECT_EQ(UnexpectedFsckFindings(image_), "");
        std::string out;
        EXPECT_EQ(RunCli("check '" + image_ + "'", &out), 0) << out;
    }

private:
    static constexpr const char* kNames[] = {"A.TXT", "B.TXT", "C", "DATA.BIN", "LONGNAME.DOC", "X.Y", "Z1", "Q$.(1)"};

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    std::string AnyName() { return kNames[Pick(std::size(kNames))]; }
    std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::size_t ClustersOf(std::size_t size) const { return (size + clusterBytes_ - 1) / clusterBytes_; }
    std::size_t UsedClusters() const {
        std::size_t used = 0;
        for (const auto& [name, file] : files_) used += ClustersOf(file.data.size());
        return used;
    }

    void Add() {
        std::string name = AnyName();
        std::size_t size = Pick(4) == 0 ? 0 : Pick(Pick(3) == 0 ? clusterBytes_ * clusters_ / 3 : 3 * clusterBytes_);
        std::vector<std::uint8_t> data(size);
        for (auto& b : data) b = static_cast<std::uint8_t>(random_());
        const std::string host = dir_.File("in/" + Lower(name));
        WriteWholeFile(host, data);
        auto old = files_.find(name);
        std::size_t used = UsedClusters() - (old != files_.end() ? ClustersOf(old->second.data.size()) : 0);
        bool fits = used + ClustersOf(size) <= clusters_;
        std::string out;
        int status = RunCli("--yes add '" + image_ + "' '" + host + "'", &out);
        if (fits) {
            ASSERT_EQ(status, 0) << "add " << name << " (" << size << " bytes): " << out;
            files_[name] = ModelFile{data, "A"};
        } else {
            ASSERT_EQ(status, 1) << "add " << name << " should not fit: " << out;
            EXPECT_NE(out.find("Disk full!"), std::string::npos) << out;
        }
    }

    void Delete() {
        std::string name = AnyName();
        std::string out;
        int status = RunCli("--yes delete '" + image_ + "' '" + Lower(name) + "'", &out);
        ASSERT_EQ(status, files_.erase(name) ? 0 : 1) << "delete " << name << ": " << out;
    }

    void Rename() {
        std::string from = AnyName(), to = AnyName();
        std::string out;
        int status = RunCli("rename '" + image_ + "' '" + from + "' '" + Lower(to) + "'", &out);
        bool expected = files_.count(from) && (from == to || !files_.count(to));
        ASSERT_EQ(status, expected ? 0 : 1) << "rename " << from << " " << to << ": " << out;
        if (expected && from != to) {
            files_[to] = files_[from];
            files_.erase(from);
        }
    }

    void Attrib() {
        std::string name = AnyName();
        std::string changes;
        std::map<char, bool> wanted;
        for (char letter : std::string("RHSA")) {
            if (Pick(2)) continue;
            bool on = Pick(2);
            wanted[letter] = on;
            changes += std::string(" ") + (on ? "+" : "-") + static_cast<char>(std::tolower(letter));
        }
        if (changes.empty()) return;
        std::string out;
        int status = RunCli("-q attrib '" + image_ + "' '" + name + "'" + changes, &out);
        auto file = files_.find(name);
        ASSERT_EQ(status, file != files_.end() ? 0 : 1) << "attrib " << name << changes << ": " << out;
        if (file == files_.end()) return;
        std::string letters;
        for (char letter : std::string("RHSA")) {
            bool had = file->second.attributes.find(letter) != std::string::npos;
            if (wanted.count(letter) ? wanted[letter] : had) letters += letter;
        }
        file->second.attributes = letters;
    }

    void Label() {
        std::string out;
        if (Pick(3) == 0) {
            ASSERT_EQ(RunCli("label --clear '" + image_ + "'", &out), 0) << out;
            label_.clear();
            return;
        }
        static const char* kLabels[] = {"DISK", "My Disk", "ELEVEN CHRS", "x"};
        label_ = kLabels[Pick(std::size(kLabels))];
        ASSERT_EQ(RunCli("label '" + image_ + "' '" + label_ + "'", &out), 0) << out;
    }

    void Compare() {
        SCOPED_TRACE("comparing");
        // Korvane's own view.
        std::string out;
        ASSERT_EQ(RunCli("list --json '" + image_ + "'", &out, true), 0);
        nlohmann::json rows = nlohmann::json::parse(out, nullptr, false);
        std::map<std::string, std::uint64_t> listed;
        for (const auto& row : rows) listed[row["name"]] = row["size"];
        std::map<std::string, std::uint64_t> expected;
        for (const auto& [name, file] : files_) expected[name] = file.data.size();
        EXPECT_EQ(listed, expected);
        ASSERT_EQ(RunCli("label '" + image_ + "'", &out, true), 0);
        EXPECT_EQ(out, label_.empty() ? "" : label_ + "\n");

        // mtools' view: names, sizes, attributes, label and contents.
        std::map<std::string, PeerEntry> peer = PeerListing(image_);
        std::map<std::string, std::uint64_t> peerSizes;
        for (const auto& [name, e] : peer) peerSizes[name] = e.size;
        EXPECT_EQ(peerSizes, expected);
        std::map<std::string, std::string> attributes = PeerAttributes(image_);
        for (const auto& [name, file] : files_) EXPECT_EQ(attributes[name], file.attributes) << name;
        std::string trimmed = label_;
        while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
        EXPECT_EQ(PeerLabel(image_), trimmed);
        const std::string outDir = dir_.File("out" + std::to_string(++compares_));
        ::mkdir(outDir.c_str(), 0755);
        if (!files_.empty()) {
            ASSERT_EQ(RunMtools("mcopy -n -i '" + image_ + "' '::*' '" + outDir + "/'", &out), 0) << out;
        }
        for (const auto& [name, file] : files_) EXPECT_TRUE(ReadWholeFile(outDir + "/" + name) == file.data) << name;
    }

    const char* format_;
    std::size_t clusterBytes_;
    std::size_t clusters_;
    std::mt19937 random_;
    TempDir dir_;
    std::string image_;
    std::map<std::string, ModelFile> files_;
    std::string label_;
    int compares_ = 0;
};

unsigned Seed() {
    const char* text = std::getenv("KORVANE_SEED");
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 20261205u;
}

TEST(Differential, SmallDiskFillsUp) {
    if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    unsigned seed = Seed();
    SCOPED_TRACE("KORVANE_SEED=" + std::to_string(seed));
    Differential("FE", 512, 313, seed).Run(160);
}

TEST(Differential, DoubleDensityDisk) {
    if (!HavePeers()) GTEST_SKIP() << "mtools and dosfstools are needed";
    unsigned seed = Seed() + 1;
    SCOPED_TRACE("KORVANE_SEED=" + std::to_string(seed - 1));
    Differential("F9", 1024, 713, seed).Run(160);
}

}  // namespace
}  // namespace kv::test
