// The one open disk image: its bytes in memory, the file it came from (kept open
// while the image is open), its path, its flags, its geometry and its bad-sector
// list; opening, closing, saving and saving under a new name.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "document/disk_format.h"
#include "document/file_list.h"
#include "document/media_errors.h"
#include "platform/host_calls.h"
#include "platform/host_file.h"
#include "platform/locale.h"
#include "platform/ui.h"

namespace kv {

// Images of 4 GiB or more are refused.
inline constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFull;

struct ImageDocument {
    Bytes data;                    // the whole image file; null when no image is open
    std::uint32_t size = 0;        // bytes in data
    std::uint32_t bootOffset = 0;  // where the boot sector starts in data
    HostFile file;                 // kept open; not open for an image without a file
    std::string path;              // "Untitled" for an image without a file; empty when none is open
    bool readOnly = false;         // the file was opened without write access
    bool modified = false;         // the bytes differ from what was last loaded or saved
    VolumeGeometry geometry{};
    MediaErrorList errors;
    // After Save As, until a save puts it in place, `file` is a new file beside
    // `path` (named `newFilePath`) that the save renames to `path`; a file at
    // `path` stays as it was until then. A failed save removes the new file
    // (`newFilePath` empty) and the next save makes another.
    bool fileIsNew = false;
    std::string newFilePath;
    // The bytes are a private mapping of `file` itself (ImageLoad::Map), so
    // every page the process has not written is what the file holds. Not so
    // after a Save As, which binds another file.
    bool mapsFile = false;

    bool IsOpen() const { return data != nullptr; }
    // The volume: the image bytes from the boot sector on.
    std::uint8_t* Volume() const { return data.get() + bootOffset; }
    std::uint32_t VolumeLength() const { return size - bootOffset; }
};

struct Session;

// Fills the file list with a row for every shown entry of the open image's root
// directory. The directory layer provides it (ListRootDirectory); layers below it
// and tests that never list pass their own.
using DirectoryLister = std::function<void(Session& s)>;

// The program-wide state that a front-end owns and hands to every operation: the
// document, the format table with its custom row, and the parts of the window
// that the operations use.
struct Session {
    Session(Ui& ui_, FileListView& list_, const Locale& locale_, DirectoryLister lister)
        : ui(ui_), list(list_), locale(locale_), listRootDirectory(std::move(lister)) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Ui& ui;
    FileListView& list;
    const Locale& locale;
    ImageDocument doc;
    FormatTable formats;
    const DirectoryLister listRootDirectory;
    // Set by the Cancel button of a floppy transfer (and by an Abort answer or
    // an interrupt), tested before every sector. Everything runs on the one
    // user-interface thread; the flag is atomic so that a signal handler or
    // another thread may also set it.
    std::atomic<bool> transferCancelled{false};
    // The private folder that dragged-out files are extracted into; none until
    // the first drag-out, and again after it was discarded.
    std::optional<std::string> dragFolder;
};

// How an opened image's bytes come into memory: read whole into memory of
// their own, or mapped from the file privately, which spares the copy and
// lets a save find the pages that changed without reading the file. A mapped
// image's pages that were never written follow the file, so only a process
// that holds the image briefly maps it (a command of korvane-cli); the desktop
// program reads, so that nothing another program writes to the file while the
// image is open can mix into what it saves.
enum class ImageLoad { Read, Map };

// Asks for an image path when none is given, closes the current image (with the
// save prompt), and opens, checks and reads the file. `readOnly` is the starting
// state of the read-only choice (the open dialog's box replaces it). False when
// nothing was opened; the failure has been shown.
bool OpenImage(Session& s, WindowRef owner, const std::optional<std::string>& path, bool readOnly = false,
               ImageLoad load = ImageLoad::Read);

// Closes the open image, asking to save it when it was modified. False when the
// user cancelled (or the save failed) and the image is still open.
bool CloseImage(Session& s, bool updateTitle);

// Makes the image's file equal to the image (asking for a file with Save As
// when it has none), after bringing FAT copy 2 in line with FAT copy 1 when the
// image was modified; then the side file follows the bad-sector list. All or
// nothing on disk: the space of everything to be written is secured before any
// byte of the file is overwritten (no space: the file stays as it was). A
// mapped image writes the pages this process wrote since it was opened or last
// saved; otherwise (or where the host cannot tell which pages were written)
// the 512-byte sectors that differ from what the file holds are written. A new
// file from Save As is written whole, flushed and renamed over the chosen
// path. Each run of adjacent pages or sectors is one write. A failed
// save shows the system's message and keeps `modified` set. `sideFileSaved`
// receives whether the side file followed (its failure, shown, does not fail
// the save).
bool SaveImage(Session& s, bool* sideFileSaved = nullptr);

// Lets the user choose a file and binds the document to it, writing nothing:
// the new file is made beside the chosen one and takes its place at the next
// save. A link, a folder, a read-only file or one that is in use is refused.
bool SaveImageAs(Session& s, WindowRef owner);

// Runs the open or save dialog. `path` holds the initial name on entry and the
// chosen path on success; `readOnly` receives the read-only box.
bool ChooseImageFile(Session& s, WindowRef owner, std::uint32_t filterStringId, std::string& path, std::uint32_t flags,
                     bool* readOnly, bool save, std::uint32_t defaultExtensionId);

// The main window's title: the file name, " - " and the application's title.
void UpdateWindowTitle(Session& s);

// The text behind the last path separator of `path` ("/" here; "\" and ":" on
// Windows); the whole path without one.
std::string FileNamePart(const std::string& path);

// Enables the file list while an image is open.
void EnableFileList(Session& s, bool enabled);

// Makes `data` (of `size` bytes, boot sector at offset 0) the open image without
// a file, as "Untitled". The caller has closed the previous image.
void AdoptUntitledImage(Session& s, Bytes data, std::uint32_t size);

}  // namespace kv
