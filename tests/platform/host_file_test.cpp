#include "platform/host_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "platform/errors.h"
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
    HostFile Open(const std::string& path, std::uint32_t access, std::uint32_t disposition,
                  std::uint32_t attributes = 0) {
        return HostFile::Open(path, access, FILE_SHARE_READ, disposition, attributes, error);
    }
    // ERROR_SUCCESS when a call succeeded, else the error it left.
    std::uint32_t Result(bool ok) const { return ok ? ERROR_SUCCESS : error; }
    std::uint32_t OpenError(const std::string& path, std::uint32_t access, std::uint32_t disposition) {
        return Result(Open(path, access, disposition).IsOpen());
    }
};

// Tests and CI run as root, which Linux lets write anywhere: the read-only
// attribute must hold all the same. Writers keep each other out; readers share.
TEST_F(HostFileTest, OpenAndRemoveFollowWindowsRulesEvenForRoot) {
    std::string ro = MakeFile("ro.dsk", {1, 2, 3}, true);
    std::string plain = MakeFile("a.bin", {9, 9, 9, 9});
    std::string busy = MakeFile("busy.dsk", {1, 2}), shared = MakeFile("shared.dsk", {1});
    HostFile writer = Open(busy, kReadWrite, OPEN_EXISTING);
    HostFile reader = Open(shared, GENERIC_READ, OPEN_EXISTING);
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
        {busy, kReadWrite, OPEN_EXISTING, ERROR_SHARING_VIOLATION},
        {busy, GENERIC_WRITE, CREATE_ALWAYS, ERROR_SHARING_VIOLATION},
        {shared, GENERIC_READ, OPEN_EXISTING, ERROR_SUCCESS},
        {shared, kReadWrite, OPEN_EXISTING, ERROR_SHARING_VIOLATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " disposition " + std::to_string(c.disposition));
        EXPECT_EQ(OpenError(c.path, c.access, c.disposition), c.error);
    }
    EXPECT_EQ(ReadWholeFile(busy).size(), 2u) << "creating over an open file must not empty it first";
    writer.Close(error);
    EXPECT_EQ(OpenError(busy, kReadWrite, OPEN_EXISTING), ERROR_SUCCESS) << "the lock goes with the close";

    EXPECT_EQ(Result(RemoveHostFile(ro, error)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadWholeFile(ro), (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_TRUE(SetHostReadOnly(ro, false, error));
    EXPECT_TRUE(RemoveHostFile(ro, error));
    EXPECT_EQ(Result(RemoveHostFile(ro, error)), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenError(plain, GENERIC_WRITE, CREATE_ALWAYS), ERROR_SUCCESS);
    EXPECT_TRUE(ReadWholeFile(plain).empty()) << "CREATE_ALWAYS empties an existing file";
}

// A link where a file is created or replaced could send the bytes anywhere: it
// is refused, dangling or not, and what it points to stays as it was.
TEST_F(HostFileTest, FilesAreNeverCreatedOrReplacedThroughALink) {
    std::filesystem::create_directory(dir.File("outside"));
    std::string victim = MakeFile("outside/victim.txt", {7, 7});
    std::filesystem::create_symlink("outside/victim.txt", dir.File("live"));
    std::filesystem::create_symlink("outside/nothing.txt", dir.File("dangling"));
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{CREATE_NEW, ERROR_FILE_EXISTS},
                                                             {CREATE_ALWAYS, kErrorSymbolicLink},
                                                             {OPEN_ALWAYS, kErrorSymbolicLink},
                                                             {TRUNCATE_EXISTING, kErrorSymbolicLink}};
    for (const char* link : {"live", "dangling"}) {
        for (const auto& [disposition, expected] : cases) {
            EXPECT_EQ(OpenError(dir.File(link), GENERIC_WRITE, disposition), expected) << link << " " << disposition;
        }
        EXPECT_EQ(Result(CheckReplaceable(dir.File(link), error)), kErrorSymbolicLink) << link;
    }
    EXPECT_EQ(ReadWholeFile(victim), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_FALSE(test::FileExists(dir.File("outside/nothing.txt")));
    EXPECT_EQ(SystemErrorText(kErrorSymbolicLink), "The file is a symbolic link.\n");
    EXPECT_EQ(OpenError(dir.File("live"), kReadWrite, OPEN_EXISTING), ERROR_SUCCESS)
        << "an image may be opened through a link";
}

// Save As makes its file beside the chosen one and renames it over that one.
TEST_F(HostFileTest, ANewFileBesideTakesThePlaceOfTheOldOneInOneStep) {
    std::string old = MakeFile("old.dsk", {1, 2, 3});
    std::string ro = MakeFile("ro.dsk", {1}, true);
    std::filesystem::create_directory(dir.File("sub"));
    HostFile writer = Open(MakeFile("busy.dsk", {1}), kReadWrite, OPEN_EXISTING);
    const std::pair<std::string, std::uint32_t> cases[] = {
        {dir.File("new.dsk"), ERROR_SUCCESS},
        {old, ERROR_SUCCESS},
        {dir.File("no/new.dsk"), ERROR_PATH_NOT_FOUND},
        {dir.File("sub"), ERROR_ACCESS_DENIED},
        {ro, ERROR_ACCESS_DENIED},
        {dir.File("busy.dsk"), ERROR_SHARING_VIOLATION},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(Result(CheckReplaceable(path, error)), expected) << path;
    ::chmod(old.c_str(), 0640);
    std::string newPath;
    HostFile file = HostFile::CreateBeside(old, newPath, error);
    ASSERT_TRUE(file.IsOpen()) << error;
    EXPECT_EQ(newPath.substr(0, dir.File(".old.dsk").size()), dir.File(".old.dsk"));
    ASSERT_TRUE(file.WriteAt(0, "new", 3, error));
    EXPECT_EQ(ReadWholeFile(old), (std::vector<std::uint8_t>{1, 2, 3})) << "the old file stays until the rename";
    ASSERT_TRUE(ReplaceHostFile(newPath, old, error));
    EXPECT_EQ(ReadWholeFile(old), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    EXPECT_FALSE(test::FileExists(newPath));
    struct stat st {};
    ::stat(old.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replacing file keeps the permissions";
    EXPECT_EQ(OpenError(old, kReadWrite, OPEN_EXISTING), ERROR_SHARING_VIOLATION) << "the lock moved with the file";
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
    back.resize(done);  // a read past the end stops at the end
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
    EXPECT_EQ(Result(f.Read(buffer, 10, done, error)), ERROR_IO_DEVICE);
    EXPECT_EQ(Result(f.Write(buffer, 10, done, error)), ERROR_DISK_FULL);
    EXPECT_EQ(Result(HostFile().Read(buffer, 1, done, error)), ERROR_INVALID_HANDLE);
}

TEST_F(HostFileTest, FindReportsAttributesTheWayTheHostMapsThem) {
    std::string plain = MakeFile("plain.txt", {1, 2, 3, 4, 5});
    std::filesystem::create_directory(dir.File("sub"));
    struct timespec times[2] = {{946684800, 0}, {946684800, 0}};  // 2000-01-01 00:00:00 UTC
    ::utimensat(AT_FDCWD, plain.c_str(), times, 0);
    // A file created read-only is writable through its own handle.
    std::string ro = dir.File("new-ro.bin");
    EXPECT_TRUE(Open(ro, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY).Write("xy", 2, done, error));
    const std::string folder = std::filesystem::path(dir.Path()).filename().string();
    const struct {
        std::string path, name;
        std::uint32_t attributes;
        std::uint64_t size;
    } cases[] = {
        {plain, "plain.txt", FILE_ATTRIBUTE_ARCHIVE, 5},
        {MakeFile(".profile", {1}), ".profile", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 1},
        {ro, "new-ro.bin", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, 2},
        {dir.File("sub") + "/", "sub", FILE_ATTRIBUTE_DIRECTORY, 0},
        // "." and ".." name the folder they resolve to, by its own name.
        {dir.File("sub/."), "sub", FILE_ATTRIBUTE_DIRECTORY, 0},
        {dir.File("sub/.."), folder, FILE_ATTRIBUTE_DIRECTORY, 0},
    };
    HostFileInfo info;
    for (const auto& c : cases) {
        ASSERT_TRUE(FindHostFile(c.path, info, error)) << c.path;
        EXPECT_EQ(std::tie(info.fileName, info.attributes, info.size), std::tie(c.name, c.attributes, c.size));
        EXPECT_TRUE(info.alternateFileName.empty());
    }
    ASSERT_TRUE(FindHostFile(plain, info, error));
    EXPECT_EQ(info.lastWriteTime, 946684800);
    ASSERT_TRUE(FindHostFile("/", info, error));
    EXPECT_EQ(info.fileName, "");
    EXPECT_EQ(Result(FindHostFile(dir.File("nothing"), info, error)), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace kv
