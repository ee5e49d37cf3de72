#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>

#include "app/drag_drop.h"
#include "fat12/add.h"
#include "fat12/directory.h"
#include "fat12/drag.h"
#include "fat12/entries.h"
#include "fat12/extract.h"
#include "floppy/transfer.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/string_table.h"
#include "ui/desktop.h"

namespace kv::app {

// The in-place editor of a row's name. While it is open every key goes to it
// (no shortcut of the window acts); what it commits is handed on once the
// editor has closed.
class NameEditDelegate final : public QStyledItemDelegate {
public:
    NameEditDelegate(QObject* parent, std::function<void(bool)> editing, std::function<void(int, QString)> commit)
        : QStyledItemDelegate(parent), editing_(std::move(editing)), commit_(std::move(commit)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor->setObjectName(QStringLiteral("nameEditor"));
        editor->setAccessibleName(QStringLiteral("Filename"));
        editing_(true);
        return editor;
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        editing_(false);
        QStyledItemDelegate::destroyEditor(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor)) commit_(index.row(), line->text());
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    std::function<void(bool)> editing_;
    std::function<void(int, QString)> commit_;
};

namespace {

constexpr int kLastChangeWidth = 116;

// The menu bar puts the menus behind its separator at its right end (the Help
// menu), as styles that draw menu-bar separators do.
class MenuBarStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DrawMenuBarSeparator) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A menu as a table: items with their command, separators (id 0) and one
// level of submenu (kSubmenu opens one with the entry's text, kEndSubmenu
// closes it).
constexpr int kSeparator = 0;
constexpr int kSubmenu = -1;
constexpr int kEndSubmenu = -2;

struct MenuEntry {
    int id;
    const char* text;
};

struct MenuTable {
    const char* title;
    std::vector<MenuEntry> entries;
};

const std::vector<MenuTable>& MainMenu() {
    static const std::vector<MenuTable> menu = {
        {"&File",
         {{cmd::kNew, "&New...\tCtrl+N"},
          {cmd::kOpen, "&Open...\tCtrl+O"},
          {kSeparator, nullptr},
          {cmd::kSave, "&Save\tCtrl+S"},
          {cmd::kSaveAs, "Save &as..."},
          {kSeparator, nullptr},
          {cmd::kWriteToDisk, "&Write to disk...\tCtrl+W"},
          {kSeparator, nullptr},
          {cmd::kClose, "&Close"},
          {kSeparator, nullptr},
          {cmd::kImageProperties, "&Properties..."},
          {kSeparator, nullptr},
          {cmd::kExit, "E&xit"}}},
        {"&Edit",
         {{cmd::kFileProperties, "&Properties...\tAlt+Enter"},
          {kSeparator, nullptr},
          {cmd::kAddFile, "&Add file...\tCtrl+A"},
          {cmd::kExtractFile, "&Extract file...\tCtrl+E"},
          {cmd::kDelete, "&Delete\tDel"},
          {cmd::kRename, "&Rename"}}},
        {"&View",
         {{cmd::kViewReport, "&Report"},
          {cmd::kViewList, "&List"},
          {cmd::kViewIcon, "&Icon"},
          {cmd::kViewSmallIcon, "&Small icon"},
          {kSeparator, nullptr},
          {kSubmenu, "S&ort"},
          {cmd::kOriginalOrder, "&Original order"},
          {kEndSubmenu, nullptr}}},
        {"&Help",  // at the right end of the bar
         {{cmd::kHelp, "&Korvane help\tF1"}, {kSeparator, nullptr}, {cmd::kAbout, "&About Korvane..."}}},
    };
    return menu;
}

const std::vector<MenuEntry>& ContextMenuTable() {
    static const std::vector<MenuEntry> menu = {{cmd::kFileProperties, "&Properties...\tAlt+Enter"},
                                                {kSeparator, nullptr},
                                                {cmd::kAddFile, "&Add file...\tCtrl+A"},
                                                {cmd::kExtractFile, "&Extract file...\tCtrl+E"},
                                                {cmd::kDelete, "&Delete\tDel"},
                                                {cmd::kRename, "&Rename"}};
    return menu;
}

struct ShortcutEntry {
    QKeyCombination key;
    int id;
};

const std::vector<ShortcutEntry>& ShortcutTable() {
    static const std::vector<ShortcutEntry> table = {
        {Qt::CTRL | Qt::Key_A, cmd::kAddFile},
        {Qt::CTRL | Qt::Key_E, cmd::kExtractFile},
        {Qt::CTRL | Qt::Key_N, cmd::kNew},
        {Qt::CTRL | Qt::Key_O, cmd::kOpen},
        {Qt::CTRL | Qt::Key_S, cmd::kSave},
        {Qt::CTRL | Qt::Key_W, cmd::kWriteToDisk},
        {QKeyCombination(Qt::Key_Delete), cmd::kDelete},
        {QKeyCombination(Qt::Key_F1), cmd::kHelp},
        {Qt::ALT | Qt::Key_Return, cmd::kFileProperties},
        {Qt::ALT | Qt::Key_Enter, cmd::kFileProperties},  // the keypad's Enter
        {QKeyCombination(Qt::Key_Menu), cmd::kContextMenu},
        {Qt::SHIFT | Qt::Key_F10, cmd::kContextMenu},
    };
    return table;
}

// A view of the file list whose drags are the window's drag-out. Qt starts a
// drag with any button; only the left one drags files out.
template <typename View>
class FileListViewOf final : public View {
public:
    FileListViewOf(QWidget* parent, std::function<void()> dragOut) : View(parent), dragOut_(std::move(dragOut)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        leftPress_ = event->button() == Qt::LeftButton;
        View::mousePressEvent(event);
    }
    void startDrag(Qt::DropActions) override {
        if (leftPress_) dragOut_();
    }

private:
    std::function<void()> dragOut_;
    bool leftPress_ = false;
};

// The list's widths (and the window's) are given for an 8-point system font.
// A larger font or a locale with longer dates would cut the "Last change"
// texts short, so every width grows by the factor that lets the locale's
// widest date and time fit that column, and the proportions stay.
double ListWidthScale(const QFontMetrics& metrics, const Locale& locale) {
    constexpr std::uint16_t kDate = (64 << 9) | (12 << 5) | 28;   // 28 December 2044
    constexpr std::uint16_t kTime = (23 << 11) | (58 << 5) | 29;  // 23:58:58
    constexpr int kCellMargins = 12;
    std::string text;
    FormatDosDateTime(kDate, kTime, DateStyle::Short, text, locale);
    const int needed = metrics.horizontalAdvance(QString::fromStdString(text)) + kCellMargins;
    return std::max(1.0, needed / double(kLastChangeWidth));
}

}  // namespace

