// The desktop program, driven through DispatchCommand, StartUp and the scripted
// Ui on the offscreen platform. The main window: the enabling and check rules
// and the shortcuts they gate, renaming in place, the status line, view modes
// and the list model's cells. Drag and drop: local files dropped onto the
// window or either view of the list are opened or added in order, anything
// else is refused; rows dragged out with the left button are extracted into
// the drag folder and offered as file URLs, copy only; closing with the save
// prompt takes the folder away. Start-up: the command line, the R and W
// switches, a command-line image that fails to open, and the user's locale.
#include <QAbstractItemModelTester>
#include <QtTest>
#include <QtWidgets>
#include <cstring>
#include <set>

#include "app/application.h"
#include "app/commands.h"
#include "app/drag_drop.h"
#include "app/main_window.h"
#include "app/qt_locale.h"
#include "app/qt_ui.h"
#include "document/boot_sector.h"
#include "document/media_errors.h"
#include "fat12/directory.h"
#include "floppy/transfer.h"
#include "platform/codepage.h"
#include "platform/string_table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

using namespace kv;
using namespace kv::app;
using namespace kv::test;

namespace {

// A scripted Ui that passes the title and the list's enabling on to the
// window, as the program's own Ui does.
class WindowUi final : public ScriptedUi {
public:
    MainWindow* window = nullptr;
    void SetWindowTitle(const std::string& title) override {
        ScriptedUi::SetWindowTitle(title);
        window->setWindowTitle(QString::fromStdString(title));
    }
    void EnableFileList(bool enabled) override {
        ScriptedUi::EnableFileList(enabled);
        window->SetFileListEnabled(enabled);
    }
};

struct TestWindow {
    WindowUi ui;
    MainWindow window{&ui};
    TestWindow() { ui.window = &window; }
    Session& s() { return window.session(); }
    // Opens `path` without a dialog and forgets the messages on the way.
    bool Open(const std::string& path, bool readOnly = false) {
        const bool opened = OpenImage(s(), kMainWindow, path, readOnly);
        ui.Clear();
        return opened;
    }
    // A new blank image of the New dialog's first choice, with no file yet.
    void NewImage() {
        NewImageDialog dialog;
        dialog.formats = FillFormatList(s().formats);
        QVERIFY(CreateNewImage(s(), dialog));
        ui.Clear();
    }
};

// One root entry of a test image (without clusters or a date): the 11-byte
// name field, attributes, size.
struct TestEntry {
    const char* name;
    std::uint8_t attributes;
    std::uint32_t size;
};

// README.TXT (R A, 1,474,560 bytes), GAMES (D), AUTOEXEC.BAT (HAS), NOTES.DOC (A).
std::vector<TestEntry> StandardEntries() {
    return {
        {"README  TXT", 0x21, 1474560}, {"GAMES      ", 0x10, 0}, {"AUTOEXECBAT", 0x26, 100}, {"NOTES   DOC", 0x20, 7}};
}

// Writes a blank 720 KB image with `entries` in the first root slots, and a
// side file marking sector 100 when `mediaErrors`.
void WriteTestImage(const std::string& path, const std::vector<TestEntry>& entries, bool mediaErrors = false) {
    ScriptedUi quiet;
    MemoryFileList list;
    EnglishLocale locale;
    Session s(quiet, list, locale, nullptr);
    QVERIFY(BuildBlankImage(s, kMainWindow, 0xF9));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DirEntry e{};
        std::memcpy(e.name, entries[i].name, 11);
        e.attributes = entries[i].attributes;
        e.size = entries[i].size;
        WriteDirEntry(s.doc.Volume() + RootDirectoryOffset(s.doc.geometry) + i * dir::kEntrySize, e);
    }
    WriteWholeFile(path, std::vector<std::uint8_t>(s.doc.data.get(), s.doc.data.get() + s.doc.size));
    if (mediaErrors) {
        QVERIFY(CreateMediaErrorList(s.doc.errors, s.doc.geometry.totalSectors));
        MarkBadSector(s.doc.errors, 100);
        QVERIFY(SaveMediaErrorFile(quiet, s.doc.errors, path));
    }
}

// The row texts of the window's list, in order (UTF-8).
QStringList RowTexts(MainWindow& window) {
    QStringList texts;
    for (std::size_t i = 0; i < window.model().RowCount(); ++i) {
        texts << QString::fromStdString(Cp437ToUtf8(window.model().RowAt(i).text));
    }
    return texts;
}

