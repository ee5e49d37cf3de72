#include "fuzz/harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli/render.h"
#include "cli/terminal_ui.h"
#include "document/boot_sector.h"
#include "document/bytes.h"
#include "fat12/add.h"
#include "fat12/check.h"
#include "fat12/directory.h"
#include "fat12/entries.h"
#include "fat12/extract.h"
#include "fat12/fat.h"
#include "fat12/list_walk.h"
#include "floppy/custom_format.h"
#include "floppy/floppy_device.h"
#include "floppy/transfer.h"
#include "fuzz/harness_support.h"
#include "fuzz/memory_host.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/string_table.h"

namespace kv::fuzz {
namespace {

namespace fs = std::filesystem;

// A session as a front-end holds it, with the list the CLI uses.
struct Front {
    FuzzUi ui;
    MemoryFileList list;
    EnglishLocale locale;
    Session s{ui, list, locale, ListRootDirectory};
};

// Opens the scratch image; an empty text when it opened or failed as it
// should, the violation otherwise.
std::string OpenScratchImage(Front& f, const std::vector<std::uint8_t>& bytes, bool& opened) {
    bool ok = OpenImage(f.s, kMainWindow, Scratch::Get().Image(), false);
    opened = false;
    if (!f.ui.problem.empty()) return f.ui.problem;
    if (f.ui.cursor != Cursor::Arrow) return "wait cursor left after opening";
    const ImageDocument& doc = f.s.doc;
    if (!ok) {
        if (doc.IsOpen()) return "a failed open left an image open";
        if (f.ui.messages == 0) return "opening failed without a message";
        if (f.list.RowCount() != 0) return "a failed open left rows in the list";
        return {};
    }
    if (doc.size != bytes.size()) return "the open image's size differs from its file's";
    if (doc.bootOffset + 512ull > doc.size) return "less than a sector behind the comment header";
    // Only repairing FAT copy 2 may change the bytes, and it marks the image.
    const std::size_t fat2 = doc.bootOffset + 512ull + FatCopySize(doc.geometry);
    if (std::memcmp(doc.data.get(), bytes.data(), std::min<std::size_t>(fat2, doc.size)) != 0) {
        return "opening changed the bytes in front of FAT copy 2";
    }
    if (!doc.modified && std::memcmp(doc.data.get(), bytes.data(), doc.size) != 0) {
        return "opening changed the bytes without marking the image";
    }
    opened = true;
    return CheckRows(f.s, true);
}

// The first problem of the consistency report that an operation may not bring
// in (FAT copies are brought in line only when saving); empty when none.
std::string FirstProblem(const Session& s) {
    const ImageDocument& doc = s.doc;
    for (const Problem& p : CheckVolume(doc.geometry, doc.Volume(), doc.VolumeLength()).problems) {
        if (p.kind != ProblemKind::FatCopyDiffers) return DescribeProblem(p);
    }
    return {};
}

// A host name from the script's bytes: one path component.
std::string HostName(std::string bytes) {
    for (char& c : bytes) {
        if (c == '/') c = '-';
        if (c == '\0') c = 'x';
    }
    if (bytes.empty() || bytes == "." || bytes == "..") bytes = "f" + bytes;
    return bytes;
}

// True when adding a host file of this name replaces a directory entry that
// owns clusters: its contents are then lost, as the user agreed to.
bool ReplacesDirectory(const Session& s, const std::string& hostName) {
    std::string name = Utf8ToCp437(hostName);
    UpperCaseCp437(name);
    std::uint8_t field[dir::kShortNameLength];
    MakeShortNameField(name, field);
    bool found = false;
    ScanRootDirectory(s.doc.geometry, s.doc.Volume(), s.doc.VolumeLength(),
                      [&](std::uint32_t, std::uint64_t, const std::uint8_t* slot) {
                          if (std::memcmp(slot, field, sizeof field) == 0 &&
                              (slot[dir::kAttributes] & attr::kDirectory) && ReadWord(slot + dir::kFirstCluster) != 0) {
                              found = true;
                          }
                          return true;
                      });
    return found;
}

std::string CloseScratchImage(Front& f) {
    static const std::uint8_t kNo = 1;  // the save question's second button
    Input no(&kNo, 1);
    f.ui.answers = &no;
    if (!CloseImage(f.s, true)) return "closing was refused after: " + f.ui.lastText;
    f.ui.answers = nullptr;
    if (f.s.doc.IsOpen() || f.list.RowCount() != 0) return "closing left the image or its rows";
    if (MemoryHost::Get().OpenCount() != 0) return "a host file is still open after closing";
    return f.ui.problem;
}

// What the terminal may be given: UTF-8 without control characters but the
// line break (C0, DEL, C1).
std::string CheckTerminalText(const std::string& text, const char* what) {
    if (!IsUtf8(text)) return std::string(what) + " is not UTF-8";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool c1 = b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if ((b < 0x20 && b != '\n') || b == 0x7F || c1) return std::string(what) + " holds a control character";
    }
    return {};
}

// list, info and check as korvane-cli prints them: text, and JSON that parses
// (with a row per entry, the image's size and the check's verdict).
std::string CheckCliOutputs(const Session& s, const std::string& path) {
    for (bool json : {false, true}) {
        bool clean = false;
        const std::string outputs[] = {cli::ListOutput(s, json), cli::InfoOutput(s, path, json),
                                       cli::CheckOutput(s, path, json, false, clean)};
        const char* const names[] = {"list", "info", "check"};
        nlohmann::json parsed[3];
        for (int i = 0; i < 3; ++i) {
            if (std::string v = CheckTerminalText(outputs[i], names[i]); !v.empty()) return v + (json ? " (JSON)" : "");
            if (!json) continue;
            parsed[i] = nlohmann::json::parse(outputs[i], nullptr, false);
            if (parsed[i].is_discarded()) return std::string(names[i]) + " is not JSON";
        }
        if (!json) continue;
        if (parsed[0].size() != s.list.RowCount()) return "list: not a row per entry";
        if (parsed[1]["size"] != s.doc.size) return "info: the wrong size";
        if (parsed[2]["clean"] != clean) return "check: clean differs";
    }
    return {};
}

}  // namespace

