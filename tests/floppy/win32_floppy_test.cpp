// The NT and VWIN32 realisations, checked call by call against a recording
// stand-in for the Windows functions.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "floppy/win32_floppy.h"
#include "platform/win32_values.h"
#include "tests/floppy/fake_floppy.h"

namespace kv::test {
namespace {

using namespace win32;
using Calls = std::vector<std::string>;

constexpr DeviceHandle kHandle = 0x40;

std::string Hex(std::uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", v);
    return buffer;
}

// Records every call as a line of text: arguments in hex, the registers of a
// DIOC_REGISTERS block, the fields of FORMAT_PARAMETERS, and "@" for the
// address that AddressOf handed out last.
class FakeWin32 final : public Win32Api {
public:
    Calls calls;
    std::vector<std::uint8_t> addressed;  // the 4 × AL bytes a format's EBX points at
    // Answers a DeviceIoControl: false fails it; it may change the registers.
    std::function<bool(DiocRegisters* regs)> onIoctl = [](DiocRegisters*) { return true; };
    std::uint32_t lastError = 0;
    bool closeResult = true;
    std::uint32_t readDone = ~0u;  // bytes ReadFile reports; ~0 = all
    std::uint32_t platformId = kPlatformWin32Nt;
    int versionQueries = 0;
    std::uint32_t logicalDrives = 0;
    std::map<std::string, std::uint32_t> driveTypes;
    std::map<std::string, std::string> labels;

    DeviceHandle CreateFileA(const std::string& path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flags) override {
        calls.push_back("CreateFileA " + path + " " + Hex(access) + " " + Hex(share) + " " + Hex(disposition) + " " +
                        Hex(flags));
        return kHandle;
    }
    bool DeviceIoControl(DeviceHandle, std::uint32_t code, void* in, std::uint32_t inSize, void* out,
                         std::uint32_t outSize) override {
        std::string line = "DeviceIoControl " + Hex(code) + " in " + std::to_string(inSize) + " out " +
                           std::to_string(outSize);
        DiocRegisters* regs = inSize == sizeof(DiocRegisters) ? static_cast<DiocRegisters*>(out) : nullptr;
        if (regs != nullptr) {
            bool known = regs->reg_EBX == kAddress;
            line += " EAX=" + Hex(regs->reg_EAX) + " EBX=" + (known ? "@" : Hex(regs->reg_EBX)) +
                    " ECX=" + Hex(regs->reg_ECX) + " EDX=" + Hex(regs->reg_EDX) + " F=" + Hex(regs->reg_Flags);
            if (code == kDiocDosInt13 && known) {
                const auto* fields = static_cast<const std::uint8_t*>(address_);
                addressed.assign(fields, fields + (regs->reg_EAX & 0xFF) * 4);
            }
        } else if (inSize == sizeof(FormatParameters)) {
            FormatParameters p;
            std::memcpy(&p, in, sizeof p);
            line += " media " + Hex(p.MediaType) + " cylinders " + Hex(p.StartCylinderNumber) + "-" +
                    Hex(p.EndCylinderNumber) + " heads " + Hex(p.StartHeadNumber) + "-" + Hex(p.EndHeadNumber);
        }
        calls.push_back(line);
        return onIoctl(regs);
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
        calls.push_back("WriteFile " + std::to_string(done = size));
        return true;
    }
    bool CloseHandle(DeviceHandle) override {
        calls.push_back("CloseHandle");
        return closeResult;
    }
    std::uint32_t GetLastError() override { return lastError; }
    std::uint32_t GetVersionPlatformId() override { return ++versionQueries, platformId; }
    std::uint32_t GetLogicalDrives() override { return logicalDrives; }
    std::uint32_t GetDriveTypeA(const std::string& root) override { return driveTypes[root]; }
    void GetVolumeInformationA(const std::string& root, char* label, std::uint32_t labelSize, char*,
                               std::uint32_t) override {
        for (char* p = label; p < label + labelSize; ++p) EXPECT_EQ(*p, 0) << "label buffer not cleared";
        std::strncpy(label, labels[root].c_str(), labelSize - 1);
    }
    std::uint32_t AddressOf(const void* buffer) override { return address_ = buffer, kAddress; }

private:
    static constexpr std::uint32_t kAddress = 0xADD0;
    const void* address_ = nullptr;
};

// The reply of a VWIN32 call that failed: carry set, EAX as given.
std::function<bool(DiocRegisters*)> FailWith(std::function<std::uint32_t(const DiocRegisters&)> eax) {
    return [eax](DiocRegisters* r) {
        r->reg_EAX = eax(*r);
        r->reg_Flags = kCarryFlag;
        return true;
    };
}

const std::string kIoctl = "DeviceIoControl 1 in 28 out 28 ";

template <class Backend>
class Win32Test : public ::testing::Test {
protected:
    FakeWin32 api;
    Backend backend{api};
    ScopedFloppyBackend installed{backend};
    std::uint8_t buffer[1024] = {};

