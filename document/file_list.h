// The file list as the core sees it: its rows and their selection. Each row
// shows one directory entry of the open image and refers to the entry's 32-byte
// slot by its offset in the image bytes, so rows stay valid while the image is
// changed in place. Whether the list is enabled follows the open image (Ui), and
// the status line is a function of the counts (StatusText), so a front-end can
// realise this over its own item and selection models without a second copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// Inserting at this position (or any beyond the last row) appends.
inline constexpr std::size_t kEndOfList = 0x7FFFFFFF;

// What a row shows: a folder or a file (its icon).
enum class RowKind { Directory, File };

struct ListRow {
    std::string text;  // the entry's display name, code page 437 bytes
    RowKind kind = RowKind::File;
    std::uint32_t slotOffset = 0;  // offset of the entry's slot in the image bytes
};

class FileListView {
public:
    virtual ~FileListView() = default;

    virtual std::size_t RowCount() const = 0;
    virtual const ListRow& RowAt(std::size_t index) const = 0;
    // Inserts a row at `position` (clamped to the end); false when the list
    // refused it.
    virtual bool InsertRow(std::size_t position, const ListRow& row) = 0;
    virtual void SetRowText(std::size_t index, const std::string& text) = 0;
    virtual void RemoveRow(std::size_t index) = 0;
    virtual void RemoveAllRows() = 0;

    virtual bool IsSelected(std::size_t index) const = 0;
    virtual void SetSelected(std::size_t index, bool selected) = 0;
    virtual std::size_t SelectedCount() const = 0;
    // The focused row, or RowCount() when none has the focus.
    virtual std::size_t FocusedRow() const = 0;

    // Draws every cell again from the entries.
    virtual void Redraw() = 0;
};

// The status line: "%lu Object(s) selected" with the number of selected rows
// when there are any, otherwise "%lu Object(s)" with the number of rows.
std::string StatusText(std::size_t rowCount, std::size_t selectedCount);

// A file list held in memory: the command-line program's list and the tests'.
class MemoryFileList final : public FileListView {
public:
    std::size_t RowCount() const override { return rows_.size(); }
    const ListRow& RowAt(std::size_t index) const override { return rows_[index].row; }
    bool InsertRow(std::size_t position, const ListRow& row) override;
    void SetRowText(std::size_t index, const std::string& text) override { rows_[index].row.text = text; }
    void RemoveRow(std::size_t index) override;
    void RemoveAllRows() override { rows_.clear(); }
    bool IsSelected(std::size_t index) const override { return rows_[index].selected; }
    void SetSelected(std::size_t index, bool selected) override { rows_[index].selected = selected; }
    std::size_t SelectedCount() const override;
    std::size_t FocusedRow() const override { return focused_ < rows_.size() ? focused_ : rows_.size(); }
    void SetFocusedRow(std::size_t index) { focused_ = index; }
    void Redraw() override { ++redraws_; }

    std::string Status() const { return StatusText(RowCount(), SelectedCount()); }
    int RedrawCount() const { return redraws_; }
    void SelectAll(bool selected = true);

private:
    struct Item {
        ListRow row;
        bool selected = false;
    };
    std::vector<Item> rows_;
    std::size_t focused_ = static_cast<std::size_t>(-1);
    int redraws_ = 0;
};

}  // namespace kv