MainWindow::MainWindow(Ui* ui)
    : ownUi_(ui != nullptr ? nullptr
                           : std::make_unique<QtUi>(this, [this](bool enabled) { SetFileListEnabled(enabled); })),
      ui_(ui != nullptr ? *ui : *ownUi_),
      session_(ui_, model_, locale_, ListRootDirectory) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromStdString(ApplicationTitle()));
    setWindowIcon(QIcon(QStringLiteral(":/icons/100.svg")));
    model_.Attach(session_.doc, locale_);
    widthScale_ = ListWidthScale(fontMetrics(), locale_);
    BuildFileList();
    BuildMenus();
    BuildShortcuts();
    setAcceptDrops(true);
    const QStyle* s = style();
    resize(s->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * s->pixelMetric(QStyle::PM_DefaultFrameWidth) + Scaled(372),
           400);
    SetFileListEnabled(false);
    UpdateMenuState();
}

MainWindow::~MainWindow() {
    // The views go before the model they show.
    delete stack_;
}

void MainWindow::BuildFileList() {
    stack_ = new QStackedWidget(this);
    stack_->setObjectName(QStringLiteral("fileList"));
    report_ = new FileListViewOf<QTreeView>(stack_, [this] { DragOut(); });
    report_->setObjectName(QStringLiteral("fileListReport"));
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    icons_ = new FileListViewOf<QListView>(stack_, [this] { DragOut(); });
    icons_->setObjectName(QStringLiteral("fileListIcons"));
    const QList<QAbstractItemView*> views = {report_, icons_};
    for (QAbstractItemView* view : views) {
        view->setAccessibleName(QStringLiteral("Files"));
        view->setModel(&model_);
        view->setSelectionModel(model_.Selection());
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setItemDelegate(new NameEditDelegate(
            view, [this](bool editing) { labelEditActive_ = editing; },
            [this](int row, const QString& typed) {
                QMetaObject::invokeMethod(
                    this, [this, row, typed] { FinishRename(row, typed); }, Qt::QueuedConnection);
            }));
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        stack_->addWidget(view);
    }
    QHeaderView* header = report_->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    const int widths[] = {114, 74, kLastChangeWidth, 64};
    for (int column = 0; column < 4; ++column) report_->setColumnWidth(column, Scaled(widths[column]));
    setCentralWidget(stack_);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setAccessibleDescription(QStringLiteral("Status line"));  // its name is its text
    statusBar()->addWidget(status_, 1);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &MainWindow::UpdateStatusText);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::UpdateStatusText);
    connect(&model_, &QAbstractItemModel::modelReset, this, &MainWindow::UpdateStatusText);
    connect(model_.Selection(), &QItemSelectionModel::selectionChanged, this, &MainWindow::UpdateStatusText);
    SetViewMode(ViewMode::Report);
}

