// The Linux realisation: its drive list, plain files as floppies, its block-device calls.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <functional>
#include <ostream>

#include "floppy/linux_floppy.h"
#include "platform/errors.h"
#include "tests/floppy/fake_floppy.h"

namespace kv::test {
namespace {

TEST(LinuxDrivesTest, ControllerDrivesComeFirstThenRemovableDevicesByNameUnlessKorvaneDrivesNamesThem) {
    ::unsetenv("KORVANE_DRIVES");
    TempDir dir;
    // Name and the content of its "removable" file (none for the controller's drives).
    for (auto [name, removable] : {std::pair<const char*, char>{"fd1", 0},
                                   {"fd0", 0},
                                   {"sdc", '1'},
                                   {"sda", '0'},
                                   {"sdb", '1'},
                                   {"sr0", '1'} /* optical: not listed */,
                                   {"loop0", '0'}}) {
        std::filesystem::create_directories(dir.File("block/") + name);
        if (removable != 0) WriteWholeFile(dir.File("block/") + name + "/removable", {std::uint8_t(removable)});
    }
    LinuxFloppyBackend backend(LinuxSystemCalls(), dir.File("block"), "/dev");
    EXPECT_EQ(backend.ListDrives(),
              (std::vector<std::string>{"A: [/dev/fd0]", "B: [/dev/fd1]", "C: [/dev/sdb]", "D: [/dev/sdc]"}));
    // A path becomes the next drive; a listed device keeps its letter.
    std::uint32_t index = 99;
    ASSERT_TRUE(backend.AttachDrive("/tmp/disk.img", index) && index == 4);
    ASSERT_TRUE(backend.AttachDrive("/dev/sdb", index) && index == 2);
    EXPECT_EQ(backend.ListDrives().back(), "E: [/tmp/disk.img]");

    // KORVANE_DRIVES replaces what was found; set but empty, there are none.
    ScopedEnvironment named("KORVANE_DRIVES", "/img/a.flp::/dev/sdz:");
    LinuxFloppyBackend listed(LinuxSystemCalls(), dir.File("block"), "/dev");
    EXPECT_EQ(listed.ListDrives(), (std::vector<std::string>{"A: [/img/a.flp]", "B: [/dev/sdz]"}));
    ::setenv("KORVANE_DRIVES", "", 1);
    EXPECT_TRUE(listed.ListDrives().empty());
}

// A system call: name (and path), a number (flags, request, operation; for pread and
// pwrite 1 when the buffer is aligned), offset and size (FDFMTTRK: track and head).
struct SysCall {
    std::string name;
    unsigned long arg = 0;
    std::int64_t offset = 0;
    std::size_t size = 0;
    bool operator==(const SysCall&) const = default;
};
void PrintTo(const SysCall& c, std::ostream* os) {
    *os << c.name << " 0x" << std::hex << c.arg << std::dec << " @" << c.offset << " " << c.size;
}

// A SCSI command as SG_IO carried it: command block, direction, bytes sent, length.
struct ScsiCall {
    std::vector<std::uint8_t> cdb;
    int direction = 0;
    std::vector<std::uint8_t> sent;
    unsigned length = 0;
    bool operator==(const ScsiCall&) const = default;
};

// Records every call, answers as block device fd0 (or `rdev`), fails where `fail` says.
class FakeSys final : public LinuxSysApi {
public:
    std::vector<SysCall> calls;
    std::function<int(const SysCall&)> fail = [](const SysCall&) { return 0; };
    dev_t rdev = makedev(2, 0);
    int sectorSize = 512;
    std::vector<std::uint8_t> disk = std::vector<std::uint8_t>(8 * 512, 0);
    std::vector<floppy_struct> geometries;
    std::vector<ScsiCall> scsi;
    std::vector<std::uint8_t> reply;  // what a SCSI command from the device delivers
    std::vector<std::uint8_t> sense;  // when set, SCSI commands end with CHECK CONDITION and this

