// The walk over the selected rows of the file list that Delete, Extract and
// dragging out share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/file_list.h"
#include "document/image_document.h"

namespace kv {

// A visitor gets the owner window, the row's text (at most 12 bytes), the
// walk's index (which it steps back by one when it removed its row, so that the
// row moving into the place is not skipped), a copy of the row, the row's slot
// in the image bytes and the walk's parameter. It returns 1 to go on, 0 to end
// the walk.
using RowVisitor = int (*)(Session& s, WindowRef owner, const std::string& text, std::ptrdiff_t& index,
                           const ListRow& row, std::uint8_t* slot, void* parameter);

// Calls `visitor` for every selected row in list order until it returns 0.
// Returns 0.
int ForEachSelectedRow(Session& s, WindowRef owner, RowVisitor visitor, void* parameter);

}  // namespace kv