QAction* MainWindow::AddCommandAction(QMenu* menu, int id, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    ViewMode mode;
    if (id == cmd::kOriginalOrder || ViewModeOf(id, mode)) action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, id] { DispatchCommand(kMainWindow, id); });
    commandActions_.push_back(action);
    return action;
}

void MainWindow::BuildMenus() {
    auto* barStyle = new MenuBarStyle;
    barStyle->setParent(this);
    menuBar()->setStyle(barStyle);
    for (const MenuTable& table : MainMenu()) {
        if (&table == &MainMenu().back()) menuBar()->addSeparator();
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(table.title));
        QMenu* target = menu;
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateMenuState);
        for (const MenuEntry& entry : table.entries) {
            if (entry.id == kSeparator) {
                target->addSeparator();
            } else if (entry.id == kSubmenu) {
                target = menu->addMenu(QString::fromUtf8(entry.text));
                connect(target, &QMenu::aboutToShow, this, &MainWindow::UpdateMenuState);
            } else if (entry.id == kEndSubmenu) {
                target = menu;
            } else {
                menuActions_[entry.id] = AddCommandAction(target, entry.id, entry.text);
            }
        }
    }
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("contextMenu"));
    connect(contextMenu_, &QMenu::aboutToShow, this, &MainWindow::UpdateMenuState);
    for (const MenuEntry& entry : ContextMenuTable()) {
        if (entry.id == kSeparator)
            contextMenu_->addSeparator();
        else
            AddCommandAction(contextMenu_, entry.id, entry.text);
    }
}

void MainWindow::BuildShortcuts() {
    for (const ShortcutEntry& entry : ShortcutTable()) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(entry.key));
        action->setShortcutContext(Qt::WindowShortcut);
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { TranslateShortcut(id); });
        addAction(action);
    }
}

CommandFacts MainWindow::Facts() const {
    const ImageDocument& doc = session_.doc;
    return CommandFacts{doc.IsOpen(), doc.file.IsOpen(), doc.readOnly, model_.SelectedCount() > 0, mode_};
}

void MainWindow::UpdateMenuState() {
    const CommandFacts facts = Facts();
    for (QAction* action : commandActions_) {
        const int id = action->data().toInt();
        action->setEnabled(CommandEnabled(id, facts));
        if (action->isCheckable()) action->setChecked(CommandChecked(id, facts));
    }
}

QAction* MainWindow::MenuAction(int id) const {
    auto it = menuActions_.find(id);
    return it == menuActions_.end() ? nullptr : it->second;
}

