// Drag and drop: local files dropped onto the window or either view of the list
// are opened or added in order, anything else is refused; rows dragged out with
// the left button are extracted into the drag folder and offered as file URLs,
// copy only, and dropped back they are added like any other files; Close takes
// the folder away.
#include <QAbstractItemView>
#include <QDir>
#include <QDrag>
#include <QtTest>

#include "app/commands.h"
#include "app/drag_drop.h"
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
                                 {{(std::string(name) + "       TXT").c_str(), 0x20, 0}});
        }
    }
    void cleanup() { QVERIFY(test::ScriptFollowed()); }

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
                QCOMPARE(test::RowTexts(w.window), open ? three : QStringList{"A.TXT"});
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
            QCOMPARE(drag->defaultAction(), Qt::CopyAction);
            const QString folder = QString::fromStdString(*w.s().dragFolder);
            QList<QUrl> urls;
            for (const QString& name : row.offered) {
                urls << QUrl::fromLocalFile(folder + "/" + name);
                QCOMPARE(test::ReadWholeFile((folder + "/" + name).toStdString()),
                         test::ReadWholeFile(Host(name).toStdString()));
            }
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
        } rows[] = {{cmd::kClose, IDNO, true},  {cmd::kClose, IDCANCEL, true}, {cmd::kExit, IDCANCEL, true},
                    {cmd::kExit, IDNO, true},   {0, IDNO, true},                {0, IDCANCEL, false}};
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
            QCOMPARE(test::RowTexts(w.window), QStringList({"ONE.TXT", "TWO.TXT", "THREE.TXT"}));
            w.ui.Clear();
            w.ui.answers = {row.answer};
            if (row.command != 0) w.window.DispatchCommand(kMainWindow, row.command);
            else w.window.close();
            QCoreApplication::processEvents();
            QVERIFY(w.ui.Showed(LoadText(str::kSaveChanges), MB_YESNOCANCEL | MB_ICONQUESTION));
            QCOMPARE(w.window.isVisible(), row.answer == IDCANCEL || row.command == cmd::kClose);
            QCOMPARE(w.s().doc.IsOpen(), row.answer == IDCANCEL);
            QCOMPARE(!w.s().dragFolder, row.discarded);
            QCOMPARE(QFileInfo::exists(QString::fromStdString(folder)), !row.discarded);
        }
    }
};

QTEST_MAIN(DragDropTest)
#include "drag_drop_test.moc"
