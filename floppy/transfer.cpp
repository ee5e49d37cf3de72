#include "floppy/transfer.h"

#include <algorithm>
#include <cstring>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "floppy/floppy_device.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

constexpr std::uint32_t kSectorErrorStyle = MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

std::unique_ptr<ProgressSink> CreateProgress(const ProgressFactory& factory, TransferKind kind, WindowRef owner) {
    return factory ? factory(kind, owner) : nullptr;
}

// The file-system type of a boot sector (bytes 54 to 61, up to the first NUL).
// Moves sectors one at a time until the end or a cancel; a sector that fails
// asks Abort, Retry or Ignore (Abort cancels the transfer). The progress runs
// over `units`, of which the sectors take the last ones from `offset` on.
struct SectorLoop {
    Session& s;
    ProgressSink* progress;
    WindowRef owner;
    FloppyDevice& device;
    TransferSummary& done;
    const char* failure;  // the message's prefix, with %lu for the sector

    template <class Move>
    void Run(std::uint32_t sector, std::uint32_t end, std::uint64_t offset, std::uint64_t units, Move move) {
        while (sector < end && !s.transferCancelled) {
            UpdateProgress(progress, offset + sector, units);
            if (move(sector)) {
                ++done.sectors;
                ++sector;
                continue;
            }
            std::string prefix = FillText(failure, {std::to_string(sector)});
            int answer = ShowSystemError(s.ui, owner, prefix, device.lastError, std::nullopt, kSectorErrorStyle);
            if (answer == IDRETRY) continue;
            if (answer != IDIGNORE) {
                s.transferCancelled = true;  // Abort
                break;
            }
            done.ignored.push_back(sector++);
        }
    }
};

std::string FileSystemType(const std::uint8_t* sector) {
    std::string text;
    for (std::size_t i = 0; i < 8 && sector[boot::kFileSystemType + i] != 0; ++i) {
        text += static_cast<char>(sector[boot::kFileSystemType + i]);
    }
    return Cp437ToUtf8(text);
}

// Shows the new image: title, list, root directory.
void ShowNewImage(Session& s) {
    UpdateWindowTitle(s);
    EnableFileList(s, true);
    if (s.listRootDirectory) s.listRootDirectory(s);
}

}  // namespace

FormatList FillFormatList(const FormatTable& formats) {
    FormatList list;
    for (std::size_t row = 0; row < kCustomRow && formats.Row(row).nameStringId != 0; ++row) {
        const DiskFormat& f = formats.Row(row);
        if (f.totalSectors == 0) continue;
        if (f.mediaByte == 0xF9) list.selected = static_cast<int>(list.lines.size());
        list.lines.push_back({LoadText(f.nameStringId).substr(0, 79), f.mediaByte});
    }
    list.lines.push_back({LoadText(str::kCustomFormat), 0});
    return list;
}

std::int64_t GetSelectedFormat(NewImageDialog& dialog) {
    const FormatList& list = dialog.formats;
    if (list.selected < 0 || static_cast<std::size_t>(list.selected) >= list.lines.size()) return -1;
    std::uint32_t data = list.lines[static_cast<std::size_t>(list.selected)].itemData;
    if (data != 0) return data;
    if (dialog.runCustomFormatDialog && dialog.runCustomFormatDialog() >= 1) return kCustomFormatCode;
    return -1;
}

