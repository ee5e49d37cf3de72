// The file list's rows as a Qt item model: the core's FileListView realised
// over a QAbstractTableModel and one QItemSelectionModel that every view of
// the list shares. Rows keep their insertion order and hold only their text,
// kind and slot; the Size, Last change and Attributes cells are made from the
// slot each time a view asks, so a changed slot shows at the next redraw.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QItemSelectionModel>
#include <functional>
#include <vector>

#include "document/file_list.h"
#include "document/image_document.h"

namespace kv::app {

class FileListModel final : public QAbstractTableModel, public FileListView {
    Q_OBJECT

public:
    explicit FileListModel(QObject* parent = nullptr);

    // The open image whose slots the rows refer to, and the locale of the cells.
    void Attach(const ImageDocument& doc, const Locale& locale);

    QItemSelectionModel* Selection() { return &selection_; }

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // FileListView
    std::size_t RowCount() const override { return rows_.size(); }
    const ListRow& RowAt(std::size_t index) const override { return rows_[index]; }
    bool InsertRow(std::size_t position, const ListRow& row) override;
    void SetRowText(std::size_t index, const std::string& text) override;
    void RemoveRow(std::size_t index) override;
    void RemoveAllRows() override;
    bool IsSelected(std::size_t index) const override;
    void SetSelected(std::size_t index, bool selected) override;
    std::size_t SelectedCount() const override;
    std::size_t FocusedRow() const override;
    void Redraw() override;

private:
    std::vector<ListRow> rows_;
    QItemSelectionModel selection_;
    const ImageDocument* doc_ = nullptr;
    const Locale* locale_ = nullptr;
    QIcon folderIcon_;
    QIcon fileIcon_;
};

}  // namespace kv::app
