// The user interface as the core sees it: message boxes with the Win32 style
// values and results, the file dialogs, the cursor, the main window's title and
// whether its file list is enabled.
// The desktop program, the command-line program and the tests each realise it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_values.h"

namespace kv {

// An opaque reference to the window that owns a message box or dialog. Null is
// the main window; front-ends hand out other values for their dialogs.
using WindowRef = const void*;
inline constexpr WindowRef kMainWindow = nullptr;

enum class Cursor { Arrow, Wait };

// One run of the common open or save dialog.
struct FileDialogRequest {
    bool save = false;                     // the save dialog, else the open dialog
    std::uint32_t filterStringId = 0;      // filter text "name|pattern|...|"; the first filter is chosen
    std::string initialName;               // the file name field's starting text
    std::uint32_t flags = 0;               // OFN_* flags
    std::uint32_t defaultExtensionId = 0;  // string id of the default extension, or 0
};

struct FileDialogResult {
    std::string path;       // the confirmed file
    bool readOnly = false;  // the state of the read-only box (open dialogs that show it)
};

class Ui {
public:
    virtual ~Ui() = default;

    // Shows a message box and returns the button chosen (IDOK, IDYES, ...).
    // Texts are UTF-8.
    virtual int ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                               std::uint32_t style) = 0;

    // Runs a file dialog; false when the user cancelled.
    virtual bool ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) = 0;

    virtual void SetCursor(Cursor cursor) = 0;

    // The main window's title.
    virtual void SetWindowTitle(const std::string& title) = 0;

    // Enables the file list and gives it the keyboard focus, or disables it and
    // gives the focus to the main window. The list is enabled exactly while an
    // image is open.
    virtual void EnableFileList(bool enabled) = 0;
};

// Shows the wait cursor for its lifetime and the arrow cursor afterwards.
class WaitCursor {
public:
    explicit WaitCursor(Ui& ui) : ui_(ui) { ui_.SetCursor(Cursor::Wait); }
    ~WaitCursor() { ui_.SetCursor(Cursor::Arrow); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Ui& ui_;
};

}  // namespace kv
