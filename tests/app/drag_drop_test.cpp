// Drag and drop: local files dropped onto the window or either view of the list
// are opened or added in order, anything else is refused; rows dragged out with
// the left button are extracted into the drag folder and offered as file URLs,
// copy only, and dropped back they are added like any other files; Close takes
// the folder away.
#include <QDir>
#include <QAbstractItemView>
#include <QDrag>
#include <QtTest>

#include "app/commands.h"
#include "app/drag_drop.h"
#include "fat12/drag.h"
#include "floppy/transfer.h"
#include "platform/string_table.h"
#include "tests/app/app_test_support.h"

using namespace kv;
using namespace kv::app;
using kv::test::TestWindow;

namespace {

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

void NewImage(TestWindow& w) {
    NewImageDialog dialog;
    dialog.formats = FillFormatList(w.s().formats);
    QVERIFY(CreateNewImage(w.s(), dialog));
    w.ui.Clear();
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

class DragDropTest : public QObject {
    Q_OBJECT

    test::TempDir dir_;
    std::unique_ptr<test::ScopedEnvironment> tmp_;

    QString Host(const QString& name) const { return QString::fromStdString(dir_.File(name.toStdString())); }

    std::unique_ptr<QMimeData> FileUrls(const QStringList& names) const {
        std::vector<std::string> paths;
        for (const QString& name : names) paths.push_back(Host(name).toStdString());
        return DragOutData(paths);
    }

private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        tmp_ = std::make_unique<test::ScopedEnvironment>("TMPDIR", dir_.Path());  // drag folders land here
        unsigned seed = 1;
        for (const char* name : {"ONE.TXT", "TWO.TXT", "THREE.TXT"}) {
            test::WriteWholeFile(dir_.File(name), test::Pattern(700 * seed, seed));
            ++seed;
        }
        QVERIFY(QDir().mkdir(Host("SUB")));
        for (const char* name : {"A", "B", "C"}) {
            test::WriteTestImage(dir_.File(std::string(name) + ".dsk"),
                                 {{(std::string(name) + "       TXT").c_str(), 0x20, 0, 0, 0}});
        }
    }
    void cleanup() { QVERIFY(test::ScriptFollowed()); }

    // With no image the first path is opened and the rest ignored; onto an
    // image every path is added in order, up to the first that fails. Only a
    // copy of local files is taken, over the window or either view.
    void drops_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("onList");
        QTest::addColumn<QStringList>("files");  // empty: a drag of text and a web address
        QTest::addColumn<int>("actions");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("messages");
        const QStringList three = {"ONE.TXT", "TWO.TXT", "THREE.TXT"};
        const QStringList images = {"A.dsk", "B.dsk", "C.dsk"};
        const int any = int(kAnyAction);
        QTest::newRow("no image, three images on the window")
            << false << cmd::kViewReport << false << images << any << "copy" << QStringList{"A.TXT"} << 0;
        QTest::newRow("no image, three images on the (disabled) list")
            << false << cmd::kViewReport << true << images << any << "copy" << QStringList{"A.TXT"} << 0;
        QTest::newRow("three files on the window") << true << cmd::kViewReport << false << three << any << "copy"
                                                   << three << 0;
        QTest::newRow("three files on the report view")
            << true << cmd::kViewReport << true << three << any << "copy" << three << 0;
        QTest::newRow("three files on the icon view")
            << true << cmd::kViewIcon << true << three << any << "copy" << three << 0;
        QTest::newRow("the second fails: the third is not tried")
            << true << cmd::kViewList << true << QStringList{"ONE.TXT", "MISSING", "THREE.TXT"} << any << "copy"
            << QStringList{"ONE.TXT"} << 1;
        QTest::newRow("no file URLs: refused") << true << cmd::kViewReport << true << QStringList{} << any
                                               << "refused" << QStringList{} << 0;
        QTest::newRow("no file URLs, no image: refused")
            << false << cmd::kViewReport << false << QStringList{} << any << "refused" << QStringList{} << 0;
        QTest::newRow("files that may only be moved: refused")
            << true << cmd::kViewReport << true << three << int(Qt::MoveAction) << "refused" << QStringList{} << 0;
    }
    void drops() {
        QFETCH(bool, open);
        QFETCH(int, mode);
        QFETCH(bool, onList);
        QFETCH(QStringList, files);
        QFETCH(int, actions);
        QFETCH(QString, answer);
        QFETCH(QStringList, rows);
        QFETCH(int, messages);
        TestWindow w;
        if (open) NewImage(w);
        QAbstractItemView* view = View(w, mode);
        std::unique_ptr<QMimeData> data = FileUrls(files);
        if (files.isEmpty()) {
            data->setText(Host("ONE.TXT"));
            data->setUrls({QUrl(QStringLiteral("https://example.org/ONE.TXT"))});
        }
        QWidget* target = onList ? view->viewport() : &w.window;
        QVERIFY(target->acceptDrops());  // where a real drag over it is delivered
        QCOMPARE(Deliver(target, *data, Qt::DropActions(actions)), answer);
        QCOMPARE(test::RowTexts(w.window), rows);
        QCOMPARE(int(w.ui.messages.size()), messages);
        if (messages > 0) QVERIFY(w.ui.Last().text.find(Host("MISSING").toStdString()) != std::string::npos);
        QCOMPARE(w.s().doc.modified, open && !rows.isEmpty());
        QCOMPARE(w.s().doc.IsOpen(), open || answer == "copy");
    }

