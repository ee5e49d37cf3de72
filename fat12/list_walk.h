// The walk over the selected rows of the file list that Delete, Extract and
// dragging out share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "document/file_list.h"
#include "document/image_document.h"

namespace kv {

// One selected row as a visitor sees it.
struct SelectedRow {
    std::size_t index = 0;         // the row's place in the list
    std::string text;              // the row's text, at most 12 bytes
    ListRow row;                   // a copy: the visitor may remove the row
    std::uint8_t* slot = nullptr;  // the row's entry in the image bytes
};

// What a visitor tells the walk.
enum class RowWalk {
    Next,        // go on with the next selected row
    RowRemoved,  // the visitor removed its row; the row that moved into its place is visited next
    Stop,        // end the walk (the user cancelled, or a step failed)
};

using RowVisitor = std::function<RowWalk(const SelectedRow& row)>;

// Calls `visit` for every selected row in list order until it says Stop.
void ForEachSelectedRow(Session& s, const RowVisitor& visit);

}  // namespace kv