std::string OpenAndRead(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = Scratch::Get();
    scratch.Reset();
    const std::vector<std::uint8_t> bytes(data, data + size);
    WriteFile(scratch.Image(), data, size);
    Front f;
    // The OEM name and its neighbours answer the questions.
    Input answers(data + std::min<std::size_t>(size, 3),
                  std::min<std::size_t>(size, 11) - std::min<std::size_t>(size, 3));
    f.ui.answers = &answers;
    bool opened = false;
    if (std::string v = OpenScratchImage(f, bytes, opened); !v.empty() || !opened) return v;
    if (std::string v = CheckReads(f.s); !v.empty()) return v;
    if (std::string v = CheckExtraction(f.s, f.ui); !v.empty()) return v;
    if (!f.ui.problem.empty()) return f.ui.problem;
    if (std::string v = CloseScratchImage(f); !v.empty()) return v;
    if (ReadFile(scratch.Image()) != bytes) return "the image file changed without a save";
    return {};
}

std::string Modify(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = Scratch::Get();
    scratch.Reset();
    Input input(data, size);
    const std::string scriptBytes = input.Text(input.Byte());
    const std::vector<std::uint8_t> bytes = input.Rest();
    WriteFile(scratch.Image(), bytes.data(), bytes.size());
    Input script(reinterpret_cast<const std::uint8_t*>(scriptBytes.data()), scriptBytes.size());
    Front f;
    f.ui.answers = &script;
    bool opened = false;
    if (std::string v = OpenScratchImage(f, bytes, opened); !v.empty() || !opened) return v;

    ImageDocument& doc = f.s.doc;
    const std::uint8_t* const buffer = doc.data.get();
    const std::uint32_t imageSize = doc.size;
    const std::vector<std::uint8_t> header(bytes.begin(), bytes.begin() + doc.bootOffset);
    static const char* const kOps[] = {"add file", "add folder", "delete", "rename", "attributes", "label", "save"};
    std::string trace;  // the steps so far, for the report
    bool clean = FirstProblem(f.s).empty();
    for (int step = 0; !script.Empty(); ++step) {
        std::string at = " (step " + std::to_string(step) + " after:" + trace + ")";
        const std::vector<std::uint8_t> before = Snapshot(doc);
        const bool modifiedBefore = doc.modified;
        const bool cleanBefore = clean;
        bool mayLoseClusters = false;
        std::optional<bool> result;  // for operations that report success
        const std::size_t rows = f.list.RowCount();
        const std::uint8_t op = script.Byte() % 7;
        switch (op) {
            case 0:
            case 1: {  // add a host file or folder
                const std::string name = HostName(script.Text(script.Byte() % 14));
                const fs::path path = scratch.In() / name;
                if (op == 0) {
                    std::vector<std::uint8_t> content(script.Word() % 6000);
                    for (std::size_t i = 0; i < content.size(); ++i)
                        content[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(step));
                    WriteFile(path.string(), content.data(), content.size());
                } else {
                    MemoryHost::Get().MakeFolder(path.string());
                }
                mayLoseClusters = ReplacesDirectory(f.s, name);
                result = AddHostFile(f.s, path.string());
                MemoryHost::Get().Remove(path.string());
                break;
            }
            case 2: {  // delete the rows of a mask, each asked about
                const std::uint8_t mask = script.Byte();
                for (std::size_t i = 0; i < rows; ++i) f.list.SetSelected(i, (mask >> (i % 8)) & 1);
                DeleteSelection(f.s, kMainWindow);
                f.list.SelectAll(false);
                break;
            }
            case 3: {  // rename a row to typed text (any bytes)
                const std::size_t row = rows == 0 ? 0 : script.Byte() % rows;
                const std::uint8_t length = script.Byte();
                std::optional<std::string> typed;
                if (length != 0xFF) typed = script.Text(length % 16);
                result = RenameEntry(f.s, kMainWindow, typed, row);
                break;
            }
            case 4: {  // attributes
                if (rows == 0) break;
                std::uint8_t* slot = doc.data.get() + f.list.RowAt(script.Byte() % rows).slotOffset;
                result = SetEntryAttributes(f.s, slot, script.Byte());
                break;
            }
            case 5: {  // the label, as typed
                result = ApplyVolumeLabel(f.s, kMainWindow, Utf8ToCp437(script.Text(script.Byte() % 14)));
                break;
            }
            case 6: {  // save
                result = SaveImage(f.s);
                if (*result) {
                    if (doc.modified) return "a saved image is still marked" + at;
                    if (ReadFile(scratch.Image()) != Snapshot(doc)) return "the file differs from the saved image" + at;
                }
                break;
            }
        }
        trace += std::string(" ") + kOps[op] + (result ? (*result ? " ok" : " failed") : "");
        at += " in " + std::string(kOps[op]);
        if (!f.ui.problem.empty()) return f.ui.problem + at;
        if (f.ui.cursor != Cursor::Arrow) return "wait cursor left" + at;
        if (!doc.IsOpen() || doc.data.get() != buffer || doc.size != imageSize) return "the image buffer moved" + at;
        if (!std::equal(header.begin(), header.end(), doc.data.get())) return "the comment header changed" + at;
        const std::vector<std::uint8_t> after = Snapshot(doc);
        if (result && !*result && (after != before || doc.modified != modifiedBefore)) {
            return "a failed operation " + std::to_string(op) + " changed the image" + at;
        }
        if (after != before && !doc.modified && op != 6) return "the image changed without being marked" + at;
        if (std::string v = CheckRows(f.s, false); !v.empty()) return v + at;
        const std::string problem = FirstProblem(f.s);
        clean = problem.empty();
        if (cleanBefore && !mayLoseClusters && !clean) {
            return "operation " + std::to_string(op) + " damaged the volume: " + problem + at;
        }
    }
    if (std::string v = CheckReads(f.s); !v.empty()) return v;
    if (std::string v = scratch.CheckNothingOutside({}); !v.empty()) return v;
    return CloseScratchImage(f);
}