// False (and a Qt Test failure) when the scripted Ui met a question or dialog
// it had no answer for.
bool ScriptFollowed() {
    const bool failed = ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed();
    if (failed) QTest::qFail("the scripted Ui met a question or dialog without an answer", __FILE__, __LINE__);
    return !failed;
}

enum State { NoImage, NewImage, ReadOnly, Open, Selection };

void Prepare(TestWindow& w, State state, const std::string& image) {
    if (state == NewImage) w.NewImage();
    if (state >= ReadOnly) QVERIFY(w.Open(image, state == ReadOnly));
    if (state == Selection) w.window.model().SetSelected(0, true);
}

void ShowActive(MainWindow& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

void Press(QWidget* target, QKeyCombination key) { QTest::keyClick(target, key.key(), key.keyboardModifiers()); }

constexpr Qt::DropActions kAnyAction = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// A drag of `data` that enters `target` and is dropped there anyway: "copy"
// when both were taken as a copy, "refused" when neither was.
QString Deliver(QWidget* target, const QMimeData& data, Qt::DropActions actions = kAnyAction) {
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, actions, &data, Qt::NoButton, {});
    QApplication::sendEvent(target, &drop);
    if (!enter.isAccepted() && !drop.isAccepted()) return "refused";
    const bool copies = enter.dropAction() == Qt::CopyAction && drop.dropAction() == Qt::CopyAction;
    return enter.isAccepted() && drop.isAccepted() && copies ? "copy" : "inconsistent";
}

// The view of `mode` (a View command), made current; its viewport is where
// drags over the list arrive.
QAbstractItemView* View(TestWindow& w, int mode) {
    w.window.DispatchCommand(kMainWindow, mode);
    return w.window.CurrentView();
}

