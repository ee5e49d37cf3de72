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
// be created or written.
int ExtractEntry(Session& s, WindowRef owner, const std::uint8_t* slot, std::uint32_t options,
                 const std::string& hostPath);

// The Extract file command's visitor: refuses directories and labels, asks for
// a path with the save dialog and extracts there. 0 when the dialog was
// cancelled or the extraction failed.
int ExtractSelected(Session& s, WindowRef owner, const std::string& text, std::ptrdiff_t& index,
                    const ListRow& row, std::uint8_t* slot, void* parameter);

// The context that dragging files out hands to ExtractIntoFolder, twice.
struct ExtractFolderContext {
    std::string folder;                     // without a trailing separator
    std::uint32_t folderLength = 0;         // folder.size() + 1
    std::uint32_t total = 0;                // bytes of the path list, counted by the first pass
    std::optional<std::vector<char>> pathList;  // none in the first pass
    std::size_t writePosition = 0;          // where the next path goes
    bool success = true;                    // cleared when an extraction failed
    std::uint8_t attributeUnion = 0;        // OR of the visited entries' attributes

    explicit ExtractFolderContext(std::string f)
        : folder(std::move(f)), folderLength(static_cast<std::uint32_t>(folder.size() + 1)) {}
};

// First pass (no path list): collects the attribute union and the bytes the
// path list needs. Second pass: extracts each row into the folder under its
// safe host name (SafeHostFileName), replacing without a question, and appends
// the path and a NUL to the list; ends the walk at the first failure.
int ExtractIntoFolder(Session& s, WindowRef owner, const std::string& text, std::ptrdiff_t& index,
                      const ListRow& row, std::uint8_t* slot, void* parameter);

// Runs both passes over the selection the way dragging out does: refuses the
// whole selection with string 56 when it holds a directory or label, then
// extracts. True when every selected file was written.
bool ExtractSelectionIntoFolder(Session& s, WindowRef owner, ExtractFolderContext& context);

}  // namespace kv
