// The boot program of every blank image, run in a Z80 emulator as the disk ROM runs it, against a
// BDOS stand-in that serves files by name (the program never reads the disk's format).
#include "document/msxdos_boot.h"

#include <gtest/gtest.h>
#include <z80ex.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "document/boot_sector.h"
#include "tests/support/temp_dir.h"

namespace kv {
namespace {

using test::TempDir;

const std::string kMessage = "Boot error\r\nPress any key for retry\r\n";

// Addresses the disk ROM and its kernel give the boot program.
constexpr std::uint16_t kEntry = 0xC01E;
constexpr std::uint16_t kErrorPointer = 0xF323;  // HL
constexpr std::uint16_t kRestorePage1 = 0xF368;  // DE
constexpr std::uint16_t kBdos = 0xF37D;
constexpr std::uint16_t kBasicEntry = 0x4022;
constexpr std::uint16_t kSystemStart = 0x0100;
// Harness markers: where the ROM's call returns to (Disk BASIC follows), and
// where a disk-error handler would return into the kernel (a fault).
constexpr std::uint16_t kRomReturn = 0x4A00;
constexpr std::uint16_t kKernelReturn = 0x5B00;
constexpr std::uint16_t kRomStack = 0xC1F0;
constexpr std::uint16_t kKernelStack = 0xF200;  // the kernel's own, in its work area
constexpr std::uint8_t kFill = 0x76;            // HALT, so stray jumps stop at once

// The root-directory files the BDOS stand-in finds, by their FCB name
// ("MSXDOS  SYS").
using Disk = std::map<std::string, std::vector<std::uint8_t>>;

enum class Stop { ReturnedToRom, BasicStarted, SystemStarted, Fault, StepLimit, Halted };

// 64 KB of RAM, the first 256 bytes of sector 0 at 0C000H, the ROM's stack
// and entry registers, and stand-ins for the BDOS and the page-1 routine.
class DiskRomMachine {
public:
    explicit DiskRomMachine(const Disk* d) : disk(d) {
        mem.fill(kFill);
        std::memcpy(&mem[0xC000], BootSectorTemplate().data(), 256);  // bytes 256-511 never reach memory
        std::fill(&mem[0xC100], &mem[0xC200], std::uint8_t{0x5A});
        Put(kErrorPointer, 0xDEAD, 2);
        Put(kRomStack - 2, kRomReturn, 2);
        cpu_ = z80ex_create(Read, this, Write, this, PortIn, this, PortOut, this, IntVector, this);
    }
    ~DiskRomMachine() { z80ex_destroy(cpu_); }
    DiskRomMachine(const DiskRomMachine&) = delete;
    DiskRomMachine& operator=(const DiskRomMachine&) = delete;

    // Calls 0C01EH as the disk ROM does and runs until a marked place is reached.
    Stop Call(bool carry, std::uint8_t a) {
        z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(a << 8 | 0x40 | (carry ? 1 : 0)));
        z80ex_set_reg(cpu_, regBC, 0x1234);
        z80ex_set_reg(cpu_, regDE, kRestorePage1);
        z80ex_set_reg(cpu_, regHL, kErrorPointer);
        z80ex_set_reg(cpu_, regSP, kRomStack - 2);
        z80ex_set_reg(cpu_, regPC, kEntry);
        return Run();
    }

