// The NT and VWIN32 realisations, checked call by call against a recording
// stand-in for the Windows functions.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "floppy/win32_floppy.h"
#include "platform/win32_values.h"

namespace kv::test {
namespace {

using namespace win32;

constexpr DeviceHandle kHandle = 0x40;

struct IoctlCall {
    std::uint32_t code = 0;
    DiocRegisters regs{};                 // as passed in (VWIN32)
    std::vector<std::uint8_t> input;      // the raw input block
    std::vector<std::uint8_t> addressed;  // the 4 × AL bytes EBX points at (format)
};

class FakeWin32 final : public Win32Api {
public:
    std::vector<std::string> calls;
    std::vector<IoctlCall> ioctls;
    // Answers a DeviceIoControl: false fails it; it may change the registers.
    std::function<bool(std::uint32_t code, DiocRegisters* regs)> onIoctl = [](std::uint32_t, DiocRegisters*) {
        return true;
    };
    DeviceHandle createResult = kHandle;
    std::uint32_t lastError = 0;
    bool closeResult = true;
    std::uint32_t readDone = ~0u;  // bytes ReadFile reports; ~0 = all
    std::uint32_t platformId = kPlatformWin32Nt;
    int versionQueries = 0;
    std::uint32_t logicalDrives = 0;
    std::map<std::string, std::uint32_t> driveTypes;
    std::map<std::string, std::string> labels;
    std::map<std::uint32_t, const void*> addresses;

    DeviceHandle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags) override {
        calls.push_back("CreateFileA " + path + " " + Hex(access) + " " + Hex(share) + " " + Hex(disposition) + " " +
                        Hex(flags));
        return createResult;
    }
    bool DeviceIoControl(DeviceHandle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize) override {
        calls.push_back("DeviceIoControl " + Hex(code) + " in " + std::to_string(inSize) + " out " +
                        std::to_string(outSize));
        IoctlCall call;
        call.code = code;
        const auto* bytes = static_cast<const std::uint8_t*>(in);
        if (in != nullptr) call.input.assign(bytes, bytes + inSize);
        DiocRegisters* regs = inSize == sizeof(DiocRegisters) ? static_cast<DiocRegisters*>(out) : nullptr;
        if (regs != nullptr) {
            call.regs = *regs;
            auto it = addresses.find(regs->reg_EBX);
            if (code == kDiocDosInt13 && it != addresses.end()) {
                const auto* fields = static_cast<const std::uint8_t*>(it->second);
                call.addressed.assign(fields, fields + (regs->reg_EAX & 0xFF) * 4);
            }
        }
        ioctls.push_back(call);
        return onIoctl(code, regs);
    }
    std::uint32_t SetFilePointer(DeviceHandle, std::int32_t low, std::int32_t* high, std::uint32_t method) override {
        calls.push_back("SetFilePointer " + std::to_string(low) + " " + std::to_string(high ? *high : -1) + " " +
                        std::to_string(method));
        return static_cast<std::uint32_t>(low);
    }
    bool ReadFile(DeviceHandle, void* buffer, std::uint32_t size, std::uint32_t& done) override {
        calls.push_back("ReadFile " + std::to_string(size));
        done = readDone == ~0u ? size : readDone;
        std::memset(buffer, 0x77, done);
        return true;
    }
    bool WriteFile(DeviceHandle, const void*, std::uint32_t size, std::uint32_t& done) override {
        calls.push_back("WriteFile " + std::to_string(size));
        done = size;
        return true;
    }
    bool CloseHandle(DeviceHandle) override {
        calls.push_back("CloseHandle");
        return closeResult;
    }
    std::uint32_t GetLastError() override { return lastError; }
    std::uint32_t GetVersionPlatformId() override {
        ++versionQueries;
        return platformId;
    }
    std::uint32_t GetLogicalDrives() override { return logicalDrives; }
    std::uint32_t GetDriveTypeA(const std::string& root) override { return driveTypes[root]; }
    void GetVolumeInformationA(const std::string& root, char* label, std::uint32_t labelSize, char*,
                               std::uint32_t) override {
        for (char* p = label; p < label + labelSize; ++p) EXPECT_EQ(*p, 0) << "label buffer not cleared";
        std::strncpy(label, labels[root].c_str(), labelSize - 1);
    }
    std::uint32_t AddressOf(const void* buffer) override {
        std::uint32_t token = 0x1000 + static_cast<std::uint32_t>(addresses.size()) * 0x1000;
        addresses[token] = buffer;
        return token;
    }

    static std::string Hex(std::uint32_t v) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%X", v);
        return buffer;
    }
};

class Vwin32Test : public ::testing::Test {
protected:
    FakeWin32 api;
    Vwin32FloppyBackend backend{api};
    ScopedFloppyBackend installed{backend};

    FloppyDevice Open(std::uint32_t drive, bool readOnly) {
        FloppyDevice device{};
        device.driveIndex = drive;
        device.readOnlyAccess = readOnly;
        EXPECT_TRUE(OpenFloppyDevice(device));
        return device;
    }
};

