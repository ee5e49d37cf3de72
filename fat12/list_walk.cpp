#include "fat12/list_walk.h"

namespace kv {

int ForEachSelectedRow(Session& s, WindowRef owner, RowVisitor visitor, void* parameter) {
    FileListView& list = s.list;
    std::ptrdiff_t index = -1;
    for (;;) {
        std::size_t next = static_cast<std::size_t>(index + 1);
        while (next < list.RowCount() && !list.IsSelected(next)) ++next;
        if (next >= list.RowCount() || !s.doc.IsOpen()) return 0;
        index = static_cast<std::ptrdiff_t>(next);
        ListRow row = list.RowAt(next);  // the visitor may remove the row
        if (row.slotOffset + 32ull > s.doc.size) continue;
        std::string text = row.text.substr(0, 12);
        if (visitor(s, owner, text, index, row, s.doc.data.get() + row.slotOffset, parameter) == 0) return 0;
    }
}

}  // namespace kv