    Z80EX_WORD Reg(Z80_REG_T r) const { return z80ex_get_reg(cpu_, r); }
    void Put(std::uint32_t at, std::uint32_t value, int bytes) {
        for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(bytes); ++i)
            mem[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::uint16_t WordAt(std::uint16_t at) const { return static_cast<std::uint16_t>(mem[at] | mem[at + 1u] << 8); }

    std::array<std::uint8_t, 65536> mem{};
    const Disk* disk;
    // A disk error raised inside the first call of a BDOS function.
    struct PlannedError {
        std::uint8_t function, code;
    };
    std::optional<PlannedError> diskError;
    std::function<void(DiskRomMachine&)> onKey;

    std::string events;  // " open:found dta read ...", "print" for the boot error message
    std::vector<std::string> faults;
    std::vector<std::uint16_t> writes;  // every address the CPU wrote
    std::uint16_t dta = 0x0080;
    std::uint32_t readRecordSize = 0, readStart = 0, readCount = 0;
    bool page1IsDiskRom = true;

private:
    Stop Run() {
        for (int steps = 0; steps < 200000; ++steps) {
            std::uint16_t pc = Reg(regPC);
            if (z80ex_last_op_type(cpu_) == 0) {
                if (pc == kRomReturn) return Stop::ReturnedToRom;
                if (pc == kSystemStart) return Stop::SystemStarted;
                if (pc == kBasicEntry) {
                    if (!page1IsDiskRom) faults.push_back("Disk BASIC entered with the disk ROM switched out");
                    return Stop::BasicStarted;
                }
                if (pc == kBdos) {
                    if (Bdos()) Return();  // else a disk error moved PC to the handler
                    continue;
                }
                if (pc == kRestorePage1) {
                    Event("restore");
                    page1IsDiskRom = true;
                    // The routine need not keep any register.
                    z80ex_set_reg(cpu_, regBC, (Reg(regBC) & 0x0E) == 2 ? 0x04 : 0x02);
                    z80ex_set_reg(cpu_, regAF, 0xFFFF);
                    z80ex_set_reg(cpu_, regHL, 0x0000);
                    Return();
                    continue;
                }
                if (pc < kEntry || pc >= 0xC100) {
                    faults.push_back("jumped to " + std::to_string(pc));
                    return Stop::Fault;
                }
            }
            z80ex_step(cpu_);
            if (z80ex_doing_halt(cpu_)) return Stop::Halted;
            if (!faults.empty()) return Stop::Fault;
        }
        return Stop::StepLimit;
    }

    void Return() {
        std::uint16_t sp = Reg(regSP);
        z80ex_set_reg(cpu_, regPC, WordAt(sp));
        z80ex_set_reg(cpu_, regSP, static_cast<Z80EX_WORD>(sp + 2));
    }
    void Event(const char* what) { events += std::string(" ") + what; }
    void SetA(std::uint8_t a) { z80ex_set_reg(cpu_, regAF, static_cast<Z80EX_WORD>(a << 8 | (Reg(regAF) & 0xFF))); }

    // Returns false when a planned disk error sent the CPU to the handler.
    bool Bdos() {
        std::uint8_t function = static_cast<std::uint8_t>(Reg(regBC) & 0xFF);
        std::uint16_t de = Reg(regDE);
        if (!page1IsDiskRom) faults.push_back("BDOS called with the disk ROM switched out");
        if (diskError && diskError->function == function) {
            if (function == 0x27) {
                // A block read cut short has already moved the FCB on.
                mem[de + 12u] = 1;
                mem[de + 34u] = 4;
            }
            RaiseDiskError(diskError->code);
            diskError.reset();
            return false;
        }
        switch (function) {
            case 0x0F: Open(de); break;
            case 0x1A:
                Event("dta");
                dta = de;
                break;
            case 0x27: BlockRead(de, Reg(regHL)); break;
            case 0x09: {
                std::string text;
                for (std::uint16_t at = de; mem[at] != '$' && text.size() < 1000; ++at)
                    text += static_cast<char>(mem[at]);
                Event(text == kMessage ? "print" : "print:other");
                break;
            }
            case 0x07:
                Event("key");
                SetA(' ');
                if (onKey) onKey(*this);
                break;
            default: faults.push_back("BDOS function " + std::to_string(function));
        }
        return true;
    }

    const std::vector<std::uint8_t>* File(std::uint16_t fcb) const {
        auto file = disk->find(std::string(reinterpret_cast<const char*>(&mem[fcb + 1u]), 11));
        return file == disk->end() ? nullptr : &file->second;
    }

    void Open(std::uint16_t fcb) {
        if (mem[fcb + 12u] != 0 || mem[fcb + 13u] != 0) faults.push_back("open with a non-zero extent");
        const std::vector<std::uint8_t>* file = File(fcb);
        Event(file ? "open:found" : "open:missing");
        if (!file) return SetA(0xFF);
        std::fill_n(&mem[fcb + 20u], 12, std::uint8_t{0x5A});  // date, time, device, directory and cluster fields
        Put(fcb + 14u, 128, 2);                                // the kernel opens with 128-byte records
        Put(fcb + 16u, static_cast<std::uint32_t>(file->size()), 4);
        SetA(0);
    }

    // Reads `count` records from the random record (4 bytes at offset 33) on.
    void BlockRead(std::uint16_t fcb, std::uint16_t count) {
        Event("read");
        const std::uint32_t size = WordAt(fcb + 14u);
        readRecordSize = size;
        readStart = WordAt(fcb + 33u) | std::uint32_t{WordAt(fcb + 35u)} << 16;
        readCount = count;
        const std::vector<std::uint8_t>* file = File(fcb);
        if (size == 0 || !file) return faults.push_back("read without a record size or a file");
        const std::uint64_t start = std::uint64_t{readStart} * size;
        const std::uint64_t n =
            std::min<std::uint64_t>(std::uint64_t{count} * size, start < file->size() ? file->size() - start : 0);
        const auto records = static_cast<std::uint32_t>((n + size - 1) / size);
        if (dta + std::uint64_t{records} * size > 0x10000) return faults.push_back("transfer past 0FFFFH");
        std::fill_n(&mem[dta], records * size, std::uint8_t{0});
        std::copy_n(file->begin() + static_cast<std::ptrdiff_t>(start), n, &mem[dta]);
        Put(fcb + 33u, readStart + records, 4);
        z80ex_set_reg(cpu_, regHL, static_cast<Z80EX_WORD>(records));
        SetA(records < count ? 1 : 0);
    }

    // What the kernel does on a disk error: page 1 switched away from the disk
    // ROM, its own stack with its frames on it, C = error code, A = drive, and
    // a call through the pointer at 0F323H.
    void RaiseDiskError(std::uint8_t code) {
        Event("error");
        page1IsDiskRom = false;
        std::uint16_t sp = kKernelStack;
        for (std::uint16_t w : {std::uint16_t{0x1111}, std::uint16_t{0x2222}, std::uint16_t{0x3333}, kKernelReturn}) {
            Put(sp -= 2, w, 2);
        }
        z80ex_set_reg(cpu_, regSP, sp);
        z80ex_set_reg(cpu_, regAF, 0x0000);
        z80ex_set_reg(cpu_, regBC, code);
        z80ex_set_reg(cpu_, regPC, WordAt(WordAt(kErrorPointer)));
    }

    static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD addr, int, void* self) {
        return static_cast<DiskRomMachine*>(self)->mem[addr];
    }
    static void Write(Z80EX_CONTEXT*, Z80EX_WORD addr, Z80EX_BYTE value, void* self) {
        auto* m = static_cast<DiskRomMachine*>(self);
        m->writes.push_back(addr);
        m->mem[addr] = value;
    }
    static Z80EX_BYTE PortIn(Z80EX_CONTEXT*, Z80EX_WORD port, void* self) {
        static_cast<DiskRomMachine*>(self)->faults.push_back("IN from port " + std::to_string(port));
        return 0xFF;
    }
    static void PortOut(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE, void* self) {
        static_cast<DiskRomMachine*>(self)->faults.push_back("OUT to port " + std::to_string(port));
    }
    static Z80EX_BYTE IntVector(Z80EX_CONTEXT*, void*) { return 0xFF; }

