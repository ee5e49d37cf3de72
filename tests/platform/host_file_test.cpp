#include "platform/host_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "tests/support/host_faults.h"
#include "tests/support/temp_dir.h"

namespace kv {
namespace {

using test::ReadWholeFile;
using test::WriteWholeFile;

class HostFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::uint32_t error = 0;

    std::string MakeFile(const std::string& name, const std::vector<std::uint8_t>& bytes, bool readOnly = false) {
        std::string path = dir.File(name);
        WriteWholeFile(path, bytes);
        if (readOnly) ::chmod(path.c_str(), 0444);
        return path;
    }
};

// Tests and CI run as root, which Linux lets write anywhere: the read-only
// attribute must hold all the same.
TEST_F(HostFileTest, ReadOnlyFilesRefuseWritingAndReplacingEvenForRoot) {
    std::string path = MakeFile("ro.dsk", {1, 2, 3}, true);

    HostFile rw = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_FALSE(rw.IsOpen());
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);

    HostFile replace = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0, error);
    EXPECT_FALSE(replace.IsOpen());
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);

    EXPECT_FALSE(RemoveHostFile(path, error));
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadWholeFile(path), (std::vector<std::uint8_t>{1, 2, 3}));

    HostFile ro = HostFile::Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_TRUE(ro.IsOpen());
}

TEST_F(HostFileTest, CreationDispositionsBehaveAsOnWindows) {
    std::string path = MakeFile("a.bin", {9, 9, 9, 9});

    HostFile n = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, 0, error);
    EXPECT_FALSE(n.IsOpen());
    EXPECT_EQ(error, ERROR_FILE_EXISTS);

    HostFile missing = HostFile::Open(dir.File("none.bin"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    HostFile noPath = HostFile::Open(dir.File("no/none.bin"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
    HostFile folder = HostFile::Open(dir.Path(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_FALSE(folder.IsOpen());
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);

    {
        HostFile always = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0, error);
        ASSERT_TRUE(always.IsOpen());
    }
    EXPECT_TRUE(ReadWholeFile(path).empty()) << "CREATE_ALWAYS empties an existing file";

    // A new file created read-only can be written through its handle, and is
    // read-only afterwards.
    std::string ro = dir.File("new-ro.bin");
    {
        HostFile f = HostFile::Open(ro, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_READONLY, error);
        ASSERT_TRUE(f.IsOpen());
        std::uint64_t done = 0;
        EXPECT_TRUE(f.Write("xy", 2, done, error));
    }
    HostFileInfo info;
    ASSERT_TRUE(FindHostFile(ro, info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(info.size, 2u);
}

TEST_F(HostFileTest, SharingKeepsWritersApartAndLetsReadersShare) {
    std::string path = MakeFile("img.dsk", std::vector<std::uint8_t>(1024, 0));
    HostFile writer = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    ASSERT_TRUE(writer.IsOpen());

    HostFile second = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
    // Creating over the file that is open must not empty it first.
    HostFile over = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, 0, error);
    EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadWholeFile(path).size(), 1024u);

    writer.Close(error);
    HostFile r1 = HostFile::Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    HostFile r2 = HostFile::Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_TRUE(r1.IsOpen());
    EXPECT_TRUE(r2.IsOpen());
    HostFile w = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    EXPECT_EQ(error, ERROR_SHARING_VIOLATION) << "readers that do not share writing keep writers out";
}

// Linux moves at most about 2 GiB per call; one logical read or write must still
// move everything, however the host splits it.
TEST_F(HostFileTest, OneLogicalTransferMovesEverythingWhateverTheHostSplits) {
    std::vector<std::uint8_t> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    std::string path = dir.File("split.bin");
    test::FaultPlan plan;
    plan.readCap = 999;
    plan.writeCap = 777;
    test::ScopedFaults faults(plan);

    HostFile out = HostFile::Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, 0, error);
    std::uint64_t done = 0;
    ASSERT_TRUE(out.Write(bytes.data(), bytes.size(), done, error));
    EXPECT_EQ(done, bytes.size());
    EXPECT_GT(test::ScopedFaults::writes, 10);
    out.Close(error);

    HostFile in = HostFile::Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    std::vector<std::uint8_t> back(bytes.size() + 50, 0);
    ASSERT_TRUE(in.Read(back.data(), back.size(), done, error));
    EXPECT_EQ(done, bytes.size()) << "a read past the end stops at the end";
    back.resize(done);
    EXPECT_EQ(back, bytes);
}

TEST_F(HostFileTest, PositionsAndSizesBeyondFourGibibytesWork) {
    std::string path = dir.File("sparse.bin");
    HostFile f = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, 0, error);
    ASSERT_TRUE(f.IsOpen());
    const std::uint64_t far = (5ull << 30) + 123;
    ASSERT_TRUE(f.SetPosition(far, error));
    std::uint64_t done = 0;
    ASSERT_TRUE(f.Write("end", 3, done, error));
    std::uint64_t size = 0;
    ASSERT_TRUE(f.Size(size, error));
    EXPECT_EQ(size, far + 3);
    ASSERT_TRUE(f.SetPosition(far + 1, error));
    char two[2];
    ASSERT_TRUE(f.Read(two, 2, done, error));
    EXPECT_EQ(std::string(two, 2), "nd");
}

TEST_F(HostFileTest, FailuresCarryTheirErrorCodes) {
    std::string path = MakeFile("x.bin", std::vector<std::uint8_t>(100, 1));
    HostFile f = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, 0, error);
    test::FaultPlan plan;
    plan.failRead = test::OnFile(path);
    plan.failWrite = test::OnFile(path);
    test::ScopedFaults faults(plan);
    std::uint8_t buffer[10];
    std::uint64_t done = 0;
    EXPECT_FALSE(f.Read(buffer, 10, done, error));
    EXPECT_EQ(error, ERROR_IO_DEVICE);
    EXPECT_FALSE(f.Write(buffer, 10, done, error));
    EXPECT_EQ(error, ERROR_DISK_FULL);

    HostFile closed;
    EXPECT_FALSE(closed.Read(buffer, 1, done, error));
    EXPECT_EQ(error, ERROR_INVALID_HANDLE);
}

TEST_F(HostFileTest, FindReportsAttributesTheWayTheHostMapsThem) {
    std::string plain = MakeFile("plain.txt", {1, 2, 3, 4, 5});
    std::string hidden = MakeFile(".profile", {1});
    std::string ro = MakeFile("ro.txt", {1}, true);
    std::filesystem::create_directory(dir.File("sub"));
    struct timespec times[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01 00:00:00 UTC
    ::utimensat(AT_FDCWD, plain.c_str(), times, 0);

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
    ASSERT_TRUE(FindHostFile(dir.File("sub") + "/", info, error));
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(info.fileName, "sub");

    EXPECT_FALSE(FindHostFile(dir.File("nothing"), info, error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST_F(HostFileTest, ReadOnlyAttributeCanBeTakenAwayAgain) {
    std::string path = MakeFile("f.txt", {1}, true);
    ASSERT_TRUE(SetHostReadOnly(path, false, error));
    EXPECT_TRUE(RemoveHostFile(path, error));
    EXPECT_FALSE(RemoveHostFile(path, error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kv