// A shortcut acts only when its menu item is enabled; the context-menu key has
// no item and always acts. None acts while a name is edited in place.
void MainWindow::TranslateShortcut(int id) {
    if (labelEditActive_) return;
    UpdateMenuState();
    if (QAction* item = MenuAction(id); item != nullptr && !item->isEnabled()) return;
    DispatchCommand(kMainWindow, id);
}

QWidget* MainWindow::ParentOf(WindowRef owner) { return owner == kMainWindow ? this : ui::WidgetOf(owner); }

void MainWindow::DispatchCommand(WindowRef owner, int id) {
    Session& s = session_;
    ViewMode mode = mode_;
    switch (id) {
        case cmd::kNew:
            if (CloseImage(s, true)) {
                DiscardDragFolder(s);
                ui::RunNewImageDialog(ParentOf(owner), s);
            }
            break;
        case cmd::kOpen: OpenImage(s, owner, std::nullopt); break;
        case cmd::kSave: SaveImage(s); break;
        case cmd::kSaveAs:
            if (SaveImageAs(s, owner)) SaveImage(s);
            break;
        case cmd::kClose:
            CloseImage(s, true);
            DiscardDragFolder(s);
            break;
        case cmd::kExit:
            if (CloseImage(s, false)) {
                QWidget* window = ParentOf(owner)->window();
                QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
            }
            DiscardDragFolder(s);
            break;
        case cmd::kDelete: DeleteSelection(s, owner); break;
        case cmd::kRename: StartRename(); break;
        case cmd::kHelp: ui::ShowHelp(ui_, owner, ui::HelpCommand::Finder); break;
        case cmd::kAbout: ShowStringMessage(ui_, owner, str::kAbout, MB_OK | MB_ICONINFORMATION); break;
        case cmd::kAddFile: ChooseAndAddFile(s, owner); break;
        case cmd::kImageProperties:
            ui::ShowImageProperties(ParentOf(owner), s, QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier);
            break;
        case cmd::kExtractFile: ExtractSelection(s, owner); break;
        case cmd::kFileProperties: ShowFileProperties(owner); break;
        case cmd::kViewReport:
        case cmd::kViewList:
        case cmd::kViewIcon:
        case cmd::kViewSmallIcon:
            if (ViewModeOf(id, mode)) SetViewMode(mode);
            break;
        case cmd::kContextMenu:
            if (s.doc.IsOpen()) ShowPopupMenu(stack_->mapToGlobal(QPoint(0, 0)));
            break;
        case cmd::kWriteToDisk:
            WriteImageCommand(s, owner, [&] { return ui::RunWriteDialog(ParentOf(owner), s); });
            break;
        default:  // Original order, and ids without a command
            break;
    }
}

void MainWindow::ShowPopupMenu(const QPoint& globalPosition) { contextMenu_->popup(globalPosition); }

// A right click on the list opens the context menu at the cursor. Some
// platforms also turn the Menu key into a context-menu request of their own
// before the key itself arrives: that one is the context-menu command.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (HandleDragEvent(event)) return true;
    if (event->type() == QEvent::MouseButtonDblClick) {
        // Alt+double-click on a row opens its properties; a plain double click does nothing.
        auto* click = static_cast<QMouseEvent*>(event);
        if ((click->modifiers() & Qt::AltModifier) && click->button() == Qt::LeftButton &&
            CurrentView()->indexAt(click->position().toPoint()).isValid()) {
            DispatchCommand(kMainWindow, cmd::kFileProperties);
        }
        return false;
    }
    if (event->type() != QEvent::ContextMenu) return QMainWindow::eventFilter(watched, event);
    auto* request = static_cast<QContextMenuEvent*>(event);
    if (request->reason() == QContextMenuEvent::Mouse)
        ShowPopupMenu(request->globalPos());
    else
        TranslateShortcut(cmd::kContextMenu);
    return true;
}

bool MainWindow::event(QEvent* event) { return HandleDragEvent(event) || QMainWindow::event(event); }

// Drags over the window and over either view of the list (whose own handling
// of drops never runs).
bool MainWindow::HandleDragEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: AnswerDrag(*static_cast<QDragMoveEvent*>(event)); return true;
        case QEvent::DragLeave: return true;
        case QEvent::Drop: DropFiles(*static_cast<QDropEvent*>(event)); return true;
        default: return false;
    }
}