std::string CustomFormat(const std::uint8_t* data, std::size_t size) {
    CustomFormatFields fields;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t field = 0;
    for (std::size_t start = 0; field < kCustomFieldCount && start <= text.size(); ++field) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        fields.texts[field] = text.substr(start, end - start);
        start = end + 1;
    }
    const CustomCapacity capacity = UpdateCustomCapacity(fields);
    for (const std::string* t : {&capacity.total, &capacity.formatted}) {
        if (t->empty() || t->find_first_not_of("-0123456789") != std::string::npos) return "capacity is no number";
    }

    Scratch& scratch = Scratch::Get();
    scratch.Reset();
    Front f;
    const DiskFormat previous = f.s.formats.CustomRow();
    if (!ConfirmCustomFormat(f.ui, kMainWindow, fields, f.s.formats)) {
        if (f.ui.messages != 1) return "a refused format showed " + std::to_string(f.ui.messages) + " messages";
        if (std::memcmp(&previous, &f.s.formats.CustomRow(), sizeof previous) != 0)
            return "a refused format changed the row";
        return f.ui.problem;
    }
    const DiskFormat row = f.s.formats.CustomRow();
    if (!CheckCustomGeometry(row).empty()) return "an accepted format fails the geometry check";
    if (!BuildBlankImage(f.s, kMainWindow, kCustomFormatCode)) return "an accepted format gives no image";
    ImageDocument& doc = f.s.doc;
    if (doc.size != row.totalSectors * 512ull) return "the blank image has the wrong size";

    // What opening the image would read from it.
    const VolumeGeometry built = doc.geometry;
    if (!ReadVolumeGeometry(f.s, kMainWindow, false)) return "the blank image's boot sector is not valid";
    const VolumeGeometry& g = doc.geometry;
    if (g.fatCount != built.fatCount || g.totalSectors != built.totalSectors ||
        g.sectorsPerFat != built.sectorsPerFat || g.sectorsPerCluster != built.sectorsPerCluster ||
        g.rootEntries != built.rootEntries || g.heads != built.heads || g.sectorsPerTrack != built.sectorsPerTrack) {
        return "the blank image's boot sector gives another geometry";
    }
    if (CheckFatCopies(f.s, kMainWindow) != 0) return "the blank image's FAT copies differ";
    if (std::string problem = FirstProblem(f.s); !problem.empty()) return "blank image: " + problem;
    const ClusterUsage usage = CountClusters(g, doc.Volume(), doc.VolumeLength());
    if (usage.usedClusters != 0 || usage.freeClusters != DataClusterCount(g))
        return "the blank image's clusters are not all free";
    ListRootDirectory(f.s);
    if (f.list.RowCount() != 0) return "the blank image lists entries";

    // A file of two clusters (or all there are) goes in and comes out whole.
    const std::uint64_t fileSize =
        std::min<std::uint64_t>(2 * ClusterBytes(g) - 1, DataClusterCount(g) * ClusterBytes(g));
    std::vector<std::uint8_t> content(static_cast<std::size_t>(fileSize));
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i % 251);
    const fs::path in = scratch.In() / "file.bin";
    WriteFile(in.string(), content.data(), content.size());
    if (!AddHostFile(f.s, in.string())) return "a file does not fit into a blank image: " + f.ui.lastText;
    if (std::string problem = FirstProblem(f.s); !problem.empty()) return "after adding: " + problem;
    const std::string out = (scratch.Out() / "file.bin").string();
    if (ExtractEntry(f.s, kMainWindow, doc.data.get() + f.list.RowAt(0).slotOffset, 0, out) != 1)
        return "cannot extract";
    if (ReadFile(out) != content) return "the file came out different";
    return f.ui.problem;
}

