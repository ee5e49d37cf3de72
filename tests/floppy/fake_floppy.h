// A floppy drive for tests: a disk in memory that fails the sectors and tracks
// it is told to and records every call.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "document/image_document.h"
#include "floppy/floppy_device.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

class FakeFloppy final : public FloppyBackend {
public:
    std::vector<std::uint8_t> disk;
    std::uint32_t openError = 0, prepareError = 0;
    // Sector -> how many more times it fails (-1: always).
    std::map<std::uint32_t, int> failingReads, failingWrites;
    std::pair<std::uint32_t, std::uint32_t> failingTrack = {~0u, ~0u};  // cylinder, head
    std::vector<std::string> drives = {"A: [fake]"};                    // what ListDrives gives
    // "open ro", "open rw", "read N", "write N", "prepare CxHxS", "format C/H S mtM", "close".
    std::vector<std::string> calls;

    bool Open(FloppyDevice& device) override {
        calls.push_back(device.readOnlyAccess ? "open ro" : "open rw");
        if (openError != 0)
            device.lastError = openError;
        else
            device.handle = 7;
        return openError == 0;
    }
    bool Close(FloppyDevice& device) override {
        calls.push_back("close");
        device.handle = kInvalidDeviceHandle;
        return true;
    }
    std::uint32_t ReadSectors(FloppyDevice&, void* buffer, std::uint32_t first, std::uint32_t count) override {
        if (Fails("read ", failingReads, first)) return ERROR_CRC;
        if ((first + count) * 512u > disk.size()) return ERROR_SECTOR_NOT_FOUND;
        std::memcpy(buffer, disk.data() + first * 512u, count * 512u);
        return 0;
    }
    std::uint32_t WriteSectors(FloppyDevice&, const void* buffer, std::uint32_t first, std::uint32_t count) override {
        if (Fails("write ", failingWrites, first)) return ERROR_WRITE_FAULT;
        disk.resize(std::max<std::size_t>(disk.size(), (first + count) * 512u));
        std::memcpy(disk.data() + first * 512u, buffer, count * 512u);
        return 0;
    }
    std::uint32_t FormatTrack(FloppyDevice&, std::uint32_t mediaType, std::uint32_t sectorsPerTrack,
                              std::uint32_t cylinder, std::uint32_t head) override {
        calls.push_back("format " + std::to_string(cylinder) + "/" + std::to_string(head) + " " +
                        std::to_string(sectorsPerTrack) + " mt" + std::to_string(mediaType));
        return failingTrack == std::make_pair(cylinder, head) ? ERROR_SECTOR_NOT_FOUND : 0;
    }
    std::uint32_t PrepareFormat(FloppyDevice&, const TrackLayout& l) override {
        calls.push_back("prepare " + std::to_string(l.cylinders) + "x" + std::to_string(l.heads) + "x" +
                        std::to_string(l.sectorsPerTrack));
        return prepareError;
    }
    std::vector<std::string> ListDrives() override { return drives; }

    // The calls equal to `call`, or starting with it when it ends in a blank.
    int Count(const std::string& call) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
            return call.back() == ' ' ? c.rfind(call, 0) == 0 : c == call;
        }));
    }

private:
    bool Fails(const char* verb, std::map<std::uint32_t, int>& failing, std::uint32_t sector) {
        calls.push_back(verb + std::to_string(sector));
        auto it = failing.find(sector);
        if (it == failing.end() || it->second == 0) return false;
        if (it->second > 0) --it->second;
        return true;
    }
};

// A device call returned failure and left `error` in the device.
inline ::testing::AssertionResult FailedWith(bool ok, const FloppyDevice& device, std::uint32_t error) {
    if (ok) return ::testing::AssertionFailure() << "the call succeeded";
    if (device.lastError == error) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "lastError is " << device.lastError << ", not " << error;
}

}  // namespace kv::test