    int Open(const std::string& path, int flags) override { return Record({"open " + path, unsigned(flags)}, 7); }
    int Close(int) override { return Record({"close"}); }
    int Stat(const std::string& path, struct stat& st) override {
        st = {};
        st.st_mode = S_IFBLK | 0660;
        st.st_rdev = rdev;
        return Record({"stat " + path});
    }
    int Ioctl(int, unsigned long request, void* p) override {
        if (Record({"ioctl", request}) != 0) return -1;
        if (request == BLKSSZGET) *static_cast<int*>(p) = sectorSize;
        if (request == FDSETPRM) geometries.push_back(*static_cast<floppy_struct*>(p));
        if (request == FDFMTTRK)
            calls.back() = {"ioctl", FDFMTTRK, static_cast<format_descr*>(p)->track,
                            static_cast<format_descr*>(p)->head};
        if (request == SG_IO) Scsi(*static_cast<sg_io_hdr_t*>(p));
        return 0;
    }
    ssize_t Pread(int, void* buffer, std::size_t size, off_t at) override { return Io("pread", buffer, size, at); }
    ssize_t Pwrite(int, const void* buffer, std::size_t size, off_t at) override {
        return Io("pwrite", const_cast<void*>(buffer), size, at);
    }
    int Flock(int, int operation) override { return Record({"flock", unsigned(operation)}); }
    int Fsync(int) override { return Record({"fsync"}); }
    int Errno() override { return errno_; }

private:
    int Record(const SysCall& call, int result = 0) {
        calls.push_back(call);
        return (errno_ = fail(call)) != 0 ? -1 : result;
    }
    ssize_t Io(const std::string& name, void* buffer, std::size_t size, off_t at) {
        if (Record({name, reinterpret_cast<std::uintptr_t>(buffer) % 4096 == 0 ? 1u : 0u, at, size}) != 0) return -1;
        size = std::min(size, disk.size() - std::min(disk.size(), std::size_t(at)));
        if (name == "pread")
            std::memcpy(buffer, disk.data() + at, size);
        else
            std::memcpy(disk.data() + at, buffer, size);
        return ssize_t(size);
    }
    void Scsi(sg_io_hdr_t& io) {
        EXPECT_EQ(io.interface_id, 'S');
        const auto* data = static_cast<const std::uint8_t*>(io.dxferp);
        ScsiCall call{{io.cmdp, io.cmdp + io.cmd_len}, io.dxfer_direction, {}, io.dxfer_len};
        if (io.dxfer_direction == SG_DXFER_TO_DEV)
            call.sent.assign(data, data + io.dxfer_len);
        else
            std::memcpy(io.dxferp, reply.data(), std::min<std::size_t>(reply.size(), io.dxfer_len));
        scsi.push_back(call);
        io.info = sense.empty() ? SG_INFO_OK : SG_INFO_CHECK;
        io.sb_len_wr = static_cast<unsigned char>(std::min<std::size_t>(sense.size(), io.mx_sb_len));
        std::memcpy(io.sbp, sense.data(), io.sb_len_wr);
    }
    int errno_ = 0;
};

class LinuxFloppyTest : public ::testing::Test {
protected:
    FakeSys sys;
    LinuxFloppyBackend backend{sys, "/no/sys/block", "/dev"};
    TempDir dir;
    LinuxFloppyBackend files{LinuxSystemCalls(), dir.File("no-sys-block"), "/dev"};
    ScopedFloppyBackend installed{backend};
    const std::string path = dir.File("floppy.img");
    alignas(8) std::uint8_t buffer[1 + 512] = {};  // buffer + 1 is a sector that is not aligned