TEST_F(Vwin32Test, OpeningForWritingLocksTheLogicalVolume) {
    FloppyDevice device = Open(1, false);
    ASSERT_EQ(api.calls.size(), 2u);
    EXPECT_EQ(api.calls[0], "CreateFileA \\\\.\\VWIN32 0 0 0 24000000");
    EXPECT_EQ(api.calls[1], "DeviceIoControl 1 in 28 out 28");
    const DiocRegisters& r = api.ioctls[0].regs;
    EXPECT_EQ(r.reg_EAX, 0x440Du);
    EXPECT_EQ(r.reg_EBX, 2u);  // B: counted from 1
    EXPECT_EQ(r.reg_ECX, 0x084Au);
    EXPECT_EQ(r.reg_EDX, 0u);
    EXPECT_EQ(r.reg_Flags, 0u);
    EXPECT_EQ(device.handle, kHandle);
}

TEST_F(Vwin32Test, FailedLockGivesTheLow12BitsOfEaxAndReleasesTheHandle) {
    api.onIoctl = [](std::uint32_t, DiocRegisters* r) {
        r->reg_EAX = 0xF005;
        r->reg_Flags = kCarryFlag;
        return true;
    };
    FloppyDevice device{};
    EXPECT_FALSE(OpenFloppyDevice(device));
    EXPECT_EQ(device.lastError, 5u);
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), "CloseHandle");
}

TEST_F(Vwin32Test, ReadErrorsComeFromTheStatusInAh) {
    FloppyDevice device = Open(0, true);
    EXPECT_EQ(api.calls.size(), 1u);  // reading locks nothing
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0x10, 23}, {0x80, 21}, {0x02, 1112}, {0xBB, 31}};
    for (const auto& [status, code] : cases) {
        api.onIoctl = [status = status](std::uint32_t, DiocRegisters* r) {
            r->reg_EAX = status << 8;
            r->reg_Flags = kCarryFlag;
            return true;
        };
        std::uint8_t buffer[512];
        EXPECT_FALSE(ReadFloppySectors(device, buffer, 17, 1));
        EXPECT_EQ(device.lastError, code);
    }
    const IoctlCall& read = api.ioctls.back();
    EXPECT_EQ(read.code, kDiocDosInt25);
    EXPECT_EQ(read.regs.reg_EAX, 0u);  // A: counted from 0 here
    EXPECT_EQ(read.regs.reg_ECX, 1u);
    EXPECT_EQ(read.regs.reg_EDX, 17u);
    EXPECT_NE(api.addresses.find(read.regs.reg_EBX), api.addresses.end());
}

TEST_F(Vwin32Test, WritingOnAReadOnlyDeviceFailsWithoutACallAndClosingResetsTheDrive) {
    FloppyDevice device = Open(0, true);
    std::uint8_t buffer[512] = {};
    EXPECT_FALSE(WriteFloppySectors(device, buffer, 0, 1));
    EXPECT_EQ(device.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(device.mediaWritten, 1u);
    EXPECT_FALSE(FormatFloppyTrack(device, 0, 18, 0, 0));
    EXPECT_EQ(device.lastError, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(api.ioctls.empty());

    EXPECT_TRUE(CloseFloppyDevice(device));
    // No unlock (nothing was locked), but the reset.
    ASSERT_EQ(api.ioctls.size(), 1u);
    EXPECT_EQ(api.ioctls[0].regs.reg_EAX, 0x710Du);
    EXPECT_EQ(api.ioctls[0].regs.reg_ECX, 0u);
    EXPECT_EQ(api.ioctls[0].regs.reg_EDX, 1u);
    EXPECT_EQ(api.ioctls[0].regs.reg_EBX, 0u);
    EXPECT_EQ(api.calls.back(), "CloseHandle");
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);
}

TEST_F(Vwin32Test, FormattingCylinder79Head1OfDriveA) {
    FloppyDevice device = Open(0, false);
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    const IoctlCall& format = api.ioctls.back();
    EXPECT_EQ(format.code, kDiocDosInt13);
    EXPECT_EQ(format.regs.reg_EAX, 0x0512u);
    EXPECT_EQ(format.regs.reg_ECX, 0x4F00u);
    EXPECT_EQ(format.regs.reg_EDX, 0x0100u);
    std::vector<std::uint8_t> expected;
    for (std::uint8_t sector = 1; sector <= 18; ++sector) expected.insert(expected.end(), {79, 1, sector, 2});
    EXPECT_EQ(format.addressed, expected);
    EXPECT_EQ(device.mediaWritten, 1u);
}

TEST_F(Vwin32Test, ClosingUnlocksThenResetsAndKeepsTheLastErrorOnlyWhenTheHandleStays) {
    FloppyDevice device = Open(0, false);
    std::uint8_t buffer[512] = {};
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    api.ioctls.clear();
    api.onIoctl = [](std::uint32_t, DiocRegisters* r) {
        r->reg_EAX = r->reg_EAX == 0x440D ? 0x21 : 0x1F;
        r->reg_Flags = kCarryFlag;
        return true;
    };
    api.closeResult = false;
    EXPECT_FALSE(CloseFloppyDevice(device));
    ASSERT_EQ(api.ioctls.size(), 2u);
    EXPECT_EQ(api.ioctls[0].regs.reg_ECX, 0x086Au);  // unlock first
    EXPECT_EQ(api.ioctls[1].regs.reg_EAX, 0x710Du);  // then reset
    EXPECT_EQ(device.lastError, 0x1Fu);              // the later step's code
    EXPECT_EQ(device.handle, kHandle);
}

class NtTest : public ::testing::Test {
protected:
    FakeWin32 api;
    NtFloppyBackend backend{api};
    ScopedFloppyBackend installed{backend};
};

TEST_F(NtTest, WritingLocksTheVolumeAndClosingUnlocksBeforeDismounting) {
    FloppyDevice device{};
    device.driveIndex = 0;
    ASSERT_TRUE(OpenFloppyDevice(device));
    std::uint8_t buffer[512] = {};
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (std::vector<std::string>{
                             "CreateFileA \\\\.\\A: C0000000 3 3 20000000",
                             "DeviceIoControl 90018 in 0 out 0",
                             "SetFilePointer 1536 0 0",
                             "WriteFile 512",
                             "DeviceIoControl 9001C in 0 out 0",
                             "DeviceIoControl 90020 in 0 out 0",
                             "CloseHandle",
                         }));
}

