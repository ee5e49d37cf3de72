// The main window: the enabling and check rules and the shortcuts they gate,
// renaming in place, the status line, view modes, closing with the save prompt,
// and the list model's cells.
#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>
#include <set>

#include "app/commands.h"
#include "fat12/directory.h"
#include "platform/string_table.h"
#include "tests/app/app_test_support.h"

using namespace kv;
using namespace kv::app;
using kv::test::TestWindow;

namespace {

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

}  // namespace

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

    // Every item's enabled state and check mark as a menu opens, the context
    // menu's too; a shortcut acts only when its item is enabled, the
    // context-menu keys whenever an image is open.
    void enablingRulesAndShortcuts() {
        const std::set<int> always = {cmd::kNew, cmd::kOpen, cmd::kExit, cmd::kHelp, cmd::kAbout, cmd::kOriginalOrder};
        const std::set<int> withImage = {cmd::kSaveAs,  cmd::kWriteToDisk, cmd::kClose,    cmd::kImageProperties,
                                         cmd::kAddFile, cmd::kViewReport,  cmd::kViewList, cmd::kViewIcon,
                                         cmd::kViewSmallIcon};
        const std::set<int> withSelection = {cmd::kFileProperties, cmd::kExtractFile, cmd::kDelete, cmd::kRename};
        const QKeyCombination del(Qt::Key_Delete), ctrlS(Qt::CTRL | Qt::Key_S);
        const struct {
            State state;
            bool image, save, selection;
            std::vector<std::pair<QKeyCombination, QString>> keys;  // and what each one brings up
        } rows[] = {{NoImage, false, false, false, {{ctrlS, ""}, {QKeyCombination(Qt::Key_Menu), ""}, {Qt::CTRL | Qt::Key_O, "file dialog"}}},
                    {NewImage, true, false, false, {{ctrlS, ""}}},  // no file yet
                    {ReadOnly, true, false, false, {{ctrlS, ""}}},
                    {Open, true, true, false, {{del, ""}, {Qt::SHIFT | Qt::Key_F10, "context menu"}}},
                    {Selection, true, true, true, {{del, "question"}}}};
        for (const auto& row : rows) {
            TestWindow w;
            Prepare(w, row.state, image_);
            auto enabled = [&](int id) {
                return always.count(id) || (row.image && withImage.count(id)) || (row.save && id == cmd::kSave) ||
                       (row.selection && withSelection.count(id));
            };
            QMenu* file = w.window.menuBar()->actions().first()->menu();
            file->popup(QPoint(0, 0));
            for (int id = cmd::kNew; id <= cmd::kWriteToDisk; ++id) {
                if (QAction* item = w.window.MenuAction(id)) {
                    QVERIFY2(item->isEnabled() == enabled(id), qPrintable(QStringLiteral("%1/%2").arg(row.state).arg(id)));
                    QCOMPARE(item->isChecked(), id == cmd::kOriginalOrder || id == cmd::kViewReport);
                }
            }
            file->hide();
            for (QAction* item : w.window.ContextMenu()->actions()) {
                if (!item->isSeparator()) QCOMPARE(item->isEnabled(), enabled(item->data().toInt()));
            }
            ShowActive(w.window);
            for (const auto& [key, effect] : row.keys) {
                if (effect == "file dialog") w.ui.WillCancelDialog();
                if (effect == "question") w.ui.answers.push_back(IDNO);
                Press(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &w.window, key);
                QStringList seen;
                if (!w.ui.fileRequests.empty()) seen << "file dialog";
                if (!w.ui.messages.empty()) seen << "question";
                if (w.window.ContextMenu()->isVisible()) seen << "context menu";
                const QString at = QKeySequence(key).toString() + QStringLiteral(" in state %1: ").arg(row.state);
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
            if (row.focus >= 0) selection->setCurrentIndex(w.window.model().index(row.focus, 0), {});
            else selection->clearCurrentIndex();
            const int edited = std::max(row.focus, 0);
            const QString before = test::RowTexts(w.window).at(edited);
            w.window.DispatchCommand(kMainWindow, cmd::kRename);
            auto* editor = w.window.findChild<QLineEdit*>(QStringLiteral("nameEditor"));
            QVERIFY(editor != nullptr && w.window.LabelEditActive());
            editor->setCursorPosition(0);  // a shortcut reaching the window would open a dialog or menu
            for (QKeyCombination k : {QKeyCombination(Qt::Key_Delete), Qt::CTRL | Qt::Key_O, QKeyCombination(Qt::Key_Menu)}) {
                Press(editor, k);
            }
            QCOMPARE(editor->text(), before.mid(1));
            QVERIFY(!w.window.ContextMenu()->isVisible());
            editor->setText(row.typed);
            QTest::keyClick(editor, row.key);
            QTRY_VERIFY(!w.window.LabelEditActive());
            QCoreApplication::processEvents();  // the rename follows the editor's close
            QCOMPARE(test::RowTexts(w.window).at(edited), row.row);
            const std::uint8_t* slot = w.s().doc.data.get() + w.window.model().RowAt(edited).slotOffset;
            QCOMPARE(QString::fromStdString(DisplayName(slot)), row.row);
            const bool refused = row.typed.contains('*');
            QCOMPARE(w.s().doc.modified, !refused && row.key != Qt::Key_Escape);
            if (refused) QVERIFY(w.ui.Showed(LoadText(str::kNameCharacters), MB_ICONHAND));
            else QVERIFY(w.ui.messages.empty());
        }
    }

    // The status line follows the selection, each removal and the close; the
    // delete walk steps back after each removed row, so none is skipped. The
    // model keeps Qt's rules all along.
    void statusLineAndDeletingAdjacentRows() {
        const std::string image = dir_.File("four.dsk");
        test::WriteTestImage(image, {{"A       TXT", 0x20, 1}, {"B       TXT", 0x20, 1}, {"C       TXT", 0x20, 1},
                                     {"D       TXT", 0x20, 1}});
        TestWindow w;
        QAbstractItemModelTester tester(&w.window.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
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
            const QStringList rowTexts = test::RowTexts(w.window);
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
            QCOMPARE(test::RowTexts(w.window), rowTexts);
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
        w.s().doc.data.get()[m.RowAt(0).slotOffset + dir::kAttributes] = 0x04;
        QCOMPARE(cell(0, ListColumn::Attributes).toString(), QStringLiteral("   S "));
        m.SetRowText(0, "\x82T\x90.TXT");
        QCOMPARE(cell(0, ListColumn::Filename).toString(), QStringLiteral("\u00e9T\u00c9.TXT"));
        QVERIFY(m.data(m.index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey() !=
                m.data(m.index(1, 0), Qt::DecorationRole).value<QIcon>().cacheKey());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