    FloppyDevice Open(LinuxFloppyBackend& b, const std::string& drive, bool readOnly, bool expectOk = true) {
        FloppyDevice device{};
        EXPECT_TRUE(b.AttachDrive(drive, device.driveIndex));
        device.readOnlyAccess = readOnly;
        ScopedFloppyBackend use(b);
        EXPECT_EQ(OpenFloppyDevice(device), expectOk) << device.lastError;
        return device;
    }
};

TEST_F(LinuxFloppyTest, AStandInIsADiskOfItsSizeThatNeverGrowsAndIsLockedWhileWritten) {
    ScopedFloppyBackend use(files);
    std::vector<std::uint8_t> disk = Pattern(30 * 512), sectors(1024, 0xAB);
    WriteWholeFile(path, disk);
    FloppyDevice reader = Open(files, path, true);
    EXPECT_TRUE(FailedWith(ReadFloppySectors(reader, sectors.data(), 29, 2), reader, ERROR_SECTOR_NOT_FOUND));
    std::vector<std::uint8_t> expected(disk.end() - 512, disk.end());
    expected.resize(1024);
    EXPECT_EQ(sectors, expected);
    EXPECT_TRUE(FailedWith(WriteFloppySectors(reader, sectors.data(), 0, 1), reader, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseFloppyDevice(reader));

    // Nothing is written behind the end; a prepared track is filled with F6h.
    FloppyDevice writer = Open(files, path, false);
    EXPECT_EQ(Open(files, path, false, false).lastError, ERROR_SHARING_VIOLATION);
    sectors.assign(1024, 0x5A);
    EXPECT_TRUE(FailedWith(WriteFloppySectors(writer, sectors.data(), 30, 1), writer, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(writer, sectors.data(), 29, 2), writer, ERROR_SECTOR_NOT_FOUND));
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(writer, 0, 9, 0, 0), writer, ERROR_INVALID_FUNCTION)) << "not prepared";
    ASSERT_TRUE(PrepareFloppyFormat(writer, {3, 2, 9, 0}));
    ASSERT_TRUE(FormatFloppyTrack(writer, 0, 9, 1, 0));                                              // sectors 18 to 26
    EXPECT_TRUE(FailedWith(FormatFloppyTrack(writer, 0, 9, 2, 0), writer, ERROR_SECTOR_NOT_FOUND));  // 36 to 44
    EXPECT_TRUE(CloseFloppyDevice(writer));
    std::fill(disk.begin() + 18 * 512, disk.begin() + 27 * 512, 0xF6);
    std::fill(disk.end() - 512, disk.end(), 0x5A);
    EXPECT_EQ(ReadWholeFile(path), disk);
    FloppyDevice again = Open(files, path, false);  // the lock went with the close
    EXPECT_TRUE(CloseFloppyDevice(again));

