// The main window: the enabling and check rules, shortcuts gated by them and by
// in-place editing, the status line, view modes, renaming in place, deleting,
// closing with the save prompt, and the model under Qt's model checker.
#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>
#include <set>

#include "app/commands.h"
#include "fat12/directory.h"
#include "floppy/transfer.h"
#include "platform/string_table.h"
#include "tests/app/app_test_support.h"

using namespace kv;
using namespace kv::app;
using kv::test::TestWindow;

namespace {

const std::set<int> kAlways = {cmd::kNew, cmd::kOpen, cmd::kExit, cmd::kHelp, cmd::kAbout, cmd::kOriginalOrder};
const std::set<int> kWithImage = {cmd::kSaveAs, cmd::kWriteToDisk, cmd::kClose, cmd::kImageProperties,
                                  cmd::kAddFile, cmd::kViewReport, cmd::kViewList, cmd::kViewIcon,
                                  cmd::kViewSmallIcon};
const std::set<int> kWithSelection = {cmd::kFileProperties, cmd::kExtractFile, cmd::kDelete, cmd::kRename};

std::set<int> Union(std::initializer_list<std::set<int>> sets) {
    std::set<int> all;
    for (const auto& s : sets) all.insert(s.begin(), s.end());
    return all;
}

enum class State { NoImage, NewImage, ReadOnly, Open, Selection };

// Puts the window into `state` over `image`.
void Prepare(TestWindow& w, State state, const std::string& image) {
    switch (state) {
        case State::NoImage: return;
        case State::NewImage: {
            NewImageDialog dialog;
            dialog.formats = FillFormatList(w.s().formats);
            QVERIFY(CreateNewImage(w.s(), dialog));
            w.ui.Clear();
            return;
        }
        case State::ReadOnly: QVERIFY(w.Open(image, true)); return;
        case State::Open: QVERIFY(w.Open(image)); return;
        case State::Selection:
            QVERIFY(w.Open(image));
            w.window.model().SetSelected(0, true);
            return;
    }
}

QMenu* FileMenu(MainWindow& window) { return window.menuBar()->actions().first()->menu(); }

void ShowActive(MainWindow& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

QLineEdit* Editor(MainWindow& window) { return window.findChild<QLineEdit*>(QStringLiteral("nameEditor")); }

}  // namespace

Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(std::set<int>)

class MainWindowTest : public QObject {
    Q_OBJECT

    test::TempDir dir_;
    std::string image_;

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        image_ = dir_.File("test.dsk");
        test::WriteTestImage(image_, test::StandardEntries());
    }
    void cleanup() { QVERIFY(test::ScriptFollowed()); }

