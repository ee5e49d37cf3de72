#include "platform/host_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "tests/support/host_faults.h"
#include "tests/support/temp_dir.h"

namespace kv {
namespace {

using test::ReadWholeFile;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;

class HostFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::uint32_t error = 0;
    std::uint64_t done = 0;

    std::string MakeFile(const std::string& name, const std::vector<std::uint8_t>& bytes, bool readOnly = false) {
        std::string path = dir.File(name);
        test::WriteWholeFile(path, bytes);
        if (readOnly) ::chmod(path.c_str(), 0444);
        return path;
    }
    HostFile Open(const std::string& path, std::uint32_t access, std::uint32_t disposition, std::uint32_t attributes = 0) {
        return HostFile::Open(path, access, FILE_SHARE_READ, disposition, attributes, error);
    }
    // ERROR_SUCCESS when the file opens, else the error it failed with.
    std::uint32_t OpenError(const std::string& path, std::uint32_t access, std::uint32_t disposition) {
        return Open(path, access, disposition).IsOpen() ? ERROR_SUCCESS : error;
    }
};

// Tests and CI run as root, which Linux lets write anywhere: the read-only
// attribute must hold all the same.
TEST_F(HostFileTest, OpenAndRemoveFollowWindowsRulesEvenForRoot) {
    std::string ro = MakeFile("ro.dsk", {1, 2, 3}, true);
    std::string plain = MakeFile("a.bin", {9, 9, 9, 9});
    const struct {
        std::string path;
        std::uint32_t access, disposition, error;
    } cases[] = {
        {ro, kReadWrite, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {ro, GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {ro, GENERIC_READ, OPEN_EXISTING, ERROR_SUCCESS},
        {plain, GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        {dir.File("none.bin"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir.File("no/none.bin"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.Path(), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " disposition " + std::to_string(c.disposition));
        EXPECT_EQ(OpenError(c.path, c.access, c.disposition), c.error);
    }
    EXPECT_FALSE(RemoveHostFile(ro, error));
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadWholeFile(ro), (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_TRUE(SetHostReadOnly(ro, false, error));
    EXPECT_TRUE(RemoveHostFile(ro, error));
    EXPECT_FALSE(RemoveHostFile(ro, error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(OpenError(plain, GENERIC_WRITE, CREATE_ALWAYS), ERROR_SUCCESS);
    EXPECT_TRUE(ReadWholeFile(plain).empty()) << "CREATE_ALWAYS empties an existing file";
}

TEST_F(HostFileTest, SharingKeepsWritersApartAndLetsReadersShare) {
    std::string path = MakeFile("img.dsk", std::vector<std::uint8_t>(1024, 0));
    HostFile writer = Open(path, kReadWrite, OPEN_EXISTING);
    ASSERT_TRUE(writer.IsOpen());
    EXPECT_EQ(OpenError(path, kReadWrite, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(OpenError(path, GENERIC_WRITE, CREATE_ALWAYS), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadWholeFile(path).size(), 1024u) << "creating over an open file must not empty it first";

    writer.Close(error);
    HostFile r1 = Open(path, GENERIC_READ, OPEN_EXISTING);
    HostFile r2 = Open(path, GENERIC_READ, OPEN_EXISTING);
    EXPECT_TRUE(r1.IsOpen() && r2.IsOpen());
    EXPECT_EQ(OpenError(path, kReadWrite, OPEN_EXISTING), ERROR_SHARING_VIOLATION)
        << "readers that do not share writing keep writers out";
}

// Linux moves at most about 2 GiB per call; one logical read or write must still
// move everything, however the host splits it, at positions beyond 4 GiB too.
TEST_F(HostFileTest, OneLogicalTransferMovesEverythingWhateverTheHostSplits) {
    std::vector<std::uint8_t> bytes = test::Pattern(10000);
    const std::uint64_t far = (5ull << 30) + 123;
    test::FaultPlan plan;
    plan.readCap = 999;
    plan.writeCap = 777;
    test::ScopedFaults faults(plan);
    HostFile f = Open(dir.File("sparse.bin"), kReadWrite, CREATE_NEW);
    ASSERT_TRUE(f.SetPosition(far, error) && f.Write(bytes.data(), bytes.size(), done, error));
    EXPECT_EQ(done, bytes.size());
    EXPECT_GT(test::ScopedFaults::writes, 10);
    std::uint64_t size = 0;
    ASSERT_TRUE(f.Size(size, error));
    EXPECT_EQ(size, far + bytes.size());

    std::vector<std::uint8_t> back(bytes.size() + 50, 0);
    ASSERT_TRUE(f.SetPosition(far, error) && f.Read(back.data(), back.size(), done, error));
    EXPECT_EQ(done, bytes.size()) << "a read past the end stops at the end";
    back.resize(done);
    EXPECT_EQ(back, bytes);
}

TEST_F(HostFileTest, FailuresCarryTheirErrorCodes) {
    std::string path = MakeFile("x.bin", std::vector<std::uint8_t>(100, 1));
    HostFile f = Open(path, kReadWrite, OPEN_EXISTING);
    test::FaultPlan plan;
    plan.failRead = test::OnFile(path);
    plan.failWrite = test::OnFile(path);
    test::ScopedFaults faults(plan);
    std::uint8_t buffer[10];
    EXPECT_FALSE(f.Read(buffer, 10, done, error));
    EXPECT_EQ(error, ERROR_IO_DEVICE);
    EXPECT_FALSE(f.Write(buffer, 10, done, error));
    EXPECT_EQ(error, ERROR_DISK_FULL);
    EXPECT_FALSE(HostFile().Read(buffer, 1, done, error));
    EXPECT_EQ(error, ERROR_INVALID_HANDLE);
}

TEST_F(HostFileTest, FindReportsAttributesTheWayTheHostMapsThem) {
    std::string plain = MakeFile("plain.txt", {1, 2, 3, 4, 5});
    std::string hidden = MakeFile(".profile", {1});
    std::filesystem::create_directory(dir.File("sub"));
    struct timespec times[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01 00:00:00 UTC
    ::utimensat(AT_FDCWD, plain.c_str(), times, 0);
    // A file created read-only is writable through its own handle.
    std::string ro = dir.File("new-ro.bin");
    EXPECT_TRUE(Open(ro, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY).Write("xy", 2, done, error));

    HostFileInfo info;
    ASSERT_TRUE(FindHostFile(plain, info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(info.size, 5u);
    EXPECT_EQ(info.lastWriteTime, 946684800);
    EXPECT_EQ(info.fileName, "plain.txt");
    EXPECT_TRUE(info.alternateFileName.empty());
    ASSERT_TRUE(FindHostFile(hidden, info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(FindHostFile(ro, info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(info.size, 2u);
    ASSERT_TRUE(FindHostFile(dir.File("sub") + "/", info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(info.fileName, "sub");
    EXPECT_FALSE(FindHostFile(dir.File("nothing"), info, error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kv
