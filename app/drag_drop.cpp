#include "app/drag_drop.h"

#include <QDropEvent>
#include <QFile>
#include <QUrl>

namespace kv::app {

std::vector<std::string> DroppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

std::unique_ptr<QMimeData> DragOutData(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(QFile::decodeName(path.c_str()));
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

bool OffersFileCopy(const QDropEvent& event) {
    return (event.possibleActions() & Qt::CopyAction) != 0 && !DroppedPaths(event.mimeData()).empty();
}

void AnswerDrag(QDragMoveEvent& event) {
    if (!OffersFileCopy(event)) {
        event.ignore();
        return;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
}

}  // namespace kv::app
