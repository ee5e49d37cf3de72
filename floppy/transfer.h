// The New disk-image dialog's work (a blank image, or one read from a floppy
// sector by sector) and the Write to disk dialog's work (optionally formatting
// every track, then writing the image sector by sector). The dialogs' states are
// plain values here; the front-ends draw them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "floppy/progress.h"

namespace kv {

// Status of a read whose boot sector gives no sectors: the disk holds no FAT12
// file system we understand. Bit 29 keeps it apart from every system code.
inline constexpr std::uint32_t kStatusFileSystemNotSupported = 0x20000100;

// What a transfer did, for front-ends that report it.
struct TransferSummary {
    std::uint32_t sectors = 0;           // sectors read or written successfully
    std::vector<std::uint32_t> ignored;  // sectors skipped after an error
    std::uint32_t tracksFormatted = 0;
};

// One line of the format list: its text and its item data (the media byte, or 0
// for "Custom...").
struct FormatLine {
    std::string text;
    std::uint32_t itemData = 0;
};

struct FormatList {
    std::vector<FormatLine> lines;
    int selected = -1;  // the selected line, -1 for none
};

// Every row of the table that has sectors, with its description, then
// "Custom..."; the 0xF9 line is selected.
FormatList FillFormatList(const FormatTable& formats);

// The New disk-image dialog.
struct NewImageDialog {
    WindowRef window = kMainWindow;
    bool copyFromDisk = false;  // "&Copy data from disk" (1007)
    std::string driveLine;      // the selected line of the drive list (1116)
    bool useFormat = true;      // "&Disk format/capacity" (1008)
    FormatList formats;         // the format list (1115)
    // Runs the Custom disk-format dialog modally and gives its end code (1 when
    // confirmed); see ConfirmCustomFormat.
    std::function<int()> runCustomFormatDialog;
    ProgressFactory createProgress;
};

// The format code of the selected format line, running the custom dialog for
// "Custom..." (256 when it was confirmed); -1 when there is none.
std::int64_t GetSelectedFormat(NewImageDialog& dialog);

// The OK button: string 52 first when copying (No is the default), then a blank
// image of the chosen format or ReadFloppyImage. False leaves the dialog open.
// The previous image has been closed by the caller.
bool CreateNewImage(Session& s, NewImageDialog& dialog, TransferSummary* summary = nullptr);

// Reads the floppy of the dialog's drive line into a new untitled image: all
// sectors of format `code`, or, with code 0, as many as its boot sector says
// (read first). Each sector that cannot be read is offered Abort / Retry /
// Ignore; ignored sectors stay zero and are marked in the media-error list.
// Cancel (the progress window) or Abort discards everything without a message.
bool ReadFloppyImage(Session& s, NewImageDialog& dialog, std::uint32_t code, TransferSummary* summary = nullptr);

// The Write to disk dialog.
struct WriteDialog {
    WindowRef window = kMainWindow;
    bool formatDisk = false;  // "&Format disk" (1119)
    ProgressFactory createProgress;
};

// The Write to disk command: warns with string 43 when the image has recorded
// media errors, then runs the dialog; true when it ended with 1 or more.
bool WriteImageCommand(Session& s, WindowRef owner, const std::function<int()>& runWriteDialog);

// The dialog's OK button: formats every track when asked (the first half of
// the progress), then writes the volume's sectors from sector 0 (the second).
// Fails, leaving the dialog open, when the drive cannot be opened or a track
// cannot be formatted (nothing is written then); sector errors are the user's
// to abort, retry or ignore and do not make it fail.
bool WriteImageToFloppy(Session& s, WriteDialog& dialog, std::uint32_t driveIndex, TransferSummary* summary = nullptr);

}  // namespace kv
