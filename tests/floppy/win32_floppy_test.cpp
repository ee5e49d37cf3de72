// The NT and VWIN32 realisations, checked call by call against recorded Windows calls.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>

#include "floppy/win32_floppy.h"
#include "platform/win32_values.h"
#include "tests/floppy/fake_floppy.h"

namespace kv::test {
namespace {

using namespace win32;

// A call: its name (with the path it opens) and its numbers; a DeviceIoControl
// gives its code and the 32-bit words of its input.
struct WinCall {
    std::string name;
    std::vector<std::uint32_t> args = {};
    bool operator==(const WinCall&) const = default;
};
void PrintTo(const WinCall& c, std::ostream* os) {
    *os << c.name << std::hex;
    for (std::uint32_t a : c.args) *os << " " << a;
}
using Calls = std::vector<WinCall>;

constexpr DeviceHandle kHandle = 0x40;
constexpr std::uint32_t kAddress = 0xADD0;  // what AddressOf gives for any buffer

// A VWIN32 request: DIOC_REGISTERS holds EBX, EDX, ECX, EAX, EDI, ESI, flags.
WinCall Dioc(std::uint32_t code, std::uint32_t eax, std::uint32_t ebx, std::uint32_t ecx, std::uint32_t edx) {
    return {"DeviceIoControl", {code, ebx, edx, ecx, eax, 0, 0, 0}};
}
WinCall Fsctl(std::uint32_t code) { return {"DeviceIoControl", {code}}; }

class FakeWin32 final : public Win32Api {
public:
    Calls calls;
    std::vector<std::uint8_t> fields;  // the address fields a BIOS format request points at
    bool ioctlFails = false;
    // When set, a VWIN32 request ends with carry set and this EAX.
    std::function<std::uint32_t(const DiocRegisters&)> failEax;
    std::uint32_t lastError = 0, readDone = ~0u;  // the bytes ReadFile reports; ~0: all
    bool closeResult = true;
    std::uint32_t platformId = kPlatformWin32Nt, logicalDrives = 0;
    int versionQueries = 0;
    std::map<std::string, std::uint32_t> driveTypes;
    std::map<std::string, std::string> labels;

    DeviceHandle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags) override {
        calls.push_back({"CreateFileA " + path, {access, share, disposition, flags}});
        return kHandle;
    }
    bool DeviceIoControl(DeviceHandle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize) override {
        EXPECT_EQ(outSize, out == nullptr ? 0u : inSize);
        calls.push_back({"DeviceIoControl", {code}});
        const auto* words = static_cast<const std::uint32_t*>(in);
        if (in != nullptr) calls.back().args.insert(calls.back().args.end(), words, words + inSize / 4);
        auto* regs = static_cast<DiocRegisters*>(out);
        if (code == kDiocDosInt13) fields.assign(address_, address_ + (regs->reg_EAX & 0xFF) * 4);
        if (inSize == sizeof(DiocRegisters) && failEax) {
            regs->reg_EAX = failEax(*regs);
            regs->reg_Flags = kCarryFlag;
        }
        return !ioctlFails;
    }
    std::uint32_t SetFilePointer(DeviceHandle, std::int32_t low, std::int32_t* high, std::uint32_t method) override {
        calls.push_back({"SetFilePointer", {std::uint32_t(low), std::uint32_t(high ? *high : -1), method}});
        return std::uint32_t(low);
    }
    bool ReadFile(DeviceHandle, void* buffer, std::uint32_t size, std::uint32_t& done) override {
        calls.push_back({"ReadFile", {size}});
        done = readDone == ~0u ? size : readDone;
        std::memset(buffer, 0x77, done);
        return true;
    }
    bool WriteFile(DeviceHandle, const void*, std::uint32_t size, std::uint32_t& done) override {
        calls.push_back({"WriteFile", {done = size}});
        return true;
    }
    bool CloseHandle(DeviceHandle) override {
        calls.push_back({"CloseHandle"});
        return closeResult;
    }
    std::uint32_t GetLastError() override { return lastError; }
    std::uint32_t GetVersionPlatformId() override { return ++versionQueries, platformId; }
    std::uint32_t GetLogicalDrives() override { return logicalDrives; }
    std::uint32_t GetDriveTypeA(const std::string& root) override { return driveTypes[root]; }
    void GetVolumeInformationA(const std::string& root, char* label, std::uint32_t size, char*,
                               std::uint32_t) override {
        EXPECT_EQ(std::string(label, size), std::string(size, '\0')) << "label buffer not cleared";
        std::strncpy(label, labels[root].c_str(), size - 1);
    }
    std::uint32_t AddressOf(const void* buffer) override {
        address_ = static_cast<const std::uint8_t*>(buffer);
        return kAddress;
    }

private:
    const std::uint8_t* address_ = nullptr;
};

template <class Backend>
class Win32Test : public ::testing::Test {
protected:
    FakeWin32 api;
    Backend backend{api};
    ScopedFloppyBackend installed{backend};
    std::uint8_t buffer[1024] = {};

