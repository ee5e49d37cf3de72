// What a drag between the file list and other programs carries: local files as
// URLs (text/uri-list, as file managers send and take them), always as a copy.
#pragma once

#include <QMimeData>
#include <memory>
#include <string>
#include <vector>

class QDragMoveEvent;
class QDropEvent;

namespace kv::app {

// The local files that `data` carries, in the order of its list; other URLs
// are left out.
std::vector<std::string> DroppedPaths(const QMimeData* data);

// The data of a drag of the files at `paths`: their file URLs, in order.
std::unique_ptr<QMimeData> DragOutData(const std::vector<std::string>& paths);

// True when `event` can be taken as a copy of local files.
bool OffersFileCopy(const QDropEvent& event);

// Answers a drag that enters or moves over the window or its list: a copy of
// local files is welcome, anything else shows that it cannot be dropped.
void AnswerDrag(QDragMoveEvent& event);

}  // namespace kv::app