void MainWindow::DropFiles(QDropEvent& event) {
    if (!OffersFileCopy(event)) {
        event.ignore();
        return;
    }
    event.setDropAction(Qt::CopyAction);
    event.accept();
    OnFilesDropped(session_, kMainWindow, DroppedPaths(event.mimeData()));
    model_.Redraw();
}

std::unique_ptr<QMimeData> MainWindow::PrepareDragOut() {
    std::vector<std::string> paths;
    if (!BeginDragOut(session_, kMainWindow, paths)) return nullptr;
    return DragOutData(paths);
}

// Qt's drag loop ends the drag: Escape cancels it, releasing the button drops.
// The files stay in the drag folder whatever the outcome.
void MainWindow::DragOut() {
    std::unique_ptr<QMimeData> files = PrepareDragOut();
    if (!files) return;
    auto* drag = new QDrag(CurrentView());
    drag->setMimeData(files.release());
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void MainWindow::ShowFileProperties(WindowRef owner) {
    ForEachSelectedRow(session_, [&](const SelectedRow& row) {
        if (ui::ShowFileProperties(ParentOf(owner), session_, row.slot, Cp437ToUtf8(row.text)) != 0) {
            model_.Redraw();
        }
        return RowWalk::Stop;  // the first selected row only
    });
}

// Rows are dragged out as files (DragOut); drops on the list are the window's
// (eventFilter), never moves of rows within it.
void MainWindow::EnableDragAndDrop(QAbstractItemView* view) {
    view->setDragEnabled(true);
    view->viewport()->setAcceptDrops(true);
}

QAbstractItemView* MainWindow::CurrentView() const {
    return mode_ == ViewMode::Report ? static_cast<QAbstractItemView*>(report_) : icons_;
}

void MainWindow::SetViewMode(ViewMode mode) {
    const bool focused = stack_->isAncestorOf(QApplication::focusWidget());
    mode_ = mode;
    if (mode != ViewMode::Report) {
        const bool iconMode = mode == ViewMode::Icon;
        icons_->setViewMode(iconMode ? QListView::IconMode : QListView::ListMode);
        icons_->setMovement(QListView::Static);  // which also turns dragging off
        icons_->setResizeMode(QListView::Adjust);
        icons_->setWrapping(true);
        icons_->setFlow(mode == ViewMode::List ? QListView::TopToBottom : QListView::LeftToRight);
        icons_->setIconSize(iconMode ? QSize(32, 32) : QSize(16, 16));
        icons_->setGridSize(iconMode ? QSize(100, 64) : QSize());
        icons_->setWordWrap(iconMode);
        icons_->setSpacing(iconMode ? 0 : 2);
    }
    EnableDragAndDrop(CurrentView());
    stack_->setCurrentWidget(CurrentView());
    if (focused) CurrentView()->setFocus();
}

void MainWindow::SetFileListEnabled(bool enabled) {
    stack_->setEnabled(enabled);
    if (enabled)
        CurrentView()->setFocus();
    else
        setFocus();
}

void MainWindow::StartRename() {
    if (model_.RowCount() == 0) return;
    std::size_t row = model_.FocusedRow();
    if (row >= model_.RowCount()) row = 0;
    QAbstractItemView* view = CurrentView();
    const QModelIndex index = model_.index(static_cast<int>(row), 0);
    view->scrollTo(index);
    view->edit(index);
}

void MainWindow::FinishRename(int row, const QString& typed) {
    RenameEntry(session_, kMainWindow, typed.toStdString(), static_cast<std::size_t>(row));
}

void MainWindow::UpdateStatusText() {
    status_->setText(QString::fromStdString(StatusText(model_.RowCount(), model_.SelectedCount())));
}

QString MainWindow::StatusLine() const { return status_->text(); }

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!CloseImage(session_, false)) {
        event->ignore();
        return;
    }
    DiscardDragFolder(session_);
    ui::ShowHelp(ui_, kMainWindow, ui::HelpCommand::Quit);
    event->accept();
}

}  // namespace kv::app