namespace {

// A drive made of bytes: sectors that fail a number of times (or always) and
// then read, a disk that ends where the input does.
class InputFloppy final : public FloppyBackend {
public:
    std::vector<std::uint8_t> disk;
    std::map<std::uint32_t, int> failing;  // sector -> failures left, -1 for always
    std::uint32_t openError = 0;

    bool Open(FloppyDevice& device) override {
        if (openError != 0) {
            device.lastError = openError;
            return false;
        }
        device.handle = 3;
        return true;
    }
    bool Close(FloppyDevice& device) override {
        device.handle = kInvalidDeviceHandle;
        return true;
    }
    std::uint32_t ReadSectors(FloppyDevice&, void* buffer, std::uint32_t first, std::uint32_t count) override {
        auto it = failing.find(first);
        if (it != failing.end() && it->second != 0) {
            if (it->second > 0) --it->second;
            return ERROR_CRC;
        }
        const std::uint64_t at = static_cast<std::uint64_t>(first) * 512,
                            bytes = static_cast<std::uint64_t>(count) * 512;
        if (at + bytes > disk.size()) return ERROR_SECTOR_NOT_FOUND;
        std::memcpy(buffer, disk.data() + at, static_cast<std::size_t>(bytes));
        return 0;
    }
    std::uint32_t WriteSectors(FloppyDevice&, const void*, std::uint32_t, std::uint32_t) override {
        return ERROR_WRITE_PROTECT;
    }
    std::uint32_t FormatTrack(FloppyDevice&, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
        return ERROR_WRITE_PROTECT;
    }
    std::vector<std::string> ListDrives() override { return {"A: [input]"}; }
};

// Presses Cancel at a given pump.
class CancellingProgress final : public ProgressSink {
public:
    CancellingProgress(Session& s, int cancelAt) : s_(s), cancelAt_(cancelAt) {}
    void SetDriveText(const std::string&) override {}
    void SetPercent(std::uint32_t percent) override { last = percent; }
    void PumpMessages() override {
        if (++pumps_ == cancelAt_) s_.transferCancelled = true;
    }
    WindowRef Window() const override { return nullptr; }
    std::uint32_t last = 0;

private:
    Session& s_;
    int cancelAt_;
    int pumps_ = 0;
};

}  // namespace

