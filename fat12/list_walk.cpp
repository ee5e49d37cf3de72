#include "fat12/list_walk.h"

namespace kv {

void ForEachSelectedRow(Session& s, const RowVisitor& visit) {
    FileListView& list = s.list;
    for (std::size_t next = 0;; ++next) {
        while (next < list.RowCount() && !list.IsSelected(next)) ++next;
        if (next >= list.RowCount() || !s.doc.IsOpen()) return;
        const ListRow& row = list.RowAt(next);
        if (row.slotOffset + 32ull > s.doc.size) continue;
        SelectedRow selected{next, row.text.substr(0, 12), row, s.doc.data.get() + row.slotOffset};
        switch (visit(selected)) {
            case RowWalk::Next: break;
            case RowWalk::RowRemoved: --next; break;  // the next row moved into this place
            case RowWalk::Stop: return;
        }
    }
}

}  // namespace kv
