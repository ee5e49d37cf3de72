// Every input kept in fuzz/corpus/<target>/ still keeps the invariants of its
// fuzz target: the crashes and violations the fuzzers once found stay fixed,
// and the targets themselves are exercised on every test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "tests/support/temp_dir.h"

namespace kv::fuzz {
namespace {

class CorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusTest, EveryKeptInputKeepsTheInvariants) {
    // KORVANE_FUZZ_CORPUS=DIR replays DIR/<target>/ instead, e.g. a fuzzer's findings.
    const char* other = std::getenv("KORVANE_FUZZ_CORPUS");
    const std::filesystem::path folder = std::filesystem::path(other ? other : KORVANE_CORPUS_DIR) / GetParam();
    if (other && !std::filesystem::exists(folder)) GTEST_SKIP() << folder << " does not exist";
    Target target = FindTarget(GetParam());
    ASSERT_NE(target, nullptr);
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << folder;
    for (const auto& path : files) {
        const std::vector<std::uint8_t> bytes = test::ReadWholeFile(path.string());
        EXPECT_EQ(target(bytes.data(), bytes.size()), "") << path.filename();
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusTest,
                         ::testing::Values("open_and_read", "modify", "custom_format", "floppy_read", "cli_output"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace
}  // namespace kv::fuzz
