// Files moving between the desktop and the open image by drag and drop, as the
// core sees it: the private folder that dragged-out files are extracted into,
// the extraction a drag-out starts with, and what a drop of host files does.
// The front-end runs the drag itself with the toolkit's drag and drop.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document/image_document.h"

namespace kv {

// Makes a new folder named `prefix` and a decimal number in the temporary
// folder ($TMPDIR, else /tmp), readable by its owner only. A name that exists
// already is never taken (the next number is tried); none when no folder could
// be made.
std::optional<std::string> CreateTempFolder(const std::string& prefix);

// Deletes every file of the folder (read-only ones too; a link is deleted as
// the link, never followed), then the folder. Names beginning with "." and
// sub-folders are left, and so is the folder then. Nothing is reported.
void RemoveTempFolder(const std::optional<std::string>& path);

// Empties and removes the session's drag folder, which is none afterwards.
void DiscardDragFolder(Session& s);

// The start of dragging the selected rows out: makes the drag folder when there
// is none yet ("KV$" and a number), refuses a selection that holds a directory
// or the label with string 56, and extracts the files into the folder,
// replacing earlier copies without asking. True, with the paths of the written
// files, when the drag may start.
bool BeginDragOut(Session& s, WindowRef owner, std::vector<std::string>& paths);

// Host paths dropped onto the window: with no image open the first is opened
// and the others ignored; else each is added in order, stopping at the first
// that cannot be added.
void OnFilesDropped(Session& s, WindowRef owner, const std::vector<std::string>& paths);

}  // namespace kv