    Z80EX_CONTEXT* cpu_;
};

TEST(MsxDosBootSource, AssemblesToTheBytesBuiltIntoImages) {
    if (!test::HaveProgram("pasmo")) GTEST_SKIP() << "pasmo is not installed";
    TempDir dir;
    std::string output;
    ASSERT_EQ(test::RunCommand("pasmo '" KORVANE_SOURCE_DIR "/document/msxdos_boot.asm' '" + dir.File("boot.bin") + "'",
                               &output),
              0)
        << output;
    EXPECT_EQ(test::ReadWholeFile(dir.File("boot.bin")),
              std::vector<std::uint8_t>(kMsxDosBootProgram, kMsxDosBootProgram + kBootProgramSize))
        << "run scripts/gen-boot-program.sh";
}

TEST(MsxDosBoot, TheFirstCallReturnsAtOnceAndWritesNothing) {
    Disk disk;
    DiskRomMachine m(&disk);
    auto before = m.mem;
    EXPECT_EQ(m.Call(false, 0), Stop::ReturnedToRom);
    EXPECT_TRUE(m.writes.empty() && m.mem == before && m.events.empty());
    EXPECT_EQ(m.Reg(regSP), kRomStack);
}

// At most 3F00H bytes of MSXDOS.SYS are loaded and started; without it a cold boot starts BASIC
// and a warm boot asks for a key. A disk error's handler restores page 1 and never returns.
TEST(MsxDosBoot, EachBootTakesTheRightPath) {
    const std::vector<std::uint8_t> system = test::Pattern(20000, 7);
    enum Inserted { kData, kEmpty, kSystem };
    Disk disks[] = {{{"DATA    TXT", test::Pattern(3000, 2)}}, {{"MSXDOS  SYS", {}}}, {{"MSXDOS  SYS", system}}};
    const struct {
        Inserted disk;
        std::uint8_t a;
        std::optional<DiskRomMachine::PlannedError> error;
        int keysUntilSystemDisk;
        Stop stop;
        std::string events;
    } cases[] = {
        {kSystem, 0, {}, 0, Stop::SystemStarted, "open:found dta read"},
        {kSystem, 1, {}, 0, Stop::SystemStarted, "open:found dta read"},
        {kData, 0, {}, 0, Stop::BasicStarted, "open:missing"},
        {kEmpty, 0, {}, 1, Stop::SystemStarted, "open:found dta read print key open:found dta read"},
        {kData, 0xFF, {}, 2, Stop::SystemStarted, "open:missing print key open:missing print key open:found dta read"},
        // Not ready, read or write: cold boot gives BASIC, warm boot asks for a key.
        {kSystem, 0, {{0x0F, 0x02}}, 0, Stop::BasicStarted, "error restore"},
        {kSystem, 0, {{0x27, 0x03}}, 0, Stop::BasicStarted, "open:found dta error restore"},
        {kSystem, 1, {{0x0F, 0x02}}, 0, Stop::SystemStarted, "error restore print key open:found dta read"},
        // Anything else asks for a key even on a cold boot, then loads the file anew.
        {kSystem,
         0,
         {{0x27, 0x04}},
         0,
         Stop::SystemStarted,
         "open:found dta error restore print key open:found dta read"},
        {kSystem,
         1,
         {{0x27, 0x08}},
         0,
         Stop::SystemStarted,
         "open:found dta error restore print key open:found dta read"},
        {kSystem, 0, {{0x27, 0x82}}, 0, Stop::BasicStarted, "open:found dta error restore"},  // bit 7 is no kind
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "disk " << c.disk << " A=" << int{c.a} << ": " << c.events);
        DiskRomMachine m(&disks[c.disk]);
        m.diskError = c.error;
        int keys = 0;
        m.onKey = [&](DiskRomMachine& machine) {
            if (++keys == c.keysUntilSystemDisk) machine.disk = &disks[kSystem];  // the user puts it in
        };
        EXPECT_EQ(m.Call(true, c.a), c.stop);
        EXPECT_EQ(m.events, " " + c.events);
        EXPECT_TRUE(m.page1IsDiskRom);
        // The kernel finds the handler through a word the program holds.
        const std::uint16_t handler = m.WordAt(m.WordAt(kErrorPointer));
        EXPECT_TRUE(handler >= kEntry && handler < 0xC100) << handler;
        if (c.stop == Stop::SystemStarted) {
            EXPECT_EQ(m.dta, kSystemStart);
            EXPECT_EQ(std::make_tuple(m.readRecordSize, m.readStart, m.readCount), std::make_tuple(1u, 0u, 0x3F00u));
            EXPECT_TRUE(std::equal(system.begin(), system.begin() + 0x3F00, &m.mem[kSystemStart]));
            EXPECT_EQ(m.mem[kSystemStart + 0x3F00], kFill);
        }
        // Writes go only to the error pointer, the program's bytes 30-255 and its stack under 0C000H.
        for (std::uint16_t at : m.writes) {
            EXPECT_TRUE(at == kErrorPointer || at == kErrorPointer + 1 || (at >= kEntry && at < 0xC100) ||
                        (at >= 0xBF00 && at < 0xC000))
                << "write to " << std::hex << at;
        }
        EXPECT_TRUE(m.faults.empty()) << m.faults.front();
    }
}

}  // namespace
}  // namespace kv
