// The device layer's own rules, and its Linux realisation on stand-in files
// and a made-up /sys/block.
#include <gtest/gtest.h>

#include <filesystem>

#include "floppy/linux_floppy.h"
#include "platform/errors.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/temp_dir.h"

namespace kv::test {
namespace {

bool AllBytes(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t value) {
    return std::all_of(begin, end, [value](std::uint8_t b) { return b == value; });
}

TEST(FloppyDeviceTest, FailedReadLeavesZerosFailedWriteStillMarksTheMediaWrittenAndAClosedDeviceRefusesAll) {
    FakeFloppy fake;
    fake.disk = PatternDisk(4);
    fake.failingReads[1] = fake.failingWrites[2] = -1;
    ScopedFloppyBackend installed(fake);
    FloppyDevice device{};
    device.mediaWritten = 1;
    device.lastError = 99;
    ASSERT_TRUE(OpenFloppyDevice(device));
    EXPECT_EQ(device.mediaWritten, 0u);
    EXPECT_EQ(device.lastError, 0u);

    std::uint8_t buffer[512];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 1, 1), device, ERROR_CRC));
    EXPECT_TRUE(AllBytes(buffer, buffer + 512, 0));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 2, 1), device, ERROR_WRITE_FAULT));
    EXPECT_EQ(device.mediaWritten, 1u);
    EXPECT_TRUE(ReadFloppySectors(device, buffer, 0, 1));
    EXPECT_EQ(device.lastError, 0u);
    EXPECT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);

    // Closed, or never opened: nothing reaches the drive.
    fake.openError = ERROR_NOT_READY;
    device.handle = 5;
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(device), device, ERROR_NOT_READY));
    EXPECT_EQ(device.handle, kInvalidDeviceHandle);
    fake.calls.clear();
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer, 0, 1), device, ERROR_INVALID_HANDLE));
    EXPECT_EQ(buffer[0], 0xAB);  // untouched
    EXPECT_FALSE(WriteFloppySectors(device, buffer, 0, 1));
    EXPECT_FALSE(FormatFloppyTrack(device, 2, 18, 0, 0));
    EXPECT_EQ(device.mediaWritten, 0u);
    device.lastError = 1234;
    EXPECT_TRUE(FailedWith(CloseFloppyDevice(device), device, 1234u));
    EXPECT_TRUE(fake.calls.empty());
}

TEST(BiosStatusTest, EveryStatusMapsToItsErrorCode) {
    const std::pair<std::uint8_t, std::uint32_t> table[] = {
        {0x00, 0},    {0x01, 1},    {0x02, 1112}, {0x03, 19}, {0x04, 27}, {0x0A, 27}, {0x0B, 27},
        {0x0D, 27},   {0x05, 1128}, {0x06, 1110}, {0x07, 87}, {0x0E, 87}, {0x0C, 1358}, {0x10, 23},
        {0x11, 13},   {0x40, 25},   {0x80, 21},   {0xAA, 21}, {0xCC, 29}, {0x08, 31}, {0x09, 31},
        {0x0F, 31},   {0x20, 31},   {0xBB, 31},   {0xE0, 31}, {0xFF, 31},
    };
    for (const auto& [status, code] : table) EXPECT_EQ(BiosStatusToError(status), code) << int(status);
}

