#include "app/file_list_model.h"

#include <QFontDatabase>

#include "fat12/directory.h"
#include "platform/codepage.h"
#include "platform/string_table.h"

namespace kv::app {
namespace {

constexpr int kColumns = 4;
constexpr std::uint32_t kColumnTitles[kColumns] = {str::kColumnFilename, str::kColumnSize, str::kColumnLastChange,
                                                   str::kColumnAttributes};

Qt::Alignment AlignmentOf(int column) {
    return (column == static_cast<int>(ListColumn::Size) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

}  // namespace

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent),
      selection_(this),
      folderIcon_(QStringLiteral(":/icons/110.svg")),
      fileIcon_(QStringLiteral(":/icons/112.svg")) {}

void FileListModel::Attach(const ImageDocument& doc, const Locale& locale) {
    doc_ = &doc;
    locale_ = &locale;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const ListRow& row = rows_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<ListColumn>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
        case Qt::AccessibleTextRole: {
            if (column == ListColumn::Filename) return QString::fromStdString(Cp437ToUtf8(row.text));
            if (role == Qt::EditRole || doc_ == nullptr || locale_ == nullptr || !doc_->IsOpen() ||
                row.slotOffset + std::uint64_t{dir::kEntrySize} > doc_->size) {
                return {};
            }
            return QString::fromStdString(SupplyCellText(doc_->data.get() + row.slotOffset, column, *locale_));
        }
        case Qt::DecorationRole:
            if (column != ListColumn::Filename) return {};
            return row.kind == RowKind::Directory ? folderIcon_ : fileIcon_;
        case Qt::TextAlignmentRole: return QVariant::fromValue(AlignmentOf(index.column()));
        case Qt::FontRole:  // the five attribute positions line up from row to row
            if (column != ListColumn::Attributes) return {};
            return QFontDatabase::systemFont(QFontDatabase::FixedFont);
        default: return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(LoadText(kColumnTitles[section]));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(section));
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == static_cast<int>(ListColumn::Filename)) f |= Qt::ItemIsEditable;
    return f;
}

bool FileListModel::InsertRow(std::size_t position, const ListRow& row) {
    if (position > rows_.size()) position = rows_.size();
    const int at = static_cast<int>(position);
    beginInsertRows(QModelIndex(), at, at);
    rows_.insert(rows_.begin() + at, row);
    endInsertRows();
    return true;
}

void FileListModel::SetRowText(std::size_t index, const std::string& text) {
    if (index >= rows_.size()) return;
    rows_[index].text = text;
    const int at = static_cast<int>(index);
    emit dataChanged(this->index(at, 0), this->index(at, 0));
}

void FileListModel::RemoveRow(std::size_t index) {
    if (index >= rows_.size()) return;
    const int at = static_cast<int>(index);
    beginRemoveRows(QModelIndex(), at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
}

void FileListModel::RemoveAllRows() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

bool FileListModel::IsSelected(std::size_t index) const {
    return index < rows_.size() && selection_.isSelected(this->index(static_cast<int>(index), 0));
}

void FileListModel::SetSelected(std::size_t index, bool selected) {
    if (index >= rows_.size()) return;
    selection_.select(
        this->index(static_cast<int>(index), 0),
        (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
}

std::size_t FileListModel::SelectedCount() const {
    if (!selection_.hasSelection()) return 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) count += IsSelected(i) ? 1u : 0u;
    return count;
}

std::size_t FileListModel::FocusedRow() const {
    const QModelIndex current = selection_.currentIndex();
    return current.isValid() ? static_cast<std::size_t>(current.row()) : rows_.size();
}

void FileListModel::Redraw() {
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumns - 1));
}

}  // namespace kv::app