    // Rows dragged with the left button in either view: the files in the drag
    // folder, offered as their URLs with copy as the only action; a selection
    // with a folder gives string 56 and extracts nothing; the right button
    // drags nothing.
    void dragOut_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("report view, two files")
            << cmd::kViewReport << QList<int>{0, 2} << int(Qt::LeftButton) << QStringList{"ONE.TXT", "THREE.TXT"};
        QTest::newRow("icon view, two files")
            << cmd::kViewIcon << QList<int>{0, 2} << int(Qt::LeftButton) << QStringList{"ONE.TXT", "THREE.TXT"};
        QTest::newRow("a folder in the selection")
            << cmd::kViewReport << QList<int>{0, 1} << int(Qt::LeftButton) << QStringList{};
        QTest::newRow("right button") << cmd::kViewList << QList<int>{0, 2} << int(Qt::RightButton)
                                      << QStringList{};
    }
    void dragOut() {
        QFETCH(int, mode);
        QFETCH(QList<int>, selected);
        QFETCH(int, button);
        QFETCH(QStringList, offered);
        TestWindow w;
        NewImage(w);
        QCOMPARE(Deliver(&w.window, *FileUrls({"ONE.TXT", "SUB", "THREE.TXT"})), "copy");
        QAbstractItemView* view = View(w, mode);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        for (int row : selected) w.window.model().SetSelected(std::size_t(row), true);
        const QPoint from = view->visualRect(w.window.model().index(selected.last(), 0)).center();
        const QPoint step(QApplication::startDragDistance() + 1, 0);
        QTest::mousePress(view->viewport(), Qt::MouseButton(button), {}, from);
        QTest::mouseMove(view->viewport(), from + step);
        QTest::mouseMove(view->viewport(), from + 2 * step);
        QTest::mouseRelease(view->viewport(), Qt::MouseButton(button), {}, from + 2 * step);

        auto* drag = view->findChild<QDrag*>();  // exec has returned; it is deleted later
        QCOMPARE(drag != nullptr, !offered.isEmpty());
        const bool refused = offered.isEmpty() && button == Qt::LeftButton;
        QCOMPARE(w.s().dragFolder.has_value(), button == Qt::LeftButton);
        if (refused) {
            QVERIFY(w.ui.Showed(LoadText(str::kCannotDragOut), MB_ICONEXCLAMATION));
            QCOMPARE(FolderFiles(*w.s().dragFolder), QStringList{});
        }
        if (drag == nullptr) return;
        QCOMPARE(drag->supportedActions(), Qt::DropActions(Qt::CopyAction));
        QCOMPARE(drag->defaultAction(), Qt::CopyAction);
        const QString folder = QString::fromStdString(*w.s().dragFolder);
        QList<QUrl> urls;
        for (const QString& name : offered) {
            urls << QUrl::fromLocalFile(folder + "/" + name);
            QCOMPARE(test::ReadWholeFile((folder + "/" + name).toStdString()),
                     test::ReadWholeFile(Host(name).toStdString()));
        }
        QCOMPARE(drag->mimeData()->urls(), urls);
        QCOMPARE(FolderFiles(*w.s().dragFolder), QStringList({"ONE.TXT", "THREE.TXT"}));
        QCOMPARE(test::RowTexts(w.window), QStringList({"ONE.TXT", "SUB", "THREE.TXT"}));
    }

    // Files dragged out and dropped back onto the list are added like any
    // other drop (the same names: replaced after the question), not moved
    // within it. They stay in the folder until Close or Exit (whatever the
    // answer to the save prompt) or a permitted close of the window.
    void dropBackAndDiscard_data() {
        QTest::addColumn<int>("command");  // 0: the window is closed
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("discarded");
        QTest::newRow("Close") << cmd::kClose << IDNO << true;
        QTest::newRow("Close, cancelled") << cmd::kClose << IDCANCEL << true;
        QTest::newRow("Exit, cancelled") << cmd::kExit << IDCANCEL << true;
        QTest::newRow("window closed") << 0 << IDNO << true;
        QTest::newRow("window close cancelled") << 0 << IDCANCEL << false;
    }
    void dropBackAndDiscard() {
        QFETCH(int, command);
        QFETCH(int, answer);
        QFETCH(bool, discarded);
        TestWindow w;
        NewImage(w);
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
        QCOMPARE(test::RowTexts(w.window), QStringList({"ONE.TXT", "TWO.TXT", "THREE.TXT"}));
        QCOMPARE(FolderFiles(folder), QStringList({"ONE.TXT", "THREE.TXT"}));
        w.ui.answers = {answer};  // save the changes?
        if (command != 0) w.window.DispatchCommand(kMainWindow, command);
        else w.window.close();
        QCOMPARE(!w.s().dragFolder, discarded);
        QCOMPARE(QFileInfo::exists(QString::fromStdString(folder)), !discarded);
    }
};

QTEST_MAIN(DragDropTest)
#include "drag_drop_test.moc"
