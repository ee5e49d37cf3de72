// Changing entries of the open image in place: deleting, renaming, attributes
// and the volume label. Each sets the modified flag when it changes something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "document/image_document.h"
#include "fat12/directory.h"
#include "fat12/list_walk.h"

namespace kv {

// The Delete command's visitor: refuses directories, asks "Delete file '%s'?"
// (Yes deletes, No skips, Cancel ends the walk), frees the chain, marks the slot
// deleted and removes the row. Long-name entries that other systems wrote for
// the entry (the run of them right in front of it whose checksum matches its
// name) are marked deleted with it.
RowWalk DeleteSelected(Session& s, WindowRef owner, const SelectedRow& row);

// The Delete command: DeleteSelected over every selected row.
void DeleteSelection(Session& s, WindowRef owner);

// Ends the editing of row `rowIndex`'s name. `typed` is the edited text
// (UTF-8), none when the editing was cancelled. On acceptance the entry gets
// the new name, the row shows it (upper-cased, as stored) and the result is
// true; every refusal has been shown and changes nothing. A new name (other 11
// bytes) marks the entry's long-name entries deleted, as deleting does.
bool RenameEntry(Session& s, WindowRef owner, const std::optional<std::string>& typed, std::size_t rowIndex);

// Sets the read-only, hidden, archive and system bits (`bits` within 0x27) of
// the entry at `slot`, keeping the others. False when they were already so.
bool SetEntryAttributes(Session& s, std::uint8_t* slot, std::uint8_t bits);

// The volume offset of the label's slot: the first live slot with the label
// bit that is not a long-name entry.
std::optional<std::uint64_t> FindVolumeLabel(const VolumeGeometry& g, std::uint8_t* volume, std::uint32_t length);

// The label's text (its 11 name bytes without trailing blanks, code page 437);
// empty without a label.
std::string VolumeLabelText(const ImageDocument& doc);

// Sets the label from a complete entry, or removes it when given none. False
// when no slot could be had (the directory has no end marker behind its
// entries and no label to overwrite). A boot sector with the extended parameter
// block (signature 0x29 at offset 38) gets the same label at offset 43, or
// "NO NAME    " when it is removed; others are left alone.
bool WriteVolumeLabel(ImageDocument& doc, const std::optional<DirEntry>& entry);

// Gives the volume the label `text` (code page 437 bytes, at most 11, kept as
// typed, ending at a NUL as the edit field's text does), or removes it when
// the text is empty or blank; a label that is already so is not rewritten.
// False after string 31 when the root directory has no free slot.
bool ApplyVolumeLabel(Session& s, WindowRef owner, const std::string& text);

}  // namespace kv
