// The Linux realisation: its drive list, plain files standing in for floppies
// (through the real system calls), and every call it makes to block devices,
// checked against a recording stand-in for the system calls.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>

#include "floppy/linux_floppy.h"
#include "platform/errors.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/temp_dir.h"

namespace kv::test {
namespace {

bool AllBytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to, std::uint8_t value) {
    return std::all_of(bytes.begin() + from, bytes.begin() + to, [value](std::uint8_t b) { return b == value; });
}

TEST(LinuxDrivesTest, ControllerDrivesComeFirstThenRemovableDevicesByNameUnlessKorvaneDrivesNamesThem) {
    ::unsetenv("KORVANE_DRIVES");
    TempDir dir;
    // Name and the content of its "removable" file (none for the controller's drives).
    for (auto [name, removable] : {std::pair<const char*, char>{"fd1", 0}, {"fd0", 0}, {"sdc", '1'}, {"sda", '0'},
                                   {"sdb", '1'}, {"sr0", '1'} /* optical: not listed */, {"loop0", '0'}}) {
        std::string entry = dir.File(std::string("block/") + name);
        std::filesystem::create_directories(entry);
        if (removable != 0) WriteWholeFile(entry + "/removable", {std::uint8_t(removable), '\n'});
    }
    LinuxFloppyBackend backend(LinuxSystemCalls(), dir.File("block"), "/dev");
    EXPECT_EQ(backend.ListDrives(), (std::vector<std::string>{"A: [/dev/fd0]", "B: [/dev/fd1]", "C: [/dev/sdb]",
                                                              "D: [/dev/sdc]"}));

    // A path becomes the next drive; a listed device keeps its letter.
    std::uint32_t index = 99;
    ASSERT_TRUE(backend.AttachDrive("/tmp/disk.img", index));
    EXPECT_EQ(index, 4u);
    ASSERT_TRUE(backend.AttachDrive("/dev/sdb", index));
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(backend.ListDrives().back(), "E: [/tmp/disk.img]");

    // KORVANE_DRIVES replaces what was found; set but empty, there are none.
    LinuxFloppyBackend named(LinuxSystemCalls(), dir.File("block"), "/dev");
    ::setenv("KORVANE_DRIVES", "/img/a.flp::/dev/sdz:", 1);
    EXPECT_EQ(named.ListDrives(), (std::vector<std::string>{"A: [/img/a.flp]", "B: [/dev/sdz]"}));
    ::setenv("KORVANE_DRIVES", "", 1);
    EXPECT_TRUE(named.ListDrives().empty());
    ::unsetenv("KORVANE_DRIVES");
}

// --- Plain files standing in for floppies, through the real system calls -----

class StandInTest : public ::testing::Test {
protected:
    TempDir dir;
    LinuxFloppyBackend backend{LinuxSystemCalls(), dir.File("no-sys-block"), "/dev"};
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

TEST_F(StandInTest, IsADiskOfItsSizeThatNeverGrows) {
    const std::vector<std::uint8_t> disk = PatternDisk(3);
    WriteWholeFile(path, disk);
    FloppyDevice reader = Open(true);
    std::vector<std::uint8_t> buffer(1024, 0xAB);
    ASSERT_TRUE(ReadFloppySectors(reader, buffer.data(), 1, 1));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, disk.begin() + 512));
    EXPECT_TRUE(FailedWith(ReadFloppySectors(reader, buffer.data(), 2, 2), reader, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, disk.begin() + 1024));
    EXPECT_TRUE(AllBytes(buffer, 512, 1024, 0));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(reader, buffer.data(), 0, 1), reader, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseFloppyDevice(reader));

    // Writes behind the end fail as reads do; what lies within is written.
    FloppyDevice writer = Open(false);
    FloppyDevice second = Open(false, false);
    EXPECT_EQ(second.lastError, ERROR_SHARING_VIOLATION);
    std::vector<std::uint8_t> sectors(1024, 0x5A);
    EXPECT_TRUE(FailedWith(WriteFloppySectors(writer, sectors.data(), 3, 1), writer, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(writer, sectors.data(), 2, 2), writer, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(CloseFloppyDevice(writer));
    std::vector<std::uint8_t> after = ReadWholeFile(path);
    ASSERT_EQ(after.size(), 3u * 512);
    EXPECT_TRUE(AllBytes(after, 1024, 1536, 0x5A));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 1024, disk.begin()));
    FloppyDevice again = Open(false);  // the lock went with the close
    EXPECT_TRUE(CloseFloppyDevice(again));
}