TEST(LinuxDrivesTest, ControllerDrivesComeFirstThenRemovableDevicesByName) {
    TempDir dir;
    // Name and the content of its "removable" file (none for the controller's drives).
    for (auto [name, removable] : {std::pair<const char*, char>{"fd1", 0}, {"fd0", 0}, {"sdc", '1'}, {"sda", '0'},
                                   {"sdb", '1'}, {"sr0", '1'} /* optical: not listed */, {"loop0", '0'}}) {
        std::string entry = dir.File(std::string("block/") + name);
        std::filesystem::create_directories(entry);
        if (removable != 0) WriteWholeFile(entry + "/removable", {std::uint8_t(removable), '\n'});
    }
    LinuxFloppyBackend backend(dir.File("block"), "/dev");
    EXPECT_EQ(backend.ListDrives(), (std::vector<std::string>{"A: [/dev/fd0]", "B: [/dev/fd1]", "C: [/dev/sdb]",
                                                              "D: [/dev/sdc]"}));

    // A path becomes the next drive; a listed device keeps its letter.
    std::uint32_t index = 99;
    ASSERT_TRUE(backend.AttachDrive("/tmp/disk.img", index));
    EXPECT_EQ(index, 4u);
    ASSERT_TRUE(backend.AttachDrive("/dev/sdb", index));
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(backend.ListDrives().back(), "E: [/tmp/disk.img]");
}

class StandInTest : public ::testing::Test {
protected:
    TempDir dir;
    LinuxFloppyBackend backend{dir.File("no-sys-block"), "/dev"};
    ScopedFloppyBackend installed{backend};
    std::string path = dir.File("floppy.img");

    FloppyDevice Open(bool readOnly, bool expectOk = true) {
        FloppyDevice device{};
        EXPECT_TRUE(backend.AttachDrive(path, device.driveIndex));
        device.readOnlyAccess = readOnly;
        EXPECT_EQ(OpenFloppyDevice(device), expectOk) << device.lastError;
        return device;
    }
};

TEST_F(StandInTest, ReadsSectorsAndZeroFillsWhatLiesBehindTheEnd) {
    std::vector<std::uint8_t> disk = PatternDisk(3);
    WriteWholeFile(path, disk);
    FloppyDevice device = Open(true);
    std::vector<std::uint8_t> buffer(1024, 0xAB);
    ASSERT_TRUE(ReadFloppySectors(device, buffer.data(), 1, 1));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, disk.begin() + 512));

    EXPECT_TRUE(FailedWith(ReadFloppySectors(device, buffer.data(), 2, 2), device, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, disk.begin() + 1024));
    EXPECT_TRUE(AllBytes(&buffer[512], &buffer[0] + 1024, 0));

    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer.data(), 0, 1), device, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(ReadWholeFile(path), disk);
}

TEST_F(StandInTest, WritingIsExclusiveAndCannotFormatTracks) {
    WriteWholeFile(path, PatternDisk(2));
    FloppyDevice writer = Open(false);
    FloppyDevice second = Open(false, false);
    EXPECT_EQ(second.lastError, ERROR_LOCK_VIOLATION);
    EXPECT_EQ(second.handle, kInvalidDeviceHandle);

    EXPECT_TRUE(FailedWith(FormatFloppyTrack(writer, 2, 18, 0, 0), writer, kErrorCannotFormatTracks));
    EXPECT_EQ(writer.mediaWritten, 1u);
    std::vector<std::uint8_t> sector(512, 0x5A);
    ASSERT_TRUE(WriteFloppySectors(writer, sector.data(), 1, 1));
    EXPECT_TRUE(CloseFloppyDevice(writer));
    std::vector<std::uint8_t> after = ReadWholeFile(path);
    EXPECT_TRUE(AllBytes(&after[512], &after[0] + after.size(), 0x5A));

    FloppyDevice again = Open(false);  // the lock went with the close
    EXPECT_TRUE(CloseFloppyDevice(again));
}

TEST_F(StandInTest, WhatCannotStandInForADriveIsRefused) {
    EXPECT_EQ(Open(true, false).lastError, ERROR_FILE_NOT_FOUND);
    std::filesystem::create_directories(path);
    EXPECT_EQ(Open(true, false).lastError, ERROR_BAD_UNIT);
    FloppyDevice nothing{};
    nothing.driveIndex = 25;
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(nothing), nothing, ERROR_INVALID_DRIVE));
}

}  // namespace
}  // namespace kv::test