QStringList FolderFiles(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

    TempDir dir_;
    std::string image_;
    std::unique_ptr<ScopedEnvironment> tmp_;

    QString Host(const QString& name) const { return QString::fromStdString(dir_.File(name.toStdString())); }

    std::unique_ptr<QMimeData> FileUrls(const QStringList& names) const {
        std::vector<std::string> paths;
        for (const QString& name : names) paths.push_back(Host(name).toStdString());
        return DragOutData(paths);
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_.File("data")));
        image_ = dir_.File("test.dsk");
        WriteTestImage(image_, StandardEntries());
        tmp_ = std::make_unique<ScopedEnvironment>("TMPDIR", dir_.Path());  // drag folders land here
        const char* names[] = {"ONE.TXT", "TWO.TXT", "THREE.TXT"};
        for (unsigned i = 0; i < 3; ++i) WriteWholeFile(dir_.File(names[i]), Pattern(700 * (i + 1), i + 1));
        QVERIFY(QDir().mkdir(Host("SUB")));
        WriteTestImage(dir_.File("A.dsk"), {{"A       TXT", 0x20, 0}});  // B.dsk and C.dsk are never opened
    }
    void cleanup() { QVERIFY(ScriptFollowed()); }

    // Every item's enabled state and check mark as a menu opens, the context
    // menu's too; a shortcut acts only when its item is enabled, the
    // context-menu keys whenever an image is open.
    void enablingRulesAndShortcuts() {
        const std::set<int> always = {cmd::kNew, cmd::kOpen, cmd::kExit, cmd::kHelp, cmd::kAbout, cmd::kOriginalOrder};
        const std::set<int> withImage = {cmd::kSaveAs,          cmd::kWriteToDisk, cmd::kClose,
                                         cmd::kImageProperties, cmd::kAddFile,     cmd::kViewReport,
                                         cmd::kViewList,        cmd::kViewIcon,    cmd::kViewSmallIcon};
        const std::set<int> withSelection = {cmd::kFileProperties, cmd::kExtractFile, cmd::kDelete, cmd::kRename};
        const QKeyCombination del(Qt::Key_Delete), ctrlS(Qt::CTRL | Qt::Key_S);
        const std::pair<State, std::vector<std::pair<QKeyCombination, QString>>> rows[] = {
            {NoImage, {{ctrlS, ""}, {QKeyCombination(Qt::Key_Menu), ""}, {Qt::CTRL | Qt::Key_O, "file dialog"}}},
            {NewImage, {{ctrlS, ""}}},  // no file yet
            {ReadOnly, {{ctrlS, ""}}},
            {Open, {{del, ""}, {Qt::SHIFT | Qt::Key_F10, "context menu"}}},
            {Selection, {{del, "question"}}}};  // each key and what it brings up
        for (const auto& [state, keys] : rows) {
            TestWindow w;
            Prepare(w, state, image_);
            auto enabled = [state = state, &always, &withImage, &withSelection](int id) {
                return always.count(id) || (state >= NewImage && withImage.count(id)) ||
                       (state >= Open && id == cmd::kSave) || (state == Selection && withSelection.count(id));
            };
            QMenu* file = w.window.menuBar()->actions().first()->menu();
            file->popup(QPoint(0, 0));
            for (int id = cmd::kNew; id <= cmd::kWriteToDisk; ++id) {
                if (QAction* item = w.window.MenuAction(id)) {
                    QVERIFY2(item->isEnabled() == enabled(id), qPrintable(QStringLiteral("%1/%2").arg(state).arg(id)));
                    QCOMPARE(item->isChecked(), id == cmd::kOriginalOrder || id == cmd::kViewReport);
                }
            }
            file->hide();
            for (QAction* item : w.window.ContextMenu()->actions()) {
                if (!item->isSeparator()) QCOMPARE(item->isEnabled(), enabled(item->data().toInt()));
            }
            ShowActive(w.window);
            for (const auto& [key, effect] : keys) {
                if (effect == "file dialog") w.ui.WillCancelDialog();
                if (effect == "question") w.ui.answers.push_back(IDNO);
                Press(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &w.window, key);
                QStringList seen;
                if (!w.ui.fileRequests.empty()) seen << "file dialog";
                if (!w.ui.messages.empty()) seen << "question";
                if (w.window.ContextMenu()->isVisible()) seen << "context menu";
                const QString at = QKeySequence(key).toString() + QStringLiteral(" in state %1: ").arg(state);
                QCOMPARE(at + seen.join(','), at + effect);
                w.window.ContextMenu()->hide();
                w.ui.Clear();
            }
        }
    }

    // Rename edits the focused row, else row 0, and its editor gets every key;
    // Enter commits through RenameEntry, Escape cancels, a refused name keeps
    // the old one and shows why.
    void rename() {
        const struct {
            int focus;  // -1: none
            QString typed;
            Qt::Key key;
            QString row;
        } rows[] = {{-1, "notes.txt", Qt::Key_Return, "NOTES.TXT"},
                    {3, "memo.doc", Qt::Key_Enter, "MEMO.DOC"},
                    {-1, "other.txt", Qt::Key_Escape, "README.TXT"},
                    {-1, "a*b.txt", Qt::Key_Return, "README.TXT"}};
        for (const auto& row : rows) {
            TestWindow w;
            Prepare(w, Open, image_);
            ShowActive(w.window);
            QItemSelectionModel* selection = w.window.model().Selection();
            if (row.focus >= 0)
                selection->setCurrentIndex(w.window.model().index(row.focus, 0), {});
            else
                selection->clearCurrentIndex();
            const int edited = std::max(row.focus, 0);
            const QString before = RowTexts(w.window).at(edited);
            w.window.DispatchCommand(kMainWindow, cmd::kRename);
            auto* editor = w.window.findChild<QLineEdit*>(QStringLiteral("nameEditor"));
            QVERIFY(editor != nullptr && w.window.LabelEditActive());
            editor->setCursorPosition(0);  // a shortcut reaching the window would open a dialog or menu
            for (QKeyCombination k : {QKeyCombination(Qt::Key_Delete), Qt::CTRL | Qt::Key_O, Qt::SHIFT | Qt::Key_F10}) {
                Press(editor, k);
            }
            QCOMPARE(editor->text(), before.mid(1));
            QVERIFY(!w.window.ContextMenu()->isVisible());
            editor->setText(row.typed);
            QTest::keyClick(editor, row.key);
            QTRY_VERIFY(!w.window.LabelEditActive());
            QCoreApplication::processEvents();  // the rename follows the editor's close
            QCOMPARE(RowTexts(w.window).at(edited), row.row);
            const std::uint8_t* slot =
                w.s().doc.data.get() + w.window.model().RowAt(static_cast<std::size_t>(edited)).slotOffset;
            QCOMPARE(QString::fromStdString(DisplayName(slot)), row.row);
            const bool refused = row.typed.contains('*');
            QCOMPARE(w.s().doc.modified, !refused && row.key != Qt::Key_Escape);
            if (refused)
                QVERIFY(w.ui.Showed(LoadText(str::kNameCharacters), MB_ICONHAND));
            else
                QVERIFY(w.ui.messages.empty());
        }
    }

    // The status line follows the selection, each removal and the close; the
    // delete walk steps back after each removed row, so none is skipped. The
    // model keeps Qt's rules all along.
    void statusLineAndDeletingAdjacentRows() {
        const std::string image = dir_.File("four.dsk");
        WriteTestImage(
            image,
            {{"A       TXT", 0x20, 1}, {"B       TXT", 0x20, 1}, {"C       TXT", 0x20, 1}, {"D       TXT", 0x20, 1}});
        TestWindow w;
        QAbstractItemModelTester tester(&w.window.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(w.Open(image));
        QCOMPARE(w.window.StatusLine(), QStringLiteral("4 Object(s)"));
        for (std::size_t row : {1u, 2u, 3u}) w.window.model().SetSelected(row, true);
        QCOMPARE(w.window.StatusLine(), QStringLiteral("3 Object(s) selected"));
        w.ui.answers = {IDYES, IDYES, IDYES};
        w.window.DispatchCommand(kMainWindow, cmd::kDelete);
        QCOMPARE(RowTexts(w.window), QStringList{"A.TXT"});
        QCOMPARE(w.window.StatusLine(), QStringLiteral("1 Object(s)"));
        w.ui.answers.push_back(IDNO);  // save the changes? no
        w.window.DispatchCommand(kMainWindow, cmd::kClose);
        QCOMPARE(w.window.StatusLine(), QStringLiteral("0 Object(s)"));
        QVERIFY(!w.window.CurrentView()->isEnabled());
    }

    // What screen readers and UI automation read: each cell's text under its
    // column title, the status line, the menus and their items.
    void accessibility() {
        TestWindow w;
        Prepare(w, Selection, image_);
        w.window.show();  // a tree view lays out its rows when shown
        QAccessibleTableInterface* table =
            QAccessible::queryAccessibleInterface(View(w, cmd::kViewReport))->tableInterface();
        QVERIFY(table != nullptr);
        QStringList read;
        for (int column = 0; column < 4; ++column) {
            read << table->columnDescription(column) + ": " + table->cellAt(0, column)->text(QAccessible::Name);
        }
        QCOMPARE(read, (QStringList{"Filename: README.TXT", "Size: 1,474,560", "Last change: ", "Attributes: R A  "}));
        auto* status = w.window.findChild<QLabel*>(QStringLiteral("statusLine"));
        QCOMPARE(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Name),
                 QStringLiteral("1 Object(s) selected"));
        QAccessibleInterface* menus = QAccessible::queryAccessibleInterface(w.window.menuBar());
        QStringList titles;
        for (int i = 0; i < menus->childCount(); ++i) titles << menus->child(i)->text(QAccessible::Name);
        QCOMPARE(titles, (QStringList{"File", "Edit", "View", "", "Help"}));
        QAccessibleInterface* file = QAccessible::queryAccessibleInterface(w.window.menuBar()->actions().first()->menu());
        QCOMPARE(file->child(0)->text(QAccessible::Name), QStringLiteral("New...\tCtrl+N"));
    }

    // Alt+double-click on a row opens its properties; a plain double click
    // does nothing.
    void doubleClick() {
        TestWindow w;
        Prepare(w, Open, image_);
        ShowActive(w.window);
        QAbstractItemView* view = w.window.CurrentView();
        const QPoint at = view->visualRect(w.window.model().index(3, 0)).center();
        for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::AltModifier), Qt::KeyboardModifiers()}) {
            QString title = QStringLiteral("none");
            QTimer::singleShot(0, [&] {
                if (auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    title = sheet->windowTitle();
                    sheet->reject();
                }
            });
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, at);  // the first click selects
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, modifiers, at);
            QCoreApplication::processEvents();
            QCOMPARE(title, modifiers ? QStringLiteral("NOTES.DOC Properties") : QStringLiteral("none"));
        }
    }

    // The mode lasts across images, with its check mark; switching keeps the
    // rows and their order.
    void viewModes() {
        const struct {
            int command;
            QListView::ViewMode mode;
            int iconSize;
            QListView::Flow flow;
        } rows[] = {{cmd::kViewIcon, QListView::IconMode, 32, QListView::LeftToRight},
                    {cmd::kViewSmallIcon, QListView::ListMode, 16, QListView::LeftToRight},
                    {cmd::kViewList, QListView::ListMode, 16, QListView::TopToBottom}};
        for (const auto& row : rows) {
            TestWindow w;
            Prepare(w, Open, image_);
            const QStringList rowTexts = RowTexts(w.window);
            w.window.DispatchCommand(kMainWindow, row.command);
            w.window.DispatchCommand(kMainWindow, cmd::kClose);
            QVERIFY(w.Open(image_));
            auto* view = qobject_cast<QListView*>(w.window.CurrentView());
            QVERIFY(view != nullptr && view->isEnabled() && view->isVisibleTo(&w.window));
            QCOMPARE(view->viewMode(), row.mode);
            QCOMPARE(view->iconSize(), QSize(row.iconSize, row.iconSize));
            QCOMPARE(view->flow(), row.flow);
            w.window.ContextMenu()->popup(QPoint(0, 0));  // any menu applies the check marks to all
            w.window.ContextMenu()->hide();
            for (int id : {cmd::kViewReport, cmd::kViewList, cmd::kViewIcon, cmd::kViewSmallIcon}) {
                QCOMPARE(w.window.MenuAction(id)->isChecked(), id == row.command);
            }
            w.window.DispatchCommand(kMainWindow, cmd::kViewReport);
            QCOMPARE(w.window.Mode(), ViewMode::Report);
            QCOMPARE(RowTexts(w.window), rowTexts);
        }
    }

    // Cells come from the slot each time, in the user's locale: a changed slot
    // shows without a refill. Names are code page 437; folders have their icon.
    void cellsFromSlots() {
        TestWindow w;
        Prepare(w, Open, image_);
        FileListModel& m = w.window.model();
        auto cell = [&](int row, ListColumn column) { return m.data(m.index(row, int(column)), Qt::DisplayRole); };
        QCOMPARE(cell(0, ListColumn::Size).toString(), QStringLiteral("1,474,560"));
        // The report's widths keep their proportions and show the whole date.
        std::uint8_t* slot = w.s().doc.data.get() + m.RowAt(0).slotOffset;
        DirEntry e = ReadDirEntry(slot);
        e.date = (25 << 9) | (9 << 5) | 29;  // 29 September 2005, 12:34:56
        e.time = (12 << 11) | (34 << 5) | 28;
        WriteDirEntry(slot, e);
        auto* report = qobject_cast<QTreeView*>(View(w, cmd::kViewReport));
        QVERIFY(report != nullptr);
        const int width = report->columnWidth(int(ListColumn::LastChange));
        QVERIFY(width >= 116 && std::abs(report->columnWidth(0) * 116 - 114 * width) < 116);
        QVERIFY(report->fontMetrics().horizontalAdvance(cell(0, ListColumn::LastChange).toString()) < width - 8);
        slot[dir::kAttributes] = 0x04;
        QCOMPARE(cell(0, ListColumn::Attributes).toString(), QStringLiteral("   S "));
        m.SetRowText(0, "\x82T\x90.TXT");
        QCOMPARE(cell(0, ListColumn::Filename).toString(), QStringLiteral("\u00e9T\u00c9.TXT"));
        QVERIFY(m.data(m.index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey() !=
                m.data(m.index(1, 0), Qt::DecorationRole).value<QIcon>().cacheKey());
    }

    // Over the window and over each view, with or without an image: text and
    // web addresses, and files that may only be moved, are refused; a copy of
    // local files is taken. With no image the first path is opened and the
    // rest ignored; onto an image every path is added in order.
    void drops() {
        const QStringList three = {"ONE.TXT", "TWO.TXT", "THREE.TXT"};
        const QStringList images = {"A.dsk", "B.dsk", "C.dsk"};
        std::unique_ptr<QMimeData> other = FileUrls({});
        other->setText(Host("ONE.TXT"));
        other->setUrls({QUrl(QStringLiteral("https://example.org/ONE.TXT"))});
        for (bool open : {false, true}) {
            for (int mode : {0, cmd::kViewReport, cmd::kViewIcon, cmd::kViewList}) {  // 0: the window
                TestWindow w;
                if (open) w.NewImage();
                QWidget* target = mode == 0 ? &w.window : View(w, mode)->viewport();
                const QString at = QStringLiteral("%1 on %2: ").arg(open).arg(mode);
                QVERIFY(target->acceptDrops());  // where a real drag over it is delivered
                QCOMPARE(at + Deliver(target, *other), at + "refused");
                QCOMPARE(at + Deliver(target, *FileUrls(three), Qt::MoveAction), at + "refused");
                QCOMPARE(w.s().doc.IsOpen(), open);
                QVERIFY(!w.s().doc.modified);
                QCOMPARE(at + Deliver(target, *FileUrls(open ? three : images)), at + "copy");
                QCOMPARE(RowTexts(w.window), open ? three : QStringList{"A.TXT"});
                QCOMPARE(w.s().doc.modified, open);
                QVERIFY(w.ui.messages.empty());
            }
        }
    }

    // Rows dragged with the left button in either view: the files in the drag
    // folder, offered as their URLs with copy as the only action; a selection
    // with a folder gives string 56 and extracts nothing; the right button
    // drags nothing.
    void dragOut() {
        const struct {
            int mode;
            QList<int> selected;
            Qt::MouseButton button;
            QStringList offered;
        } rows[] = {{cmd::kViewReport, {0, 2}, Qt::LeftButton, {"ONE.TXT", "THREE.TXT"}},
                    {cmd::kViewIcon, {0, 2}, Qt::LeftButton, {"ONE.TXT", "THREE.TXT"}},
                    {cmd::kViewReport, {0, 1}, Qt::LeftButton, {}},
                    {cmd::kViewList, {0, 2}, Qt::RightButton, {}}};
        for (const auto& row : rows) {
            TestWindow w;
            w.NewImage();
            QCOMPARE(Deliver(&w.window, *FileUrls({"ONE.TXT", "SUB", "THREE.TXT"})), "copy");
            QAbstractItemView* view = View(w, row.mode);
            w.window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w.window));
            for (int r : row.selected) w.window.model().SetSelected(std::size_t(r), true);
            const QPoint from = view->visualRect(w.window.model().index(row.selected.last(), 0)).center();
            const QPoint step(QApplication::startDragDistance() + 1, 0);
            QTest::mousePress(view->viewport(), row.button, {}, from);
            QTest::mouseMove(view->viewport(), from + step);
            QTest::mouseMove(view->viewport(), from + 2 * step);
            QTest::mouseRelease(view->viewport(), row.button, {}, from + 2 * step);

            auto* drag = view->findChild<QDrag*>();  // exec has returned; it is deleted later
            QCOMPARE(drag != nullptr, !row.offered.isEmpty());
            QCOMPARE(w.s().dragFolder.has_value(), row.button == Qt::LeftButton);
            if (drag == nullptr) {
                if (row.button == Qt::LeftButton) {
                    QVERIFY(w.ui.Showed(LoadText(str::kCannotDragOut), MB_ICONEXCLAMATION));
                    QCOMPARE(FolderFiles(*w.s().dragFolder), QStringList{});
                }
                continue;
            }
            QCOMPARE(drag->supportedActions(), Qt::DropActions(Qt::CopyAction));
            QList<QUrl> urls;
            const QString folder = QString::fromStdString(*w.s().dragFolder);
            for (const QString& name : row.offered) urls << QUrl::fromLocalFile(folder + "/" + name);
            QCOMPARE(drag->mimeData()->urls(), urls);
            QCOMPARE(FolderFiles(*w.s().dragFolder), row.offered);
        }
    }

    // Files dragged out and dropped back onto the list are added like any
    // other drop (the same names: replaced after the question). They stay in
    // the folder until Close or Exit (whatever the answer to the save prompt)
    // or a permitted close of the window. Closing the window or Exit asks to
    // save the modified image: Cancel keeps both the window and the image.
    void dropBackAndClose() {
        const struct {
            int command;  // 0: the window is closed
            int answer;
            bool discarded;
        } rows[] = {{cmd::kClose, IDNO, true},
                    {cmd::kClose, IDCANCEL, true},
                    {cmd::kExit, IDCANCEL, true},
                    {cmd::kExit, IDNO, true},
                    {0, IDNO, true},
                    {0, IDCANCEL, false}};
        for (const auto& row : rows) {
            TestWindow w;
            w.NewImage();
            w.window.show();
            QCOMPARE(Deliver(&w.window, *FileUrls({"ONE.TXT", "TWO.TXT", "THREE.TXT"})), "copy");
            w.window.model().SetSelected(2, true);
            w.window.model().SetSelected(0, true);
            std::unique_ptr<QMimeData> data = w.window.PrepareDragOut();
            QVERIFY(data != nullptr);
            const std::string folder = *w.s().dragFolder;
            w.ui.answers = {IDYES, IDYES};
            QCOMPARE(Deliver(View(w, cmd::kViewSmallIcon)->viewport(), *data), "copy");
            QCOMPARE(w.ui.Texts(), (std::vector<std::string>{"File 'ONE.TXT' already exists! Replace?",
                                                             "File 'THREE.TXT' already exists! Replace?"}));
            QCOMPARE(RowTexts(w.window), QStringList({"ONE.TXT", "TWO.TXT", "THREE.TXT"}));
            w.ui.Clear();
            w.ui.answers = {row.answer};
            if (row.command != 0)
                w.window.DispatchCommand(kMainWindow, row.command);
            else
                w.window.close();
            QCoreApplication::processEvents();
            QVERIFY(w.ui.Showed(LoadText(str::kSaveChanges), MB_YESNOCANCEL | MB_ICONQUESTION));
            QCOMPARE(w.window.isVisible(), row.answer == IDCANCEL || row.command == cmd::kClose);
            QCOMPARE(w.s().doc.IsOpen(), row.answer == IDCANCEL);
            QCOMPARE(!w.s().dragFolder, row.discarded);
            QCOMPARE(QFileInfo::exists(QString::fromStdString(folder)), !row.discarded);
        }
    }

    // A word behind "/" or "-" is its second letter, unless a "/" word is a
    // path (a second "/" or an existing file); the first other word is the path.
    void parseCommandLine() {
        const struct {
            std::vector<std::string> arguments;
            const char* switches;
            const char* path;
        } rows[] = {{{"/Register"}, "R", ""},
                    {{"game.dsk", "/w"}, "W", "game.dsk"},
                    {{"-write", "-x", "-"}, "W", ""},
                    {{"a.dsk", "b.dsk"}, "", "a.dsk"},
                    {{"/home/me/game.dsk"}, "", "/home/me/game.dsk"},
                    {{"/wild.dsk"}, "", "/wild.dsk"},
                    {{"/wide.dsk"}, "W", ""},
                    {{"/R", "/tmp/x.dsk"}, "R", "/tmp/x.dsk"}};
        for (const auto& row : rows) {
            const CommandLine line =
                ParseCommandLine(row.arguments, [](const std::string& p) { return p == "/wild.dsk"; });
            QCOMPARE(std::string(line.registerSwitch ? "R" : "") + (line.writeSwitch ? "W" : "") + " " +
                         line.path.value_or(""),
                     std::string(row.switches) + " " + row.path);
        }
    }

    // -r registers (desktop entry and MIME type written) and ends with 1
    // without a window. -W opens the image and writes it (the warning only
    // with media errors) and ends with 1 without showing the window, also when
    // the image fails to open (then without the dialog); without a path the
    // program starts normally. Without -W a failing image leaves the program
    // running with no image.
    void startUp() {
        const std::string errors = dir_.File("errors.dsk"), clean = dir_.File("clean.dsk");
        WriteTestImage(errors, StandardEntries(), true);
        WriteTestImage(clean, StandardEntries());
        const std::string missing = dir_.File("missing.dsk");
        constexpr std::uint32_t kAny = ~0u;
        const struct {
            std::vector<std::string> arguments;
            bool shown;
            int dialogs;
            bool open;
            std::uint32_t message;  // 0: none, kAny: the open's own
        } rows[] = {{{"-r"}, false, 0, false, str::kRegistrationSucceeded},
                    {{errors}, true, 0, true, 0},
                    {{"-W", errors}, false, 1, true, str::kMediaErrorsNotWritten},
                    {{"-w", clean}, false, 1, true, 0},
                    {{"-w", missing}, false, 0, false, kAny},
                    {{"-w"}, true, 0, false, 0},
                    {{missing}, true, 0, false, kAny}};
        for (const auto& row : rows) {
            ScriptedUi ui;
            std::unique_ptr<MainWindow> window;
            int dialogs = 0;
            StartupHooks hooks;
            hooks.ui = &ui;
            hooks.runWriteDialog = [&](QWidget* parent, Session&) {
                ++dialogs;
                return parent->isVisible() ? -1 : 1;
            };
            const std::optional<int> code =
                StartUp(ParseCommandLine(row.arguments), "/opt/korvane/bin/korvane", window, hooks);
            QCOMPARE(code, row.shown ? std::nullopt : std::optional<int>(1));
            QCOMPARE(window == nullptr, row.arguments[0] == "-r");
            QCOMPARE(window != nullptr && window->isVisible(), row.shown);
            QCOMPARE(window != nullptr && window->session().doc.IsOpen(), row.open);
            QCOMPARE(dialogs, row.dialogs);
            QCOMPARE(ui.messages.size(), std::size_t{row.message != 0});
            if (row.message != kAny && row.message != 0) QCOMPARE(ui.Last().text, LoadText(row.message));
        }
        QVERIFY(FileExists(dir_.File("data/applications/korvane.desktop")));
        QVERIFY(FileExists(dir_.File("data/mime/packages/korvane-diskimage.xml")));
    }

    // The program's message boxes: buttons, icon, caption and default button
    // of the style; Escape leaves only a box with OK alone or a Cancel button,
    // Enter takes the default. The open dialog's filters match either case and
    // its read-only box is handed back.
    void qtUi() {
        using B = QMessageBox;
        const struct {
            std::uint32_t style;
            B::StandardButtons buttons;
            B::StandardButton defaultButton;
            B::Icon icon;
            int result;  // of Escape, or of Enter when Escape did nothing
        } rows[] = {{MB_OK | MB_ICONHAND, B::Ok, B::Ok, B::Critical, IDOK},
                    {MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3, B::Yes | B::No | B::Cancel, B::Cancel,
                     B::Question, IDCANCEL},
                    {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, B::Yes | B::No, B::No, B::Question, IDNO},
                    {MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON2, B::Abort | B::Retry | B::Ignore,
                     B::Retry, B::Warning, IDRETRY},
                    {MB_OKCANCEL | MB_ICONINFORMATION, B::Ok | B::Cancel, B::Ok, B::Information, IDCANCEL}};
        QWidget owner;
        QtUi ui(&owner);
        for (const auto& row : rows) {
            QString seen;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr) return;
                seen = box->windowTitle() + " " + box->text();
                if (box->standardButtons() != row.buttons || box->icon() != row.icon ||
                    box->standardButton(box->defaultButton()) != row.defaultButton) {
                    seen += " (other buttons or icon)";
                }
                QTest::keyClick(box, Qt::Key_Escape);
                if (box->isVisible()) QTest::keyClick(box, Qt::Key_Return);
            });
            QCOMPARE(ui.ShowMessageBox(kMainWindow, "Disk full!", "Korvane", row.style), row.result);
            QCOMPARE(seen, QStringLiteral("Korvane Disk full!"));
        }
        const std::string chosen = dir_.File("A.dsk");
        QStringList filters;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            filters = dialog->nameFilters();
            if (auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("readOnlyBox"))) box->setChecked(true);
            dialog->selectFile(QString::fromStdString(chosen));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        FileDialogRequest request;
        request.filterStringId = str::kImageFilter;
        FileDialogResult result;
        QVERIFY(ui.ChooseFile(kMainWindow, request, result));
        QCOMPARE(filters.first(), QStringLiteral("All disk-images (*.dsk *.DSK *.flp *.FLP)"));
        QCOMPARE(filters.last(), QStringLiteral("All files (*)"));
        QCOMPARE(result.path, chosen);
        QVERIFY(result.readOnly);
    }

    // Grouping and times (with seconds) as the user's locale has them.
    void locale() {
        const struct {
            const char* name;
            const char* number;
            const char* time;
        } rows[] = {
            {"en_US", "1,474,560", "1:45:10"}, {"de_DE", "1.474.560", "13:45:10"}, {"C", "1474560", "13:45:10"}};
        for (const auto& row : rows) {
            QtLocale locale{QLocale(QString::fromLatin1(row.name))};
            std::string out;
            FormatNumber(1474560, out, locale);
            QCOMPARE(out, std::string(row.number));
            const CalendarTime t{2005, 3, 29, 13, 45, 10};
            QVERIFY(QString::fromStdString(locale.TimeText(t)).startsWith(QString::fromLatin1(row.time)));
            QVERIFY(locale.DateText(t, DateStyle::Long).size() > locale.DateText(t, DateStyle::Short).size());
        }
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