TEST_F(StandInTest, FormattingATrackFillsItsSectorsWithTheFillerByteWithinTheFile) {
    const std::vector<std::uint8_t> disk = PatternDisk(30);
    WriteWholeFile(path, disk);
    FloppyDevice device = Open(false);
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 0, 9, 0, 0), device, ERROR_INVALID_FUNCTION)) << "not prepared";
    ASSERT_TRUE(PrepareFloppyFormat(device, {2, 2, 9, 0}));
    ASSERT_TRUE(FormatFloppyTrack(device, 0, 9, 1, 0));  // sectors 18 to 26
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 0, 9, 1, 1), device, ERROR_SECTOR_NOT_FOUND));  // 27 to 35
    EXPECT_TRUE(CloseFloppyDevice(device));
    std::vector<std::uint8_t> after = ReadWholeFile(path);
    ASSERT_EQ(after.size(), disk.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 18 * 512, disk.begin()));
    EXPECT_TRUE(AllBytes(after, 18 * 512, after.size(), 0xF6));
}

TEST_F(StandInTest, WhatCannotStandInForADriveIsRefused) {
    EXPECT_EQ(Open(true, false).lastError, ERROR_NOT_READY);  // missing: no disk
    WriteWholeFile(path, {});
    EXPECT_EQ(Open(false, false).lastError, ERROR_NOT_READY);  // empty: no disk
    EXPECT_EQ(SystemErrorText(ERROR_NOT_READY), "The device is not ready: is there a disk in the drive?\n");
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    EXPECT_EQ(Open(true, false).lastError, ERROR_BAD_UNIT);
    FloppyDevice nothing{};
    nothing.driveIndex = 25;
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(nothing), nothing, ERROR_INVALID_DRIVE));
}

// --- Block devices, call by call -----------------------------------------------

// One system call: its name, the path (open, stat), a number (open flags, ioctl
// request, flock operation; for pread and pwrite 1 when the buffer is aligned
// for direct I/O), and the offset and size of a transfer.
struct SysCall {
    std::string name;
    std::string path;
    unsigned long arg = 0;
    std::int64_t offset = 0;
    std::size_t size = 0;
    bool operator==(const SysCall&) const = default;
};

void PrintTo(const SysCall& c, std::ostream* os) {
    *os << c.name << "(" << c.path << " 0x" << std::hex << c.arg << std::dec << " @" << c.offset << " " << c.size
        << ")";
}

SysCall Call(const char* name, const std::string& path = "", unsigned long arg = 0) { return {name, path, arg}; }
SysCall Ioctl(unsigned long request) { return {"ioctl", "", request}; }
SysCall Io(const char* name, std::int64_t offset, std::size_t size) { return {name, "", 1, offset, size}; }

// A SCSI command as SG_IO carried it: command block, direction, the bytes sent
// to the device, and the length of the transfer.
struct ScsiCall {
    std::vector<std::uint8_t> cdb;
    int direction = 0;
    std::vector<std::uint8_t> sent;
    unsigned length = 0;
    bool operator==(const ScsiCall&) const = default;
};

constexpr int kFd = 7;

// Records every call, answers from a block device (a disk in memory) and
// fails the calls that `fail` gives an errno for.
class FakeSys final : public LinuxSysApi {
public:
    std::vector<SysCall> calls;
    std::function<int(const SysCall&)> fail = [](const SysCall&) { return 0; };
    dev_t rdev = makedev(2, 0);  // fd0
    int sectorSize = 512;
    std::vector<std::uint8_t> disk = std::vector<std::uint8_t>(8 * 512, 0);
    std::vector<floppy_struct> geometries;
    std::vector<format_descr> tracks;
    std::vector<ScsiCall> scsi;
    std::vector<std::uint8_t> reply;  // what a SCSI command from the device delivers
    std::vector<std::uint8_t> sense;  // when set, SCSI commands end with CHECK CONDITION and this

