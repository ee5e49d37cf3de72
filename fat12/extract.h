// Copying stored files out of the open image into host files. Extracting only
// reads the image; it never sets the modified flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "fat12/list_walk.h"

namespace kv {

// Option bit of ExtractEntry: replace an existing host file without asking.
inline constexpr std::uint32_t kReplaceWithoutAsking = 1;

// Writes the stored file of the entry at `slot` (inside the open image) to
// `hostPath`, with the entry's attributes and time stamp. 1 when the caller may
// go on (written, replacing declined, or a corrupted chain written as far as it
// goes, after "...stored file is corrupted!"); 0 when the host file could not
// be created or written (a file that the host stopped taking is removed again).
// An existing file or link at `hostPath` is never written through: a link is
// refused (kErrorSymbolicLink), also when replacing without asking.
int ExtractEntry(Session& s, WindowRef owner, const std::uint8_t* slot, std::uint32_t options,
                 const std::string& hostPath);

// The Extract file command's visitor: refuses directories and labels, asks for
// a path with the save dialog and extracts there. Stop when the dialog was
// cancelled or the extraction failed.
RowWalk ExtractSelected(Session& s, WindowRef owner, const SelectedRow& row);

// The Extract file command: ExtractSelected over every selected row.
void ExtractSelection(Session& s, WindowRef owner);

// Extracts the selected rows into `folder` the way dragging out does: refuses
// the whole selection with string 56 when it holds a directory or label (nothing
// is written then); otherwise writes each file under its safe host name
// (SafeHostFileName), replacing an earlier copy without a question, and appends
// its path to `written`, stopping at the first failure. True when every selected
// file was written.
bool ExtractSelectionIntoFolder(Session& s, WindowRef owner, const std::string& folder,
                                std::vector<std::string>& written);

}  // namespace kv