    // What cannot stand in for a drive: an empty file is no disk, nor a missing one.
    WriteWholeFile(path, {});
    EXPECT_EQ(Open(files, path, false, false).lastError, ERROR_NOT_READY);
    std::filesystem::remove(path);
    EXPECT_EQ(Open(files, path, true, false).lastError, ERROR_NOT_READY);
    std::filesystem::create_directories(path);
    EXPECT_EQ(Open(files, path, true, false).lastError, ERROR_BAD_UNIT);
    FloppyDevice nothing{25};
    EXPECT_TRUE(FailedWith(OpenFloppyDevice(nothing), nothing, ERROR_INVALID_DRIVE));
}

constexpr unsigned long kExclusiveWrite = O_RDWR | O_EXCL | O_DIRECT | O_CLOEXEC;
constexpr unsigned long kDirectRead = O_RDONLY | O_DIRECT | O_CLOEXEC;

TEST_F(LinuxFloppyTest, ControllerDriveIsWrittenExclusivelyFormattedWithTheFloppyIoctlsAndFlushedOnClose) {
    FloppyDevice device = Open(backend, "/dev/fd0", false);
    ASSERT_TRUE(PrepareFloppyFormat(device, {80, 2, 18, 2}));
    ASSERT_TRUE(FormatFloppyTrack(device, 2, 18, 79, 1));
    std::memset(buffer, 0x3C, sizeof buffer);
    ASSERT_TRUE(WriteFloppySectors(device, buffer + 1, 3, 1));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(sys.calls, (std::vector<SysCall>{{"stat /dev/fd0"},
                                               {"open /dev/fd0", kExclusiveWrite},
                                               {"ioctl", BLKSSZGET},
                                               {"ioctl", FDSETPRM},
                                               {"ioctl", FDFMTBEG},
                                               {"ioctl", FDFMTTRK, 79, 1},
                                               {"pwrite", 1, 1536, 512},
                                               {"ioctl", FDFMTEND},
                                               {"fsync"},
                                               {"ioctl", BLKFLSBUF},
                                               {"ioctl", FDFLUSH},
                                               {"close"}}));
    EXPECT_EQ(std::vector<std::uint8_t>(sys.disk.begin() + 1536, sys.disk.begin() + 2048),
              std::vector<std::uint8_t>(512, 0x3C));

    // The driver's geometry (size, sect, head, track, stretch, gap, rate, spec1, fmt_gap)
    // of a layout's density; 40 double-density cylinders step twice in an 80-track drive.
    const std::pair<TrackLayout, std::vector<unsigned>> rows[] = {
        {{80, 2, 18, 2}, {2880, 18, 2, 80, 0, 0x1B, 0x00, 0xCF, 0x6C}},
        {{80, 1, 9, 5}, {720, 9, 1, 80, 0, 0x2A, 0x02, 0xDF, 0x50}},
        {{40, 2, 9, 5}, {720, 9, 2, 40, FD_STRETCH, 0x23, 0x01, 0xDF, 0x50}}};
    device = Open(backend, "/dev/fd0", false);
    for (const auto& [layout, expected] : rows) {
        ASSERT_TRUE(PrepareFloppyFormat(device, layout));
        const floppy_struct& g = sys.geometries.back();
        EXPECT_EQ(
            (std::vector<unsigned>{g.size, g.sect, g.head, g.track, g.stretch, g.gap, g.rate, g.spec1, g.fmt_gap}),
            expected);
    }
}

TEST_F(LinuxFloppyTest, ReadingGoesThroughAnAlignedBufferWithoutExclusionAndClosesWithoutFlushing) {
    sys.rdev = makedev(8, 16);  // sdb
    for (std::size_t i = 0; i < sys.disk.size(); ++i) sys.disk[i] = static_cast<std::uint8_t>(i / 512 + 1);
    FloppyDevice device = Open(backend, "/dev/sdb", true);
    ASSERT_TRUE(ReadFloppySectors(device, buffer + 1, 2, 1));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer + 1, buffer + 513), std::vector<std::uint8_t>(512, 3));
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(sys.calls, (std::vector<SysCall>{{"stat /dev/sdb"},
                                               {"open /dev/sdb", kDirectRead},
                                               {"ioctl", BLKSSZGET},
                                               {"pread", 1, 1024, 512},
                                               {"close"}}));
}

TEST_F(LinuxFloppyTest, BusyWriteProtectedMissingAndOddSizedMediaAreTheirOwnErrors) {
    sys.sectorSize = 2048;  // not kept open
    EXPECT_EQ(Open(backend, "/dev/sdb", true, false).lastError, kErrorSectorSize);
    EXPECT_EQ(sys.calls.back(), SysCall{"close"});
    sys.sectorSize = 512;
    // The errno of the open for writing; whether the device then opens for reading.
    const std::tuple<int, bool, std::uint32_t> cases[] = {{EBUSY, true, ERROR_SHARING_VIOLATION},
                                                          {EROFS, true, ERROR_WRITE_PROTECT},
                                                          {EACCES, true, ERROR_WRITE_PROTECT},
                                                          {EACCES, false, ERROR_ACCESS_DENIED},
                                                          {ENOMEDIUM, false, ERROR_NO_MEDIA_IN_DRIVE}};
    for (const auto& [openErrno, readOnlyOpens, error] : cases) {
        sys.calls.clear();
        sys.fail = [&](const SysCall& c) {
            bool write = (c.arg & O_ACCMODE) == O_RDWR;
            return c.name.starts_with("open") && (write || !readOnlyOpens) ? openErrno : 0;
        };
        EXPECT_EQ(Open(backend, "/dev/sdb", false, false).lastError, error) << openErrno;
        if (error == ERROR_WRITE_PROTECT) {
            EXPECT_EQ(sys.calls.end()[-2], (SysCall{"open /dev/sdb", kDirectRead}));
            EXPECT_EQ(sys.calls.back(), SysCall{"close"});
        }
    }

    // Writes: a write-protected disk, and the end of the device.
    sys.fail = [](const SysCall& c) { return c.name == "pwrite" ? (c.offset == 0 ? EROFS : ENOSPC) : 0; };
    FloppyDevice device = Open(backend, "/dev/sdb", false);
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 0, 1), device, ERROR_WRITE_PROTECT));
    EXPECT_TRUE(FailedWith(WriteFloppySectors(device, buffer, 2880, 1), device, ERROR_SECTOR_NOT_FOUND));
}