    int Open(const std::string& path, int flags) override {
        return Record({"open", path, static_cast<unsigned long>(flags)}) ? -1 : kFd;
    }
    int Close(int) override { return Record(Call("close")) ? -1 : 0; }
    int Stat(const std::string& path, struct stat& st) override {
        st = {};
        st.st_mode = S_IFBLK | 0660;
        st.st_rdev = rdev;
        return Record(Call("stat", path)) ? -1 : 0;
    }
    int Ioctl(int, unsigned long request, void* p) override {
        if (Record(Call("ioctl", "", request))) return -1;
        if (request == BLKSSZGET) *static_cast<int*>(p) = sectorSize;
        if (request == FDSETPRM) geometries.push_back(*static_cast<floppy_struct*>(p));
        if (request == FDFMTTRK) tracks.push_back(*static_cast<format_descr*>(p));
        if (request == SG_IO) Scsi(*static_cast<sg_io_hdr_t*>(p));
        return 0;
    }
    ssize_t Pread(int, void* buffer, std::size_t size, off_t offset) override {
        if (Record(Transfer("pread", buffer, size, offset))) return -1;
        std::size_t n = std::min(size, disk.size() - std::min(disk.size(), std::size_t(offset)));
        std::memcpy(buffer, disk.data() + offset, n);
        return static_cast<ssize_t>(n);
    }
    ssize_t Pwrite(int, const void* buffer, std::size_t size, off_t offset) override {
        if (Record(Transfer("pwrite", buffer, size, offset))) return -1;
        std::memcpy(disk.data() + offset, buffer, size);
        return static_cast<ssize_t>(size);
    }
    int Flock(int, int operation) override { return Record(Call("flock", "", operation)) ? -1 : 0; }
    int Fsync(int) override { return Record(Call("fsync")) ? -1 : 0; }
    int Errno() override { return errno_; }

private:
    int Record(const SysCall& call) {
        calls.push_back(call);
        return errno_ = fail(call);
    }
    static SysCall Transfer(const char* name, const void* buffer, std::size_t size, off_t offset) {
        return {name, "", reinterpret_cast<std::uintptr_t>(buffer) % 4096 == 0 ? 1u : 0u, offset, size};
    }
    void Scsi(sg_io_hdr_t& io) {
        EXPECT_EQ(io.interface_id, 'S');
        const auto* data = static_cast<const std::uint8_t*>(io.dxferp);
        ScsiCall call{{io.cmdp, io.cmdp + io.cmd_len}, io.dxfer_direction, {}, io.dxfer_len};
        if (io.dxfer_direction == SG_DXFER_TO_DEV) call.sent.assign(data, data + io.dxfer_len);
        else std::memcpy(io.dxferp, reply.data(), std::min<std::size_t>(reply.size(), io.dxfer_len));
        scsi.push_back(call);
        io.info = sense.empty() ? SG_INFO_OK : SG_INFO_CHECK;
        io.status = sense.empty() ? 0 : 2;
        io.sb_len_wr = static_cast<unsigned char>(std::min<std::size_t>(sense.size(), io.mx_sb_len));
        std::memcpy(io.sbp, sense.data(), io.sb_len_wr);
    }
    int errno_ = 0;
};

class LinuxSysTest : public ::testing::Test {
protected:
    FakeSys sys;
    LinuxFloppyBackend backend{sys, "/no/sys/block", "/dev"};
    ScopedFloppyBackend installed{backend};
    alignas(8) std::uint8_t buffer[1 + 512] = {};  // buffer + 1 is a sector that is not aligned

    FloppyDevice Open(const std::string& path, bool readOnly, bool expectOk = true) {
        FloppyDevice device{};
        EXPECT_TRUE(backend.AttachDrive(path, device.driveIndex));
        device.readOnlyAccess = readOnly;
        EXPECT_EQ(OpenFloppyDevice(device), expectOk) << device.lastError;
        return device;
    }
};

constexpr int kExclusiveWrite = O_RDWR | O_EXCL | O_DIRECT | O_CLOEXEC;
constexpr int kDirectRead = O_RDONLY | O_DIRECT | O_CLOEXEC;

