// The device layer's own rules, whatever the realisation.
#include <gtest/gtest.h>

#include "tests/floppy/fake_floppy.h"

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

}  // namespace
}  // namespace kv::test