bool CreateNewImage(Session& s, NewImageDialog& dialog, TransferSummary* summary) {
    if (dialog.copyFromDisk && ShowStringMessage(s.ui, dialog.window, str::kReadDiskWarning,
                                                 MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return false;
    }
    std::uint32_t code = 0;
    if (dialog.useFormat) {
        std::int64_t selected = GetSelectedFormat(dialog);
        if (selected < 0) return false;
        code = static_cast<std::uint32_t>(selected);
    }
    if (dialog.copyFromDisk) return ReadFloppyImage(s, dialog, code, summary);
    if (code == 0) return false;
    if (!BuildBlankImage(s, dialog.window, code)) return false;
    ShowNewImage(s);
    CreateMediaErrorList(s.doc.errors, s.doc.geometry.totalSectors);
    return true;
}

bool ReadFloppyImage(Session& s, NewImageDialog& dialog, std::uint32_t code, TransferSummary* summary) {
    TransferSummary unused;
    TransferSummary& done = summary != nullptr ? *summary : unused;
    FloppyDevice device{};
    device.driveIndex = DriveIndexOfLine(dialog.driveLine);
    device.readOnlyAccess = 1;
    if (!OpenFloppyDevice(device)) {
        ShowSystemError(s.ui, dialog.window, dialog.driveLine, device.lastError, std::nullopt, MB_ICONHAND);
        s.transferCancelled = true;
        return false;
    }

    const DiskFormat row = code != 0 ? FindDiskFormat(s.formats, code) : DiskFormat{};
    s.transferCancelled = false;
    std::unique_ptr<ProgressSink> progress = CreateProgress(dialog.createProgress, TransferKind::Read, dialog.window);
    ShowDriveCapacity(progress.get(), device.driveIndex, static_cast<std::uint64_t>(row.totalSectors) * 512);
    WindowRef messageOwner = progress ? progress->Window() : dialog.window;

    // The number of sectors: the chosen row's, or the boot sector's.
    std::uint32_t status = 0;
    std::uint32_t total = row.totalSectors;
    std::uint8_t bootSector[kFloppySectorSize] = {};
    std::string fileSystem;
    bool bootSectorRead = code == 0;
    if (bootSectorRead) {
        ReadFloppySectors(device, bootSector, 0, 1);
        status = device.lastError;
        fileSystem = FileSystemType(bootSector);
        total = ReadWord(bootSector + boot::kTotalSectors);
        ShowDriveCapacity(progress.get(), device.driveIndex, static_cast<std::uint64_t>(total) * 512);
    }
    if (status == 0 && total == 0) status = kStatusFileSystemNotSupported;

    Bytes image;
    MediaErrorList errors;
    if (status == 0) {
        image = AllocateBytes(static_cast<std::size_t>(total) * kFloppySectorSize);
        if (!image) status = ERROR_NOT_ENOUGH_MEMORY;
        CreateMediaErrorList(errors, total);
    }
    if (status == 0) {
        std::uint32_t sector = 0;
        if (bootSectorRead) {
            std::memcpy(image.get(), bootSector, kFloppySectorSize);
            sector = 1;
            ++done.sectors;
        }
        const std::size_t ignoredBefore = done.ignored.size();
        SectorLoop loop{s, progress.get(), messageOwner, device, done, "Disk sector %lu cannot be read!"};
        loop.Run(sector, total, 0, total, [&](std::uint32_t n) {
            return ReadFloppySectors(device, image.get() + static_cast<std::size_t>(n) * kFloppySectorSize, n, 1);
        });
        // Ignored sectors stay zero (the device layer cleared them) and are marked.
        for (std::size_t i = ignoredBefore; i < done.ignored.size(); ++i) MarkBadSector(errors, done.ignored[i]);
    }
    CloseFloppyDevice(device);
    progress.reset();

    if (status == kStatusFileSystemNotSupported) {
        ShowMessage(s.ui, dialog.window,
                    FillText("Filesystem is not supported or corrupted!\n(Korvane does support FAT12 disks "
                             "only)\n\nRecognized filesystem is: %s",
                             {fileSystem}),
                    MB_ICONHAND);
    } else if (status != 0) {
        ShowSystemError(s.ui, dialog.window, std::nullopt, status, std::nullopt, MB_ICONHAND);
    }
    if (s.transferCancelled || status != 0) return false;

    AdoptUntitledImage(s, std::move(image), total * kFloppySectorSize);
    s.doc.errors = std::move(errors);
    bool valid = true;
    if (code != 0) {
        s.doc.geometry = row;  // whatever the disk's own boot sector says
    } else {
        valid = ReadVolumeGeometry(s, dialog.window, true);
    }
    ShowNewImage(s);
    if (valid) CheckFatCopies(s, dialog.window);
    return true;
}

bool WriteImageCommand(Session& s, WindowRef owner, const std::function<int()>& runWriteDialog) {
    if (HasMediaErrors(s.doc.errors)) ShowStringMessage(s.ui, owner, str::kMediaErrorsNotWritten, MB_ICONEXCLAMATION);
    return runWriteDialog() >= 1;
}

bool WriteImageToFloppy(Session& s, WriteDialog& dialog, std::uint32_t driveIndex, TransferSummary* summary) {
    TransferSummary unused;
    TransferSummary& done = summary != nullptr ? *summary : unused;
    const ImageDocument& doc = s.doc;
    if (!doc.IsOpen()) return false;
    const VolumeGeometry& g = doc.geometry;
    const std::uint32_t sectors = doc.VolumeLength() / kFloppySectorSize;
    const bool format = dialog.formatDisk;
    if (format && (g.sectorsPerTrack == 0 || g.heads == 0)) {
        ShowMessage(s.ui, dialog.window,
                    FillText("The disk-image has no track layout (%lu sectors per track, %lu heads), so its tracks "
                             "cannot be formatted.\nWrite it without formatting the disk.",
                             {std::to_string(g.sectorsPerTrack), std::to_string(g.heads)}),
                    MB_ICONHAND);
        return false;
    }
    // When formatting, the first half of the progress belongs to the tracks.
    const std::uint64_t offset = format ? sectors : 0;
    const std::uint64_t units = offset + sectors;

    s.ui.SetCursor(Cursor::Wait);
    s.transferCancelled = false;
    std::unique_ptr<ProgressSink> progress = CreateProgress(dialog.createProgress, TransferKind::Write, dialog.window);
    ShowDriveCapacity(progress.get(), driveIndex, doc.size);
    WindowRef messageOwner = progress ? progress->Window() : dialog.window;

    FloppyDevice device{};
    device.driveIndex = driveIndex;
    device.readOnlyAccess = 0;
    bool result = OpenFloppyDevice(device);
    std::uint32_t error = device.lastError;
    if (result) {
        ShowDriveCapacity(progress.get(), driveIndex, doc.size);
        if (format) {
            const std::uint32_t cylinders = g.totalSectors / g.sectorsPerTrack / g.heads;
            // A drive that cannot format these tracks says so before the first one.
            result = PrepareFloppyFormat(device, {std::max(cylinders, 1u), g.heads, g.sectorsPerTrack, g.mediaType});
            bool stop = !result;
            // Cylinder 0 is formatted on every head even when the count is 0.
            for (std::uint32_t cylinder = 0; !stop && (cylinder == 0 || cylinder < cylinders); ++cylinder) {
                for (std::uint32_t head = 0; !stop && head < g.heads; ++head) {
                    UpdateProgress(progress.get(),
                                   (static_cast<std::uint64_t>(cylinder) * g.heads + head) * g.sectorsPerTrack, units);
                    result = FormatFloppyTrack(device, g.mediaType, g.sectorsPerTrack, cylinder, head);
                    if (result) ++done.tracksFormatted;
                    stop = !result || s.transferCancelled;
                }
            }
            if (!result) s.transferCancelled = true;  // nothing is written on a badly formatted disk
        }
        SectorLoop loop{s, progress.get(), messageOwner, device, done, "Disk sector %lu cannot be written!"};
        loop.Run(0, sectors, offset, units, [&](std::uint32_t n) {
            return WriteFloppySectors(device, doc.Volume() + static_cast<std::size_t>(n) * kFloppySectorSize, n, 1);
        });
        error = device.lastError;
        CloseFloppyDevice(device);
    }
    s.ui.SetCursor(Cursor::Arrow);
    if (!result) {
        std::string drive(1, static_cast<char>('A' + driveIndex));
        ShowSystemError(s.ui, messageOwner, FillText("%c:", {drive}), error, std::nullopt, MB_ICONHAND);
    }
    progress.reset();
    return result;
}

}  // namespace kv
