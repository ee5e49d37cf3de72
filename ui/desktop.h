// What the desktop program's main window uses of its dialogs, property sheets
// and help: one entry per window. Each runs modally over `parent` and does its
// work through the core's operations on the session.
//
// A WindowRef handed to the core for a window of the desktop program is that
// window's QWidget pointer; kMainWindow (null) stands for the main window.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

#include "document/image_document.h"

namespace kv::ui {

inline WindowRef RefOf(const QWidget* window) { return window; }
inline QWidget* WidgetOf(WindowRef ref) { return const_cast<QWidget*>(static_cast<const QWidget*>(ref)); }

// The folder of the program's executable, ending in "/": KORVANE.HLP and
// KORVANE.INI are looked up there. Set once at start-up.
void SetProgramFolder(const std::string& folder);
const std::string& ProgramFolder();
std::string HelpFilePath();      // ProgramFolder() + "KORVANE.HLP"
std::string SettingsFilePath();  // ProgramFolder() + "KORVANE.INI"

enum class HelpCommand {
    Finder,   // the contents (Help menu, F1)
    Context,  // the topic of a context number 1001-1007 (the Help buttons)
    Quit,     // close the help viewer (the main window closes)
};

// Shows the help file in the program's help viewer. When it cannot be shown,
// string 9 "Oops: failed to display help!" with the exclamation icon, owned by
// `owner`; false then.
bool ShowHelp(Ui& ui, WindowRef owner, HelpCommand command, std::uint32_t context = 0);

// The New disk-image dialog (the caller has closed the previous image): 1 when
// it made an image (blank, or read from a floppy), 0 when it was closed.
int RunNewImageDialog(QWidget* parent, Session& s);

// The Write to disk dialog over the open image: 1 or more when it ended after a
// write, 0 when it was closed. WriteImageCommand runs it.
int RunWriteDialog(QWidget* parent, Session& s);

// The file properties sheet of the entry at `slot`, titled after `caption` (the
// row's text, UTF-8): 1 or more when a change was applied, 0 when none was,
// -1 when the sheet could not be shown.
int ShowFileProperties(QWidget* parent, Session& s, std::uint8_t* slot, const std::string& caption);

// The image properties sheet: the Volume and Errors pages (Volume alone when
// the image has no bad-sector list), and the Media page too when `withMedia`
// (Shift was held when the command ran).
int ShowImageProperties(QWidget* parent, Session& s, bool withMedia);

}  // namespace kv::ui