    FloppyDevice Open(std::uint32_t drive, bool readOnly) {
        FloppyDevice device{};
        device.driveIndex = drive;
        device.readOnlyAccess = readOnly;
        EXPECT_TRUE(OpenFloppyDevice(device));
        return device;
    }
};
using Vwin32Test = Win32Test<Vwin32FloppyBackend>;
using NtTest = Win32Test<NtFloppyBackend>;

TEST_F(Vwin32Test, WritingLocksTheVolumeWritesFormatsThenUnlocksAndResets) {
    FloppyDevice device = Open(1, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    std::vector<std::uint8_t> fields;
    for (std::uint8_t sector = 1; sector <= 18; ++sector) fields.insert(fields.end(), {79, 1, sector, 2});
    EXPECT_EQ(api.addressed, fields);
    ASSERT_TRUE(CloseFloppyDevice(device));
    // Drive numbers count from 1 for the DOS calls (B: is 2), from 0 for the BIOS ones.
    EXPECT_EQ(api.calls, (Calls{"CreateFileA \\\\.\\VWIN32 0 0 0 24000000", kIoctl + "EAX=440D EBX=2 ECX=84A EDX=0 F=0",
                                "DeviceIoControl 3 in 28 out 28 EAX=1 EBX=@ ECX=1 EDX=3 F=0",
                                "DeviceIoControl 4 in 28 out 28 EAX=512 EBX=@ ECX=4F00 EDX=101 F=0",
                                kIoctl + "EAX=440D EBX=2 ECX=86A EDX=0 F=0", kIoctl + "EAX=710D EBX=0 ECX=0 EDX=2 F=0",
                                "CloseHandle"}));
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);

    api.onIoctl = FailWith([](const DiocRegisters&) { return 0xF005; });
    FloppyDevice failed{};
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(failed), failed, 5u)) << "the low 12 bits of EAX";
    EXPECT_EQ(failed.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), "CloseHandle");
}

TEST_F(Vwin32Test, ReadOnlyDeviceReadsWithInt25hRefusesWritesAndOnlyResetsOnClose) {
    FloppyDevice device = Open(0, true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer, 17, 1));
    api.onIoctl = FailWith([](const DiocRegisters&) { return 0x1000; });  // the BIOS status is in AH
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 17, 1), device, ERROR_CRC));
    api.onIoctl = [](DiocRegisters*) { return true; };
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 0, 1), device, ERROR_ACCESS_DENIED));
    EXPECT_EQ(device.mediaWritten, 1u);
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 0, 18, 0, 0), device, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseFloppyDevice(device));
    const std::string read = "DeviceIoControl 2 in 28 out 28 EAX=0 EBX=@ ECX=1 EDX=11 F=0";
    EXPECT_EQ(api.calls, (Calls{"CreateFileA \\\\.\\VWIN32 0 0 0 24000000", read, read,
                                kIoctl + "EAX=710D EBX=0 ECX=0 EDX=1 F=0", "CloseHandle"}));
}

TEST_F(Vwin32Test, ClosingKeepsTheLastErrorOnlyWhenTheHandleStays) {
    FloppyDevice device = Open(0, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    api.onIoctl = FailWith([](const DiocRegisters& r) { return r.reg_EAX == 0x440D ? 0x21u : 0x1Fu; });
    api.closeResult = false;
    EXPECT_TRUE(FailedWith(CloseFloppyDevice(device), device, 0x1Fu));  // the later step's code
    EXPECT_EQ(device.handle, kHandle);
}

TEST_F(NtTest, WritingLocksTheVolumeAndClosingUnlocksBeforeDismounting) {
    FloppyDevice device = Open(0, false);
    ASSERT_TRUE(WriteFloppySectors(device, buffer, 3, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (Calls{"CreateFileA \\\\.\\A: C0000000 3 3 20000000", "DeviceIoControl 90018 in 0 out 0",
                                "SetFilePointer 1536 0 0", "WriteFile 512",
                                "DeviceIoControl 7C018 in 20 out 0 media 2 cylinders 4F-4F heads 1-1",
                                "DeviceIoControl 9001C in 0 out 0", "DeviceIoControl 90020 in 0 out 0",
                                "CloseHandle"}));
}

TEST_F(NtTest, ReadOnlyDeviceNeitherLocksNorUnlocksNorDismounts) {
    FloppyDevice device = Open(2, true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer, 2, 2));
    api.readDone = 512;  // a short read fails with the system's error
    api.lastError = ERROR_CRC;
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 0, 2), device, ERROR_CRC));
    EXPECT_EQ(buffer[511], 0x77);
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(api.calls, (Calls{"CreateFileA \\\\.\\C: 80000000 3 3 20000000", "SetFilePointer 1024 0 0", "ReadFile 1024",
                                "SetFilePointer 0 0 0", "ReadFile 1024", "CloseHandle"}));
}

TEST_F(NtTest, FailedFormatOrLockGivesTheSystemErrorAndAFailedLockReleasesTheHandle) {
    FloppyDevice device = Open(0, false);
    api.onIoctl = [](DiocRegisters*) { return false; };
    api.lastError = 1358;
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 2, 18, 0, 0), device, 1358u));

    api.lastError = ERROR_ACCESS_DENIED;
    FloppyDevice locked{};
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(locked), locked, ERROR_ACCESS_DENIED));
    EXPECT_EQ(locked.handle, kInvalidDeviceHandle);
    EXPECT_EQ(api.calls.back(), "CloseHandle");
}

TEST(Win32DrivesTest, ListsRemovableDrivesWithTheirLabelsAndAsksForThePlatformOnce) {
    FakeWin32 api;
    api.logicalDrives = (1u << 0) | (1u << 2) | (1u << 4);
    api.driveTypes = {{"A:\\", kDriveRemovable}, {"C:\\", 3}, {"E:\\", kDriveRemovable}};
    api.labels = {{"E:\\", "DATA"}};
    NtFloppyBackend backend(api);
    EXPECT_EQ(backend.ListDrives(), (Calls{"A:", "E: [DATA]"}));

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
