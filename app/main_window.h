// The main window: the menu bar, the context menu and the shortcut keys, one
// DispatchCommand for every command, one UpdateMenuState for every enabled state
// and check mark, the file list in its four view modes over one model and one
// selection, in-place renaming, the status line, and drag and drop: local
// files dropped onto the window or the list are opened or added, selected rows
// dragged out of the list are offered as files.
#pragma once

#include <QMainWindow>
#include <QMimeData>
#include <map>
#include <memory>
#include <vector>

#include "app/commands.h"
#include "app/file_list_model.h"
#include "app/qt_locale.h"
#include "app/qt_ui.h"
#include "document/image_document.h"

class QAbstractItemView;
class QDropEvent;
class QLabel;
class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace kv::app {

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // `ui` takes the message boxes, file dialogs, cursor, title and list
    // enabling; null gives the window its own QtUi. A stand-in must pass the
    // title and the list's enabling on to the window (SetFileListEnabled).
    explicit MainWindow(Ui* ui = nullptr);
    ~MainWindow() override;

    Session& session() { return session_; }
    FileListModel& model() { return model_; }

    // Carries out command `id` (40002-40025) for `owner`; other ids do nothing.
    void DispatchCommand(WindowRef owner, int id);

    // Applies the enabling and check rules to every menu item, the context
    // menu's included.
    void UpdateMenuState();

    // The menu item of a command (main menu), null for 40024 and unknown ids.
    QAction* MenuAction(int id) const;
    QMenu* ContextMenu() const { return contextMenu_; }

    ViewMode Mode() const { return mode_; }
    QAbstractItemView* CurrentView() const;
    QString StatusLine() const;
    bool LabelEditActive() const { return labelEditActive_; }

    // What Ui::EnableFileList does: enable and focus the list, or disable it.
    void SetFileListEnabled(bool enabled);

    // The start of a drag of the selected rows: extracts them into the drag
    // folder and gives the drag's data, or null when no drag may start (the
    // reason, if any, has been shown).
    std::unique_ptr<QMimeData> PrepareDragOut();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int Scaled(int width) const { return static_cast<int>(width * widthScale_ + 0.5); }
    void BuildMenus();
    void BuildShortcuts();
    QAction* AddCommandAction(QMenu* menu, int id, const char* text);
    void BuildFileList();
    CommandFacts Facts() const;
    void TranslateShortcut(int id);
    void ShowPopupMenu(const QPoint& globalPosition);
    void SetViewMode(ViewMode mode);
    static void EnableDragAndDrop(QAbstractItemView* view);
    void StartRename();
    void FinishRename(int row, const QString& typed);
    void ShowFileProperties(WindowRef owner);
    void UpdateStatusText();
    QWidget* ParentOf(WindowRef owner);
    bool HandleDragEvent(QEvent* event);
    void DropFiles(QDropEvent& event);
    void DragOut();

    std::unique_ptr<QtUi> ownUi_;
    Ui& ui_;
    QtLocale locale_;
    double widthScale_ = 1.0;  // of the list's columns and the window's first width
    FileListModel model_;
    Session session_;

    QStackedWidget* stack_ = nullptr;
    QTreeView* report_ = nullptr;
    QListView* icons_ = nullptr;
    QLabel* status_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    std::map<int, QAction*> menuActions_;
    std::vector<QAction*> commandActions_;  // every item of the menus and the context menu
    ViewMode mode_ = ViewMode::Report;
    bool labelEditActive_ = false;
};

}  // namespace kv::app