TEST_F(LinuxFloppyTest, UsbDriveFormatsOneTrackPerUfiFormatUnitOfACapacityItLists) {
    sys.rdev = makedev(8, 16);
    // READ FORMAT CAPACITIES: the 1.44 MB current capacity, then 1440 blocks formattable.
    sys.reply = {0, 0, 0, 16, 0, 0, 0x0B, 0x40, 0x02, 0, 0x02, 0, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0};
    FloppyDevice device = Open(backend, "/dev/sdb", false);
    ASSERT_TRUE(PrepareFloppyFormat(device, {80, 2, 9, 5}));
    ASSERT_TRUE(FormatFloppyTrack(device, 5, 9, 79, 1));
    ASSERT_TRUE(FormatFloppyTrack(device, 5, 9, 0, 0));
    EXPECT_EQ(sys.scsi,
              (std::vector<ScsiCall>{{{0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0, 0, 0}, SG_DXFER_FROM_DEV, {}, 0xFC},
                                     {{0x04, 0x17, 79, 0, 0, 0, 0, 0, 12, 0, 0, 0},
                                      SG_DXFER_TO_DEV,
                                      {0, 0xB1, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0},
                                      12},
                                     {{0x04, 0x17, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0},
                                      SG_DXFER_TO_DEV,
                                      {0, 0xB0, 0, 8, 0, 0, 0x05, 0xA0, 0, 0, 0x02, 0},
                                      12}}));

    // A failed command's fixed-format sense data (key, additional code) gives the error.
    using Sense = std::tuple<std::uint8_t, std::uint8_t, std::uint32_t>;
    for (auto [key, asc, error] :
         {Sense{0x07, 0x27, ERROR_WRITE_PROTECT}, {0x02, 0x3A, ERROR_NO_MEDIA_IN_DRIVE}, {0x05, 0x26, 1358}}) {
        sys.sense = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, 0, 0, 0, 0, 0};
        EXPECT_TRUE(FailedWith(FormatFloppyTrack(device, 5, 9, 1, 0), device, error)) << int(key);
    }

    // Refused before any track: a capacity not listed, no UFI drive, no SCSI at all.
    sys.sense.clear();
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {40, 2, 9, 5}), device, 1358u));
    sys.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0};
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {80, 2, 9, 5}), device, kErrorCannotFormatTracks));
    sys.sense.clear();
    sys.fail = [](const SysCall& c) { return c.arg == SG_IO ? ENOTTY : 0; };
    EXPECT_TRUE(FailedWith(PrepareFloppyFormat(device, {80, 2, 9, 5}), device, kErrorCannotFormatTracks));
    EXPECT_EQ(sys.scsi.size(), 3u + 3 + 2);
    // Closing flushes the block device's buffers but sends no floppy-controller ioctl.
    ASSERT_TRUE(CloseFloppyDevice(device));
    EXPECT_EQ(sys.calls.end()[-3], (SysCall{"fsync"}));
    EXPECT_EQ(sys.calls.end()[-2], (SysCall{"ioctl", BLKFLSBUF}));
}

}  // namespace
}  // namespace kv::test