TEST_F(LinuxSysTest, ControllerDriveIsWrittenExclusivelyFormattedWithTheFloppyIoctlsAndFlushedOnClose) {
    FloppyDevice device = Open("/dev/fd0", false);
    ASSERT_TRUE(PrepareFloppyFormat(device, {80, 2, 18, 2}));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    std::memset(buffer, 0x3C, sizeof buffer);
    ASSERT_TRUE(WriteFloppySectors(device, buffer + 1, 3, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(sys.calls, (std::vector<SysCall>{Call("stat", "/dev/fd0"), Call("open", "/dev/fd0", kExclusiveWrite),
                                               Ioctl(BLKSSZGET), Ioctl(FDSETPRM), Ioctl(FDFMTBEG), Ioctl(FDFMTTRK),
                                               Io("pwrite", 1536, 512), Ioctl(FDFMTEND), Call("fsync"),
                                               Ioctl(BLKFLSBUF), Ioctl(FDFLUSH), Call("close")}));
    ASSERT_EQ(sys.tracks.size(), 1u);
    EXPECT_EQ(sys.tracks[0].track, 79u);
    EXPECT_EQ(sys.tracks[0].head, 1u);
    EXPECT_TRUE(AllBytes(sys.disk, 1536, 2048, 0x3C));

    // The geometry of the layout, with the gaps and rates of its density; 40
    // cylinders of double density step twice in an 80-track drive.
    struct Row {
        TrackLayout layout;
        unsigned size, stretch, gap, rate, spec1, fmtGap;
    };
    const Row rows[] = {{{80, 2, 18, 2}, 2880, 0, 0x1B, 0x00, 0xCF, 0x6C},
                        {{80, 1, 9, 5}, 720, 0, 0x2A, 0x02, 0xDF, 0x50},
                        {{40, 2, 9, 5}, 720, FD_STRETCH, 0x23, 0x01, 0xDF, 0x50}};
    sys.geometries.clear();
    FloppyDevice again = Open("/dev/fd0", false);
    for (const Row& r : rows) ASSERT_TRUE(PrepareFloppyFormat(again, r.layout));
    ASSERT_EQ(sys.geometries.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const floppy_struct& g = sys.geometries[i];
        const Row& r = rows[i];
        EXPECT_EQ(std::vector<unsigned>({g.size, g.sect, g.head, g.track, g.stretch, g.gap, g.rate, g.spec1,
                                         g.fmt_gap}),
                  std::vector<unsigned>({r.size, r.layout.sectorsPerTrack, r.layout.heads, r.layout.cylinders,
                                         r.stretch, r.gap, r.rate, r.spec1, r.fmtGap}))
            << "row " << i;
    }
}

TEST_F(LinuxSysTest, ReadingGoesThroughAnAlignedBufferWithoutExclusionAndClosesWithoutFlushing) {
    sys.rdev = makedev(8, 16);  // sdb
    for (std::size_t i = 0; i < sys.disk.size(); ++i) sys.disk[i] = static_cast<std::uint8_t>(i / 512 + 1);
    FloppyDevice device = Open("/dev/sdb", true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer + 1, 2, 1));
    EXPECT_TRUE(std::all_of(buffer + 1, buffer + 513, [](std::uint8_t b) { return b == 3; }));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(sys.calls, (std::vector<SysCall>{Call("stat", "/dev/sdb"), Call("open", "/dev/sdb", kDirectRead),
                                               Ioctl(BLKSSZGET), Io("pread", 1024, 512), Call("close")}));

    // A drive whose logical sectors are not 512 bytes is not kept open.
    sys.sectorSize = 2048;
    sys.calls.clear();
    EXPECT_EQ(Open("/dev/sdb", true, false).lastError, kErrorSectorSize);
    EXPECT_EQ(sys.calls.back(), Call("close"));
}

TEST_F(LinuxSysTest, BusyWriteProtectedAndMissingMediaAreTheirOwnErrors) {
    struct Case {
        int openError;      // of the open for writing
        bool readOnlyOpens; // whether the device then opens for reading
        std::uint32_t error;
    };
    for (const Case& c : {Case{EBUSY, true, ERROR_SHARING_VIOLATION}, Case{EROFS, true, ERROR_WRITE_PROTECT},
                          Case{EACCES, true, ERROR_WRITE_PROTECT}, Case{EACCES, false, ERROR_ACCESS_DENIED},
                          Case{ENOMEDIUM, false, ERROR_NO_MEDIA_IN_DRIVE}}) {
        sys.calls.clear();
        sys.fail = [&c](const SysCall& call) {
            bool write = call.name == "open" && (call.arg & O_ACCMODE) == O_RDWR;
            return write ? c.openError : call.name == "open" && !c.readOnlyOpens ? c.openError : 0;
        };
        EXPECT_EQ(Open("/dev/sdb", false, false).lastError, c.error) << c.openError;
        if (c.error == ERROR_WRITE_PROTECT) {
            EXPECT_EQ(sys.calls.end()[-2], Call("open", "/dev/sdb", kDirectRead));
            EXPECT_EQ(sys.calls.back(), Call("close"));
        }
    }

    // Writes: a write-protected disk, and the end of the device.
    sys.fail = [](const SysCall& c) { return c.name == "pwrite" ? (c.offset == 0 ? EROFS : ENOSPC) : 0; };
    FloppyDevice device = Open("/dev/sdb", false);
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 0, 1), device, ERROR_WRITE_PROTECT));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 2880, 1), device, ERROR_SECTOR_NOT_FOUND));
}