    // Every item's enabled state, applied when a menu opens, and the check
    // marks; the context menu follows the same rules.
    void enablingRules_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<std::set<int>>("enabled");
        QTest::newRow("no image") << State::NoImage << kAlways;
        QTest::newRow("new image: no file, no Save") << State::NewImage << Union({kAlways, kWithImage});
        QTest::newRow("read-only file: no Save") << State::ReadOnly << Union({kAlways, kWithImage});
        QTest::newRow("open, nothing selected") << State::Open << Union({kAlways, kWithImage, {cmd::kSave}});
        QTest::newRow("open, a row selected")
            << State::Selection << Union({kAlways, kWithImage, kWithSelection, {cmd::kSave}});
    }
    void enablingRules() {
        QFETCH(State, state);
        QFETCH(std::set<int>, enabled);
        TestWindow w;
        Prepare(w, state, image_);
        QMenu* menu = FileMenu(w.window);
        menu->popup(QPoint(0, 0));
        for (int id = cmd::kNew; id <= cmd::kWriteToDisk; ++id) {
            if (QAction* item = w.window.MenuAction(id)) {
                QVERIFY2(item->isEnabled() == (enabled.count(id) != 0), qPrintable(QString::number(id)));
                QCOMPARE(item->isChecked(), id == cmd::kOriginalOrder || id == cmd::kViewReport);
            }
        }
        menu->hide();
        for (QAction* item : w.window.ContextMenu()->actions()) {
            if (!item->isSeparator()) QCOMPARE(item->isEnabled(), enabled.count(item->data().toInt()) != 0);
        }
    }

    // A shortcut acts only when its item is enabled; the context-menu keys
    // act whenever an image is open.
    void shortcuts_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("effect");
        QTest::newRow("no image: Ctrl+S") << State::NoImage << QKeySequence(Qt::CTRL | Qt::Key_S) << "nothing";
        QTest::newRow("no image: Del") << State::NoImage << QKeySequence(Qt::Key_Delete) << "nothing";
        QTest::newRow("no image: Menu") << State::NoImage << QKeySequence(Qt::Key_Menu) << "nothing";
        QTest::newRow("no image: Ctrl+O") << State::NoImage << QKeySequence(Qt::CTRL | Qt::Key_O) << "file dialog";
        QTest::newRow("new image: Ctrl+S") << State::NewImage << QKeySequence(Qt::CTRL | Qt::Key_S) << "nothing";
        QTest::newRow("read-only: Ctrl+S") << State::ReadOnly << QKeySequence(Qt::CTRL | Qt::Key_S) << "nothing";
        QTest::newRow("open: Del without selection") << State::Open << QKeySequence(Qt::Key_Delete) << "nothing";
        QTest::newRow("open: Alt+Enter, no selection") << State::Open << QKeySequence(Qt::ALT | Qt::Key_Return)
                                                       << "nothing";
        QTest::newRow("open: Ctrl+A") << State::Open << QKeySequence(Qt::CTRL | Qt::Key_A) << "file dialog";
        QTest::newRow("open: Menu") << State::Open << QKeySequence(Qt::Key_Menu) << "context menu";
        QTest::newRow("open: Shift+F10") << State::Open << QKeySequence(Qt::SHIFT | Qt::Key_F10) << "context menu";
        QTest::newRow("selection: Del") << State::Selection << QKeySequence(Qt::Key_Delete) << "question";
        QTest::newRow("selection: Ctrl+E") << State::Selection << QKeySequence(Qt::CTRL | Qt::Key_E) << "file dialog";
    }
    void shortcuts() {
        QFETCH(State, state);
        QFETCH(QKeySequence, key);
        QFETCH(QString, effect);
        TestWindow w;
        Prepare(w, state, image_);
        ShowActive(w.window);
        if (effect == "file dialog") w.ui.WillCancelDialog();
        if (effect == "question") w.ui.answers.push_back(IDNO);
        QWidget* focus = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &w.window;
        QTest::keyClick(focus, key[0].key(), key[0].keyboardModifiers());
        QCOMPARE(w.ui.fileRequests.size(), effect == "file dialog" ? 1u : 0u);
        QCOMPARE(w.ui.messages.size(), effect == "question" ? 1u : 0u);
        QCOMPARE(w.window.ContextMenu()->isVisible(), effect == "context menu");
        w.window.ContextMenu()->hide();
    }

    // While a name is edited in place its editor gets every key.
    void shortcutsWhileEditing() {
        TestWindow w;
        Prepare(w, State::Selection, image_);
        ShowActive(w.window);
        w.window.DispatchCommand(kMainWindow, cmd::kRename);
        QLineEdit* editor = Editor(w.window);
        QVERIFY(editor != nullptr);
        QVERIFY(w.window.LabelEditActive());
        editor->setCursorPosition(0);
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(editor->text(), QStringLiteral("EADME.TXT"));
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(editor->selectedText(), QStringLiteral("EADME.TXT"));
        for (QKeyCombination key : {Qt::CTRL | Qt::Key_O, Qt::CTRL | Qt::Key_N, QKeyCombination(Qt::Key_Menu)}) {
            QTest::keyClick(editor, key.key(), key.keyboardModifiers());
        }
        QVERIFY(w.ui.messages.empty() && w.ui.fileRequests.empty());
        QVERIFY(!w.window.ContextMenu()->isVisible());
        QCOMPARE(w.window.model().RowCount(), 4u);
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!w.window.LabelEditActive());
    }

    // Enter commits through RenameEntry, Escape cancels, a refused name keeps
    // the old one and shows why. Rename edits the focused row, else row 0.
    void rename_data() {
        QTest::addColumn<int>("focus");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("message");
        QTest::newRow("Enter, no focus: row 0") << -1 << "notes.txt" << int(Qt::Key_Return) << "NOTES.TXT" << "";
        QTest::newRow("Enter, focus on row 3") << 3 << "memo.doc" << int(Qt::Key_Enter) << "MEMO.DOC" << "";
        QTest::newRow("Escape") << -1 << "other.txt" << int(Qt::Key_Escape) << "README.TXT" << "";
        QTest::newRow("too long") << -1 << "longer.name.txt" << int(Qt::Key_Return) << "README.TXT"
                                  << QString::fromStdString(LoadText(str::kNameTooLong));
        QTest::newRow("bad character") << -1 << "a*b.txt" << int(Qt::Key_Return) << "README.TXT"
                                       << QString::fromStdString(LoadText(str::kNameCharacters));
    }
    void rename() {
        QFETCH(int, focus);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, row);
        QFETCH(QString, message);
        TestWindow w;
        Prepare(w, State::Open, image_);
        ShowActive(w.window);
        if (focus >= 0) w.window.model().Selection()->setCurrentIndex(w.window.model().index(focus, 0), {});
        else w.window.model().Selection()->clearCurrentIndex();
        const int edited = focus >= 0 ? focus : 0;
        w.window.DispatchCommand(kMainWindow, cmd::kRename);
        QLineEdit* editor = Editor(w.window);
        QVERIFY(editor != nullptr);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key(key));
        QTRY_VERIFY(!w.window.LabelEditActive());
        QCoreApplication::processEvents();  // the rename follows the editor's close
        QCOMPARE(test::RowTexts(w.window).at(edited), row);
        const std::uint8_t* slot = w.s().doc.data.get() + w.window.model().RowAt(edited).slotOffset;
        QCOMPARE(QString::fromStdString(DisplayName(slot)), row);
        QCOMPARE(w.s().doc.modified, message.isEmpty() && key != Qt::Key_Escape);
        if (message.isEmpty()) {
            QVERIFY(w.ui.messages.empty());
        } else {
            QVERIFY(w.ui.Showed(message.toStdString(), MB_ICONHAND));
        }
    }

    // The status line follows the selection, each removal and the close; the
    // delete walk steps back after each removed row, so none is skipped.
    void statusLineAndDeletingAdjacentRows() {
        const std::string image = dir_.File("four.dsk");
        test::WriteTestImage(image, {{"A       TXT", 0x20, 1, 0, 0},
                                     {"B       TXT", 0x20, 1, 0, 0},
                                     {"C       TXT", 0x20, 1, 0, 0},
                                     {"D       TXT", 0x20, 1, 0, 0}});
        TestWindow w;
        QVERIFY(w.Open(image));
        QCOMPARE(w.window.StatusLine(), QStringLiteral("4 Object(s)"));
        for (std::size_t row : {1, 2, 3}) w.window.model().SetSelected(row, true);
        QCOMPARE(w.window.StatusLine(), QStringLiteral("3 Object(s) selected"));
        w.ui.answers = {IDYES, IDYES, IDYES};
        w.window.DispatchCommand(kMainWindow, cmd::kDelete);
        QCOMPARE(test::RowTexts(w.window), QStringList{"A.TXT"});
        QCOMPARE(w.window.StatusLine(), QStringLiteral("1 Object(s)"));
        w.ui.answers.push_back(IDNO);  // save the changes? no
        w.window.DispatchCommand(kMainWindow, cmd::kClose);
        QCOMPARE(w.window.StatusLine(), QStringLiteral("0 Object(s)"));
        QVERIFY(!w.window.CurrentView()->isEnabled());
    }

    // The mode lasts across images; switching keeps the rows and their order.
    void viewModes_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("listMode");
        QTest::addColumn<int>("iconSize");
        QTest::addColumn<int>("flow");
        QTest::newRow("icon") << cmd::kViewIcon << int(QListView::IconMode) << 32 << int(QListView::LeftToRight);
        QTest::newRow("small icon") << cmd::kViewSmallIcon << int(QListView::ListMode) << 16
                                    << int(QListView::LeftToRight);
        QTest::newRow("list") << cmd::kViewList << int(QListView::ListMode) << 16 << int(QListView::TopToBottom);
    }
    void viewModes() {
        QFETCH(int, command);
        QFETCH(int, listMode);
        QFETCH(int, iconSize);
        QFETCH(int, flow);
        TestWindow w;
        Prepare(w, State::Open, image_);
        const QStringList rows = test::RowTexts(w.window);
        w.window.DispatchCommand(kMainWindow, command);
        w.window.DispatchCommand(kMainWindow, cmd::kClose);
        QVERIFY(w.Open(image_));
        auto* view = qobject_cast<QListView*>(w.window.CurrentView());
        QVERIFY(view != nullptr);
        QCOMPARE(int(view->viewMode()), listMode);
        QCOMPARE(view->iconSize(), QSize(iconSize, iconSize));
        QCOMPARE(int(view->flow()), flow);
        QVERIFY(view->isEnabled() && view->isVisibleTo(&w.window));
        w.window.ContextMenu()->popup(QPoint(0, 0));  // any menu applies the check marks to all
        w.window.ContextMenu()->hide();
        for (int id : {cmd::kViewReport, cmd::kViewList, cmd::kViewIcon, cmd::kViewSmallIcon}) {
            QCOMPARE(w.window.MenuAction(id)->isChecked(), id == command);
        }
        w.window.DispatchCommand(kMainWindow, cmd::kViewReport);
        QCOMPARE(w.window.Mode(), ViewMode::Report);
        QCOMPARE(test::RowTexts(w.window), rows);
    }

    // Closing the window or Exit asks to save a modified image: Cancel keeps
    // both the window and the image.
    void closeWithSavePrompt_data() {
        QTest::addColumn<bool>("exitCommand");
        QTest::addColumn<int>("answer");
        QTest::newRow("close, Cancel") << false << IDCANCEL;
        QTest::newRow("close, No") << false << IDNO;
        QTest::newRow("Exit, Cancel") << true << IDCANCEL;
        QTest::newRow("Exit, No") << true << IDNO;
    }
    void closeWithSavePrompt() {
        QFETCH(bool, exitCommand);
        QFETCH(int, answer);
        TestWindow w;
        Prepare(w, State::Open, image_);
        w.window.show();
        w.s().doc.modified = true;
        w.ui.answers.push_back(answer);
        if (exitCommand) w.window.DispatchCommand(kMainWindow, cmd::kExit);
        else w.window.close();
        QCoreApplication::processEvents();
        QVERIFY(w.ui.Showed(LoadText(str::kSaveChanges), MB_YESNOCANCEL | MB_ICONQUESTION));
        QCOMPARE(w.window.isVisible(), answer == IDCANCEL);
        QCOMPARE(w.s().doc.IsOpen(), answer == IDCANCEL);
    }

    // Cells come from the slot each time, in the user's locale: a changed slot
    // shows without a refill. Names are code page 437.
    void cellsFromSlots() {
        TestWindow w;
        Prepare(w, State::Open, image_);
        FileListModel& m = w.window.model();
        auto cell = [&](int row, ListColumn column) { return m.data(m.index(row, int(column)), Qt::DisplayRole); };
        QCOMPARE(cell(0, ListColumn::Size).toString(), QStringLiteral("1,474,560"));
        std::uint8_t* slot = w.s().doc.data.get() + m.RowAt(0).slotOffset;
        slot[dir::kAttributes] = 0x04;
        QCOMPARE(cell(0, ListColumn::Attributes).toString(), QStringLiteral("   S "));
        m.SetRowText(0, "\x82T\x90.TXT");
        QCOMPARE(cell(0, ListColumn::Filename).toString(), QStringLiteral("\u00e9T\u00c9.TXT"));
        QVERIFY(m.data(m.index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey() !=
                m.data(m.index(1, 0), Qt::DecorationRole).value<QIcon>().cacheKey());
    }

    void modelChecker() {
        TestWindow w;
        QAbstractItemModelTester tester(&w.window.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        Prepare(w, State::Selection, image_);
        w.ui.answers.push_back(IDYES);
        w.window.DispatchCommand(kMainWindow, cmd::kDelete);
        w.ui.answers.push_back(IDNO);
        w.window.DispatchCommand(kMainWindow, cmd::kClose);
        QVERIFY(w.Open(image_));
        QCOMPARE(w.window.model().RowCount(), 4u);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
