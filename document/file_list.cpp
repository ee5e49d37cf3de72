#include "document/file_list.h"

namespace kv {

std::string StatusText(std::size_t rowCount, std::size_t selectedCount) {
    return selectedCount > 0 ? std::to_string(selectedCount) + " Object(s) selected"
                             : std::to_string(rowCount) + " Object(s)";
}

bool MemoryFileList::InsertRow(std::size_t position, const ListRow& row) {
    if (position > rows_.size()) position = rows_.size();
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(position), Item{row, false});
    return true;
}

void MemoryFileList::RemoveRow(std::size_t index) {
    if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::size_t MemoryFileList::SelectedCount() const {
    std::size_t n = 0;
    for (const Item& item : rows_) n += item.selected ? 1 : 0;
    return n;
}

void MemoryFileList::SelectAll(bool selected) {
    for (Item& item : rows_) item.selected = selected;
}

}  // namespace kv