    FloppyDevice Open(std::uint32_t drive, bool readOnly) {
        FloppyDevice device{drive, readOnly};
        EXPECT_TRUE(OpenFloppyDevice(device));
        return device;
    }
};
using Vwin32Test = Win32Test<Vwin32FloppyBackend>;
using NtTest = Win32Test<NtFloppyBackend>;

const WinCall kOpenVwin32 = {"CreateFileA \\\\.\\VWIN32", {0, 0, 0, kFlagDeleteOnClose | kFlagNoBuffering}};

TEST_F(Vwin32Test, WritingLocksTheVolumeWritesFormatsThenUnlocksAndResets) {
    FloppyDevice device = Open(1, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    // DOS calls count drives from 1 (B: is 2), the BIOS from 0; AH 05h formats AL sectors.
    EXPECT_EQ(api.calls, (Calls{kOpenVwin32,
                                Dioc(kDiocDosIoctl, 0x440D, 2, 0x084A, 0),
                                Dioc(kDiocDosInt26, 1, kAddress, 1, 3),
                                Dioc(kDiocDosInt13, 0x0512, kAddress, 79 << 8, 0x0101),
                                Dioc(kDiocDosIoctl, 0x440D, 2, 0x086A, 0),
                                Dioc(kDiocDosIoctl, 0x710D, 0, 0, 2),
                                {"CloseHandle"}}));
    std::vector<std::uint8_t> fields;
    for (std::uint8_t sector = 1; sector <= 18; ++sector) fields.insert(fields.end(), {79, 1, sector, 2});
    EXPECT_EQ(api.fields, fields);

    // A failed close keeps the handle and the later step's code.
    device = Open(0, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    api.failEax = [](const DiocRegisters& r) { return r.reg_EAX == 0x440D ? 0x21u : 0x1Fu; };
    api.closeResult = false;
    EXPECT_TRUE(FailedWith(CloseFloppyDevice(device), device, 0x1Fu));
    EXPECT_EQ(device.handle, kHandle);
    // A lock that fails releases the handle.
    api.failEax = [](const DiocRegisters&) { return 0xF005u; };
    FloppyDevice failed{};
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(failed), failed, 5u)) << "the low 12 bits of EAX";
    EXPECT_EQ(failed.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), WinCall{"CloseHandle"});
}