TEST_F(NtTest, ReadOnlyDeviceNeitherLocksNorUnlocksNorDismounts) {
    FloppyDevice device{};
    device.driveIndex = 2;
    device.readOnlyAccess = 1;
    ASSERT_TRUE(OpenFloppyDevice(device));
    std::uint8_t buffer[1024];
    ASSERT_TRUE(ReadFloppySectors(device, buffer, 2, 2));
    api.readDone = 512;  // a short read fails with the system's error
    api.lastError = ERROR_CRC;
    EXPECT_FALSE(ReadFloppySectors(device, buffer, 0, 2));
    EXPECT_EQ(device.lastError, ERROR_CRC);
    EXPECT_EQ(buffer[511], 0x77);
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (std::vector<std::string>{
                             "CreateFileA \\\\.\\C: 80000000 3 3 20000000",
                             "SetFilePointer 1024 0 0",
                             "ReadFile 1024",
                             "SetFilePointer 0 0 0",
                             "ReadFile 1024",
                             "CloseHandle",
                         }));
}

TEST_F(NtTest, FormattingPassesTheMediaTypeAndOneTrack) {
    FloppyDevice device{};
    ASSERT_TRUE(OpenFloppyDevice(device));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    const IoctlCall& format = api.ioctls.back();
    EXPECT_EQ(format.code, kIoctlDiskFormatTracks);
    ASSERT_EQ(format.input.size(), 20u);
    FormatParameters p;
    std::memcpy(&p, format.input.data(), sizeof p);
    EXPECT_EQ(p.MediaType, 2u);
    EXPECT_EQ(p.StartCylinderNumber, 79u);
    EXPECT_EQ(p.EndCylinderNumber, 79u);
    EXPECT_EQ(p.StartHeadNumber, 1u);
    EXPECT_EQ(p.EndHeadNumber, 1u);

    api.onIoctl = [](std::uint32_t, DiocRegisters*) { return false; };
    api.lastError = 1358;
    EXPECT_FALSE(FormatFloppyTrack(device, 2, 18, 0, 0));
    EXPECT_EQ(device.lastError, 1358u);
}

TEST_F(NtTest, FailedLockReleasesTheHandle) {
    api.onIoctl = [](std::uint32_t, DiocRegisters*) { return false; };
    api.lastError = ERROR_ACCESS_DENIED;
    FloppyDevice device{};
    EXPECT_FALSE(OpenFloppyDevice(device));
    EXPECT_EQ(device.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), "CloseHandle");
}

TEST(Win32DrivesTest, ListsRemovableDrivesWithTheirLabels) {
    FakeWin32 api;
    api.logicalDrives = (1u << 0) | (1u << 2) | (1u << 4);
    api.driveTypes = {{"A:\\", kDriveRemovable}, {"C:\\", 3}, {"E:\\", kDriveRemovable}};
    api.labels = {{"E:\\", "DATA"}};
    NtFloppyBackend backend(api);
    EXPECT_EQ(backend.ListDrives(), (std::vector<std::string>{"A:", "E: [DATA]"}));
}

TEST(Win32VariantTest, AsksForThePlatformOnceAndTakesAnythingButNtForVwin32) {
    FakeWin32 api;
    std::optional<bool> cache;
    api.platformId = 1;  // VER_PLATFORM_WIN32_WINDOWS
    EXPECT_TRUE(IsVwin32Platform(api, cache));
    api.platformId = kPlatformWin32Nt;
    EXPECT_TRUE(IsVwin32Platform(api, cache));
    EXPECT_EQ(api.versionQueries, 1);
    std::optional<bool> fresh;
    EXPECT_FALSE(IsVwin32Platform(api, fresh));
}

}  // namespace
}  // namespace kv::test