// Fixed-format sense data with a sense key and an additional sense code.
std::vector<std::uint8_t> Sense(std::uint8_t key, std::uint8_t asc) {
    std::vector<std::uint8_t> sense(18, 0);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = 10;
    sense[12] = asc;
    return sense;
}

TEST_F(LinuxSysTest, UsbDriveFormatsOneTrackPerUfiFormatUnitOfACapacityItLists) {
    sys.rdev = makedev(8, 16);
    // READ FORMAT CAPACITIES: the 1.44 MB current capacity, then 1440 blocks formattable.
    sys.reply = {0, 0, 0, 16, 0, 0, 0x0B, 0x40, 0x02, 0, 0x02, 0, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0};
    FloppyDevice device = Open("/dev/sdb", false);
    ASSERT_TRUE(PrepareFloppyFormat(device, {80, 2, 9, 5}));
    ASSERT_TRUE(FormatFloppyTrack(device, 5, 9, 79, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 5, 9, 0, 0));
    const std::vector<std::uint8_t> formatUnit79 = {0x04, 0x17, 79, 0, 0, 0, 0, 0, 12, 0, 0, 0};
    EXPECT_EQ(sys.scsi, (std::vector<ScsiCall>{
                            {{0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0, 0, 0}, SG_DXFER_FROM_DEV, {}, 0xFC},
                            {formatUnit79, SG_DXFER_TO_DEV, {0, 0xB1, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0}, 12},
                            {{0x04, 0x17, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0}, SG_DXFER_TO_DEV,
                             {0, 0xB0, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0}, 12}}));

    // A failed command's sense data gives the error.
    const struct {
        std::uint8_t key, asc;
        std::uint32_t error;
    } senses[] = {{0x07, 0x27, ERROR_WRITE_PROTECT}, {0x02, 0x3A, ERROR_NO_MEDIA_IN_DRIVE}, {0x05, 0x26, 1358}};
    for (const auto& s : senses) {
        sys.sense = Sense(s.key, s.asc);
        EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 5, 9, 1, 0), device, s.error)) << int(s.key);
    }

    // Refused before any track: a capacity the drive does not list, a device
    // that does not know the command, and one that takes no SCSI commands.
    sys.sense.clear();
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {40, 2, 9, 5}), device, 1358u));
    sys.sense = Sense(0x05, 0x20);
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {80, 2, 9, 5}), device, kErrorCannotFormatTracks));
    sys.sense.clear();
    sys.fail = [](const SysCall& c) { return c.arg == SG_IO ? ENOTTY : 0; };
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {80, 2, 9, 5}), device, kErrorCannotFormatTracks));
    EXPECT_EQ(sys.scsi.size(), 3u + 3 + 2);
}

}  // namespace
}  // namespace kv::test
