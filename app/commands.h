// The commands of the main window, their numbers, and the rules that enable
// them and put check marks on the view items. Plain logic over the document and
// the selection, so that the menus, the context menu and the shortcut keys all
// ask the same question.
#pragma once

#include <cstdint>

namespace kv::app {

namespace cmd {
inline constexpr int kNew = 40002;
inline constexpr int kOpen = 40003;
inline constexpr int kSave = 40004;
inline constexpr int kSaveAs = 40005;
inline constexpr int kClose = 40006;
inline constexpr int kExit = 40007;
inline constexpr int kDelete = 40009;
inline constexpr int kRename = 40010;
inline constexpr int kHelp = 40011;
inline constexpr int kAbout = 40013;
inline constexpr int kAddFile = 40014;
inline constexpr int kImageProperties = 40015;
inline constexpr int kExtractFile = 40017;
inline constexpr int kFileProperties = 40018;
inline constexpr int kViewReport = 40019;
inline constexpr int kOriginalOrder = 40020;
inline constexpr int kViewList = 40021;
inline constexpr int kViewIcon = 40022;
inline constexpr int kViewSmallIcon = 40023;
inline constexpr int kContextMenu = 40024;  // a shortcut only; no menu item
inline constexpr int kWriteToDisk = 40025;
}  // namespace cmd

// The file list's four ways of showing its rows.
enum class ViewMode { Icon, Report, SmallIcon, List };

// What the enabling rules look at.
struct CommandFacts {
    bool open = false;       // an image is open
    bool hasFile = false;    // the image has a file to save into
    bool readOnly = false;   // the file was opened without write access
    bool selection = false;  // at least one row is selected
    ViewMode mode = ViewMode::Report;
};

// Whether the menu item of command `id` is enabled.
bool CommandEnabled(int id, const CommandFacts& facts);

// Whether the menu item of command `id` carries a check mark: the item of the
// current view mode, and "Original order" always.
bool CommandChecked(int id, const CommandFacts& facts);

// The view command of a mode, and the mode of a view command (none for others).
int ViewCommand(ViewMode mode);
bool ViewModeOf(int id, ViewMode& mode);

}  // namespace kv::app