std::string FloppyRead(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const std::uint8_t choice = input.Byte();
    static const std::uint32_t kCodes[] = {0, 0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    const std::uint32_t code = kCodes[choice % 10];
    InputFloppy floppy;
    if (choice >= 0xF0) floppy.openError = ERROR_NOT_READY;
    const std::uint8_t failures = input.Byte() % 9;
    for (std::uint8_t i = 0; i < failures; ++i) {
        const std::uint16_t sector = input.Word();
        const std::uint8_t times = input.Byte();
        floppy.failing[sector] = times == 0xFF ? -1 : times % 4;
    }
    const std::uint16_t cancelAt = input.Word();
    const std::string answerBytes = input.Text(input.Byte() % 32);
    floppy.disk = input.Rest();
    const std::vector<std::uint8_t> disk = floppy.disk;

    Scratch::Get().Reset();
    ScopedFloppyBackend installed(floppy);
    Front f;
    Input answers(reinterpret_cast<const std::uint8_t*>(answerBytes.data()), answerBytes.size());
    f.ui.answers = &answers;
    NewImageDialog dialog;
    dialog.copyFromDisk = true;
    dialog.driveLine = "A: [input]";
    dialog.createProgress = [&](TransferKind, WindowRef) -> std::unique_ptr<ProgressSink> {
        if (cancelAt == 0) return nullptr;
        return std::make_unique<CancellingProgress>(f.s, cancelAt);
    };
    TransferSummary summary;
    const bool read = ReadFloppyImage(f.s, dialog, code, &summary);
    if (!f.ui.problem.empty()) return f.ui.problem;
    const ImageDocument& doc = f.s.doc;
    if (!read) {
        if (doc.IsOpen()) return "a failed read left an image";
        return {};
    }
    const std::uint32_t total =
        code != 0 ? FindDiskFormat(f.s.formats, code).totalSectors : ReadWord(disk.data() + boot::kTotalSectors);
    if (doc.size != total * 512ull) return "the image read has the wrong size";
    if (doc.path != LoadText(29)) return "the image read is not untitled";
    if (summary.sectors + summary.ignored.size() != total) return "sectors read and ignored do not add up";
    if (ListBadSectors(doc.errors, total) != summary.ignored) return "the error list differs from the ignored sectors";
    // The disk's sectors, zeros where ignored, and FAT copy 2 repaired when
    // the question after the read was answered Yes.
    std::vector<std::uint8_t> want(doc.size);
    for (std::uint32_t sector = 0; sector < total; ++sector) {
        if (std::binary_search(summary.ignored.begin(), summary.ignored.end(), sector)) continue;
        if ((sector + 1ull) * 512 > disk.size()) return "a sector beyond the disk was read";
        std::memcpy(want.data() + sector * 512ull, disk.data() + sector * 512ull, 512);
    }
    if (doc.modified) {
        const std::size_t fatSize = FatCopySize(doc.geometry);
        std::memcpy(want.data() + 512 + fatSize, want.data() + 512, fatSize);
    }
    for (std::uint32_t sector = 0; sector < total; ++sector) {
        if (std::memcmp(doc.data.get() + sector * 512ull, want.data() + sector * 512ull, 512) != 0) {
            return "sector " + std::to_string(sector) + " differs from the disk";
        }
    }
    if (std::string v = CheckRows(f.s, true); !v.empty()) return v;
    if (std::string v = CheckReads(f.s); !v.empty()) return v;
    return CloseScratchImage(f);
}

std::string CliOutput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    std::string name = input.Text(input.Byte());
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name += "_";
    const std::vector<std::uint8_t> bytes = input.Rest();
    Scratch& scratch = Scratch::Get();
    scratch.Reset();
    const std::string path = (scratch.In() / name).string();
    WriteFile(path, bytes.data(), bytes.size());

    // The messages go where korvane-cli prints them, with the answers of its
    // reading commands.
    char* messages = nullptr;
    std::size_t length = 0;
    std::FILE* err = ::open_memstream(&messages, &length);
    cli::TerminalUi ui(err, nullptr);
    ui.mode = cli::AnswerMode::No;
    ui.declineQuietly = true;
    MemoryFileList list;
    CLibraryLocale locale;
    Session s{ui, list, locale, ListRootDirectory};
    std::string v;
    try {
        if (OpenImage(s, kMainWindow, path, true)) v = CheckCliOutputs(s, path);
    } catch (const std::exception& e) {
        v = std::string("exception: ") + e.what();
    }
    CloseImage(s, false);
    std::fclose(err);
    if (v.empty()) v = CheckTerminalText(std::string(messages, length), "a message");
    std::free(messages);
    if (v.empty() && MemoryHost::Get().OpenCount() != 0) v = "a host file is still open after closing";
    return v;
}

Target FindTarget(const std::string& name) {
    if (name == "cli_output") return CliOutput;
    if (name == "open_and_read") return OpenAndRead;
    if (name == "modify") return Modify;
    if (name == "custom_format") return CustomFormat;
    if (name == "floppy_read") return FloppyRead;
    return nullptr;
}

}  // namespace kv::fuzz