TEST_F(Vwin32Test, ReadOnlyDeviceReadsWithInt25hRefusesWritesAndOnlyResetsOnClose) {
    FloppyDevice device = Open(0, true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer, 17, 1));
    EXPECT_EQ(api.calls, (Calls{kOpenVwin32, Dioc(kDiocDosInt25, 0, kAddress, 1, 17)}));
    // A failed disk service gives the error of the BIOS status in AH.
    const std::pair<std::uint32_t, std::uint32_t> statuses[] = {
        {0x02, ERROR_NO_MEDIA_IN_DRIVE}, {0x03, ERROR_WRITE_PROTECT}, {0x04, ERROR_SECTOR_NOT_FOUND},
        {0x06, ERROR_MEDIA_CHANGED},     {0x10, ERROR_CRC},           {0x80, ERROR_NOT_READY},
        {0x42, ERROR_GEN_FAILURE}};
    for (auto [status, error] : statuses) {
        api.failEax = [status](const DiocRegisters&) { return status << 8 | 0x01; };
        EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 17, 1), device, error)) << status;
    }
    api.failEax = nullptr;
    api.calls.clear();
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 0, 1), device, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 0, 18, 0, 0), device, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (Calls{Dioc(kDiocDosIoctl, 0x710D, 0, 0, 1), {"CloseHandle"}}));
}

TEST_F(NtTest, WritingLocksClosingUnlocksThenDismountsAndAFailedLockReleasesTheHandle) {
    FloppyDevice device = Open(0, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    const std::uint32_t readWrite = GENERIC_READ | GENERIC_WRITE;
    EXPECT_EQ(api.calls, (Calls{{"CreateFileA \\\\.\\A:", {readWrite, 3, OPEN_EXISTING, kFlagNoBuffering}},
                                Fsctl(kFsctlLockVolume),
                                {"SetFilePointer", {1536, 0, kFileBegin}},
                                {"WriteFile", {512}},
                                {"DeviceIoControl", {kIoctlDiskFormatTracks, 2, 79, 79, 1, 1}},
                                Fsctl(kFsctlUnlockVolume),
                                Fsctl(kFsctlDismountVolume),
                                {"CloseHandle"}}));

    device = Open(0, false);
    api.ioctlFails = true;
    api.lastError = 1358;
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 2, 18, 0, 0), device, 1358u));
    api.lastError = ERROR_ACCESS_DENIED;
    FloppyDevice locked{};
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(locked), locked, ERROR_ACCESS_DENIED));
    EXPECT_EQ(locked.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), WinCall{"CloseHandle"});
}

TEST_F(NtTest, ReadOnlyDeviceNeitherLocksNorUnlocksNorDismounts) {
    FloppyDevice device = Open(2, true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer, 2, 2));
    api.readDone = 512;  // a short read fails with the system's error
    api.lastError = ERROR_CRC;
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 0, 2), device, ERROR_CRC));
    EXPECT_EQ(buffer[511], 0x77);
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (Calls{{"CreateFileA \\\\.\\C:", {GENERIC_READ, 3, OPEN_EXISTING, kFlagNoBuffering}},
                                {"SetFilePointer", {1024, 0, kFileBegin}},
                                {"ReadFile", {1024}},
                                {"SetFilePointer", {0, 0, kFileBegin}},
                                {"ReadFile", {1024}},
                                {"CloseHandle"}}));
}

TEST(Win32DrivesTest, ListsRemovableDrivesWithTheirLabelsAndAsksForThePlatformOnce) {
    FakeWin32 api;
    api.logicalDrives = (1u << 0) | (1u << 2) | (1u << 4);
    api.driveTypes = {{"A:\\", kDriveRemovable}, {"C:\\", 3}, {"E:\\", kDriveRemovable}};
    api.labels = {{"E:\\", "DATA"}};
    EXPECT_EQ(NtFloppyBackend(api).ListDrives(), (std::vector<std::string>{"A:", "E: [DATA]"}));

    // Anything but NT takes VWIN32.
    std::optional<bool> cache, fresh;
    api.platformId = 1;  // VER_PLATFORM_WIN32_WINDOWS
    EXPECT_TRUE(IsVwin32Platform(api, cache));
    api.platformId = kPlatformWin32Nt;
    EXPECT_TRUE(IsVwin32Platform(api, cache));
    EXPECT_EQ(api.versionQueries, 1);
    EXPECT_FALSE(IsVwin32Platform(api, fresh));
}

}  // namespace
}  // namespace kv::test
