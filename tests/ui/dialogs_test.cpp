// The desktop program's dialogs, property sheets and help viewer, driven
// through their entry points on the offscreen platform: enabling rules, OK
// paths, the sheets' fill and apply paths, and in each dialog the help topic
// and the names screen readers read. Messages are answered by the scripted Ui;
// the floppy is the fake drive of the floppy tests; the program folder is the
// one the build made, with the help and settings files.
#include <QtTest>
#include <QtWidgets>
#include <functional>

#include "document/boot_sector.h"
#include "fat12/directory.h"
#include "fat12/properties.h"
#include "platform/string_table.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"
#include "ui/desktop.h"

namespace kv::test {
namespace {

// A session with a blank 720 KB image (unless `image` is false) and a fake
// drive A: (unless `drive` is false).
struct Env {
    ScriptedUi ui;
    MemoryFileList list;
    EnglishLocale locale;
    Session s{ui, list, locale, ListRootDirectory};
    FakeFloppy fake;
    ScopedFloppyBackend installed{fake};
    QWidget main;  // the main window the dialogs belong to

    explicit Env(bool drive = true, bool image = true) {
        ui::SetProgramFolder(KORVANE_HELP_DIR);
        if (!drive) fake.drives.clear();
        if (image && BuildBlankImage(s, kMainWindow, 0xF9)) CreateMediaErrorList(s.doc.errors, 1440);
    }
    std::vector<std::uint8_t> Image() const {
        return s.doc.IsOpen() ? std::vector<std::uint8_t>(s.doc.data.get(), s.doc.data.get() + s.doc.size)
                              : std::vector<std::uint8_t>{};
    }
};

template <class W = QWidget>
W* Find(const QObject* parent, const char* name) {
    W* w = parent->findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) QTest::qFail(qPrintable(QStringLiteral("no widget ") + name), __FILE__, __LINE__);
    return w;
}
void Click(const QObject* parent, const char* name) {
    if (auto* b = Find<QAbstractButton>(parent, name)) b->click();
}
bool On(const QObject* parent, const char* name) { return Find(parent, name)->isEnabled(); }
QString Text(const QObject* parent, const char* name) { return Find(parent, name)->property("text").toString(); }

// Runs `act` on the modal dialog that the caller is about to run. A dialog
// still open after a failed check is closed, so that the test ends.
void WithModal(std::function<void(QWidget* dialog)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) return QTest::qFail("no modal dialog", __FILE__, __LINE__);
        act(dialog);
        while (QTest::currentTestFailed() && qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            qobject_cast<QDialog*>(QApplication::activeModalWidget())->done(0);
        }
    });
}

QWidget* Shown(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
    }
    return nullptr;
}

// The help viewer's topic: its anchor, "" for the contents, "none" without it.
QString Topic() {
    QWidget* viewer = Shown("helpViewer");
    return viewer == nullptr ? QStringLiteral("none") : Find<QTextBrowser>(viewer, "helpText")->source().fragment();
}

// Every control of `dialog` has an object name and a name for screen readers,
// and its Help button shows `topic` ("none": no help).
void NamesAndHelp(QWidget* dialog, const QString& topic) {
    QStringList unnamed;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w);
        const bool part = qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QTabBar*>(w->parentWidget()) ||
                          qobject_cast<QHeaderView*>(w) || w->isHidden() || w->window() != dialog;
        QAccessibleInterface* a = control && !part ? QAccessible::queryAccessibleInterface(w) : nullptr;
        if (a && (w->objectName().isEmpty() || a->text(QAccessible::Name).isEmpty())) {
            unnamed << QString::fromLatin1(w->metaObject()->className()) + "#" + w->objectName();
        }
    }
    QCOMPARE(unnamed, QStringList{});
    Click(dialog, "help");
    QCOMPARE(dialog->objectName() + " " + Topic(), dialog->objectName() + " " + topic);
    ScriptedUi quiet;
    ui::ShowHelp(quiet, kMainWindow, ui::HelpCommand::Quit);
}

// The file entry NAME.EXT of 29 March 2005, 12:34:56, in root slot `index`.
std::uint8_t* PutEntry(Session& s, int index, const char* name11, std::uint8_t attributes, std::uint32_t size) {
    std::uint8_t* slot = s.doc.Volume() + RootStartSector(s.doc.geometry) * 512 + index * 32;
    DirEntry e{};
    std::memcpy(e.name, name11, 8);
    std::memcpy(e.extension, name11 + 8, 3);
    e.attributes = attributes;
    e.date = (25 << 9) | (3 << 5) | 29;
    e.time = (12 << 11) | (34 << 5) | 28;
    e.size = size;
    WriteDirEntry(slot, e);
    return slot;
}

QStringList Rows(QWidget* sheet) {
    QStringList rows;
    auto* list = Find<QTreeWidget>(sheet, "badSectors");
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    return rows;
}

void ShowTab(QWidget* sheet, const char* page) {
    Find<QTabWidget>(sheet, "pages")->setCurrentWidget(Find(sheet, page));
}

// Presses Add on the Errors page and OK in the Add sector dialog for each text.
void AddSector(QWidget* sheet, const QStringList& typed) {
    WithModal([typed](QWidget* add) {
        NamesAndHelp(add, "1005");
        auto* combo = Find<QComboBox>(add, "sector");
        QCOMPARE(combo->count(), 1440);
        for (const QString& text : typed) {
            combo->setEditText(text);
            Click(add, "ok");
        }
        QVERIFY(!add->isVisible());
    });
    Click(sheet, "add");
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        // The scripted Ui reports an unscripted question as a failure outside any test.
        static int seen = 0;
        const int failures = ::testing::UnitTest::GetInstance()->ad_hoc_test_result().total_part_count();
        QCOMPARE(failures, seen);
        seen = failures;
        ScriptedUi quiet;
        ui::ShowHelp(quiet, kMainWindow, ui::HelpCommand::Quit);
    }

    // The New disk-image dialog's check boxes (a drive listed); without a drive
    // no copying and the focus on the format box; OK makes a blank image of
    // the chosen line (720 KB at first).
    void newImage() {
        const struct {
            QStringList clicks;
            QList<bool> expected;  // copy checked, drives on, format checked, formats on
        } rules[] = {{{}, {false, false, true, true}},
                     {{"copyFromDisk"}, {true, true, false, false}},
                     {{"copyFromDisk", "useFormat"}, {true, true, true, true}},
                     {{"copyFromDisk", "copyFromDisk"}, {false, false, false, false}},
                     {{"useFormat"}, {false, false, false, false}}};
        for (const auto& rule : rules) {
            Env env(true, false);
            QList<bool> seen;
            WithModal([&](QWidget* d) {
                for (const QString& name : rule.clicks) Click(d, qPrintable(name));
                seen = {Find<QCheckBox>(d, "copyFromDisk")->isChecked(), On(d, "drives"),
                        Find<QCheckBox>(d, "useFormat")->isChecked(), On(d, "formats")};
                NamesAndHelp(d, "1001");
                Click(d, "cancel");
            });
            QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 0);
            QCOMPARE(seen, rule.expected);
        }
        for (int line : {-1, 8}) {
            Env env(false, false);
            WithModal([&](QWidget* d) {
                QVERIFY(!On(d, "copyFromDisk") && !On(d, "drives"));
                QCOMPARE(d->focusWidget(), Find(d, "useFormat"));
                if (line >= 0) Find<QComboBox>(d, "formats")->setCurrentIndex(line);
                Click(d, "ok");
            });
            QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 1);
            QCOMPARE(env.s.doc.geometry.mediaByte, line < 0 ? 0xF9u : 0xFFu);
            QVERIFY(env.ui.messages.empty());
        }
    }

    // Reading a floppy: string 52 first (No keeps the dialog open), then the
    // progress window over the disabled dialog; its Cancel (once) discards the read.
    void readFloppy() {
        const struct {
            int answer;
            bool cancel;
            int result, reads;
        } cases[] = {{IDNO, false, 0, 0}, {IDYES, false, 1, 1440}, {IDYES, true, 0, 2}};
        for (const auto& c : cases) {
            Env env;
            env.fake.disk = env.Image();
            env.s.doc = ImageDocument{};
            env.ui.answers = {c.answer};
            QStringList progress;  // title, drive line, the dialog's OK, Cancel after pressing it
            bool stillOpen = false;
            WithModal([&](QWidget* d) {
                Click(d, "copyFromDisk");
                if (c.answer == IDYES) {
                    QTimer::singleShot(0, [&, d] {  // when the transfer first lets events through
                        QWidget* window = Shown("progress");
                        for (int press = 0; c.cancel && press < 2; ++press) Click(window, "cancel");
                        progress << window->windowTitle() << Text(window, "driveText")
                                 << (On(d, "ok") ? "ok on" : "ok off") << (On(window, "cancel") ? "on" : "off");
                    });
                }
                Click(d, "ok");
                stillOpen = d->isVisible();
                if (stillOpen) QVERIFY(On(d, "ok"));  // enabled again after the transfer
                if (stillOpen) Click(d, "cancel");
            });
            QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), c.result);
            QCOMPARE(stillOpen, c.result == 0);
            QCOMPARE(env.ui.Texts(), std::vector<std::string>{LoadText(str::kReadDiskWarning)});
            QCOMPARE(env.fake.Count("read "), c.reads);
            QCOMPARE(env.Image() == env.fake.disk, c.result == 1);
            if (c.answer == IDYES) {
                QCOMPARE(progress, (QStringList{"Reading disk", "Disk in A:, capacity is 720 KBytes", "ok off",
                                                c.cancel ? "off" : "on"}));
            }
            QVERIFY(Shown("progress") == nullptr);
        }
    }

    // "Custom...": the media byte in capitals and the capacities as the user
    // types; a refused geometry keeps the dialog open, the confirmed one makes
    // the image.
    void customFormat() {
        Env env(false, false);
        QStringList seen;
        WithModal([&](QWidget* d) {
            Find<QComboBox>(d, "formats")->setCurrentIndex(9);
            WithModal([&](QWidget* custom) {
                NamesAndHelp(custom, "1007");
                auto* media = Find<QLineEdit>(custom, "media");
                media->clear();
                QTest::keyClicks(media, "f9");
                seen << media->text();
                for (const char* sectors : {"16384", "1", "1440"}) {  // too many clusters, none, a FAT12 volume
                    Find<QLineEdit>(custom, "sectors")->setText(sectors);
                    seen << Text(custom, "total") + "/" + Text(custom, "formatted");
                    Click(custom, "ok");
                    seen << (custom->isVisible() ? "open" : "closed");
                }
            });
            Click(d, "ok");
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 1);
        QCOMPARE(seen, (QStringList{"F9", "8192/8173", "open", "1/0", "open", "720/701", "closed"}));
        QCOMPARE(env.ui.messages.size(), std::size_t{2});
        QCOMPARE(env.s.doc.size, 1440u * 512);
        QCOMPARE(env.s.doc.geometry.mediaByte, 0xF9u);
    }

    // Write to disk: without a drive only Cancel and Help work; with one, OK
    // writes every sector, after formatting every track when asked.
    void writeToDisk() {
        for (auto [drive, format] : {std::pair{false, false}, {true, false}, {true, true}}) {
            Env env(drive);
            QString title;
            WithModal([&, drive = drive, format = format](QWidget* d) {
                auto* box = Find<QCheckBox>(d, "formatDisk");
                QVERIFY(!box->isChecked());
                QCOMPARE(On(d, "ok"), drive);
                QCOMPARE(On(d, "drives"), drive);
                if (!drive) QCOMPARE(d->focusWidget(), Find(d, "cancel"));
                NamesAndHelp(d, "1006");
                box->setChecked(format);
                if (drive) QTimer::singleShot(0, [&] { title = Shown("progress")->windowTitle(); });
                Click(d, drive ? "ok" : "cancel");
            });
            QCOMPARE(ui::RunWriteDialog(&env.main, env.s), drive ? 1 : 0);
            QCOMPARE(env.fake.Count("format "), format ? 160 : 0);
            QCOMPARE(env.fake.disk == env.Image(), drive);
            QCOMPARE(title, drive ? QStringLiteral("Write to disk") : QString());
        }
    }

    // The General page shows the entry; the attribute boxes reach it on OK or
    // Apply only, and the sheet's result says whether they did.
    void fileProperties() {
        const struct {
            QStringList clicks;
            int attributes, result;
        } cases[] = {{{"ok"}, 0x21, 0},
                     {{"hidden", "ok"}, 0x23, 1},
                     {{"hidden", "cancel"}, 0x21, 0},
                     {{"hidden", "apply", "cancel"}, 0x23, 1},
                     {{"readOnly", "hidden", "archive", "system", "ok"}, 0x06, 1}};
        for (const auto& c : cases) {
            Env env;
            std::uint8_t* slot = PutEntry(env.s, 0, "A       TXT", 0x21, 1536);
            QStringList fields;
            WithModal([&](QWidget* sheet) {
                fields << sheet->windowTitle();
                for (const char* name : {"name", "type", "location", "size", "date"}) fields << Text(sheet, name);
                QVERIFY(!On(sheet, "apply"));
                NamesAndHelp(sheet, "1002");
                for (const QString& name : c.clicks) {
                    Click(sheet, qPrintable(name));
                    if (name != "ok" && name != "cancel") QCOMPARE(On(sheet, "apply"), name != "apply");
                }
            });
            QCOMPARE(ui::ShowFileProperties(&env.main, env.s, slot, "A.TXT"), c.result);
            QCOMPARE(fields, (QStringList{"A.TXT Properties", "A.TXT", "Text document", "\\",
                                          "1.50 KB (1,536 Byte), 2,048 Byte allocated",
                                          "Tuesday, March 29, 2005 12:34:56 PM"}));
            QCOMPARE(int{slot[11]}, c.attributes);
            QCOMPARE(env.s.doc.modified, c.attributes != 0x21);
        }
    }

    // The image sheet's pages, filled when first shown: the Volume figures and
    // the label as typed, the Errors page disabled without a list, the Media
    // page without Help. A full root directory refuses a new label with string
    // 31 and the sheet stays open on the Volume page, the image unchanged.
    void imagePages() {
        for (bool withMedia : {false, true}) {
            Env env;
            if (withMedia) env.s.doc.errors = MediaErrorList{};
            QStringList seen;
            WithModal([&](QWidget* sheet) {
                QTabWidget* tabs = Find<QTabWidget>(sheet, "pages");
                for (int i = 0; i < tabs->count(); ++i) seen << tabs->widget(i)->objectName();
                seen << Text(sheet, "used") << Text(sheet, "free") << Text(sheet, "total");
                QCOMPARE(Find<QLineEdit>(sheet, "label")->maxLength(), 11);
                QVERIFY(sheet->findChild<QWidget*>("badSectors") == nullptr);
                NamesAndHelp(sheet, "1003");
                if (!withMedia) QTest::keyClicks(Find(sheet, "label"), "games");
                QCOMPARE(On(sheet, "apply"), !withMedia);
                ShowTab(sheet, "errors");
                QCOMPARE(On(sheet, "add"), !withMedia);
                NamesAndHelp(sheet, "1004");
                if (withMedia) {
                    ShowTab(sheet, "media");
                    seen << Text(sheet, "sectors") << Text(sheet, "sectorsPerCluster");
                    QVERIFY(!On(sheet, "harddisk") && !On(sheet, "help"));
                    NamesAndHelp(sheet, "none");
                }
                Click(sheet, "ok");
            });
            QCOMPARE(ui::ShowImageProperties(&env.main, env.s, withMedia), withMedia ? 0 : 1);
            QCOMPARE(seen.join(' '),
                     withMedia ? "volume errors media 0 730,112 737,280 1440 2" : "volume errors 0 730,112 737,280");
            QCOMPARE(FillVolumePage(env.s.doc, env.locale).label, std::string(withMedia ? "" : "games"));
        }
        Env full;
        for (int i = 0; i < 112; ++i) PutEntry(full.s, i, "FILE    TXT", 0x20, 0);
        const std::vector<std::uint8_t> before = full.Image();
        QString shownAfterOk;
        WithModal([&](QWidget* sheet) {
            Find<QLineEdit>(sheet, "label")->setText("FULL");
            ShowTab(sheet, "errors");
            Click(sheet, "ok");
            if (sheet->isVisible()) shownAfterOk = Find<QTabWidget>(sheet, "pages")->currentWidget()->objectName();
            Click(sheet, "cancel");
        });
        QCOMPARE(ui::ShowImageProperties(&full.main, full.s, false), 0);
        QCOMPARE(shownAfterOk, QStringLiteral("volume"));
        QVERIFY(full.ui.Showed(LoadText(str::kLabelNoSlot), MB_ICONHAND));
        QVERIFY(full.Image() == before);
    }

    // The Errors page: Add through the Add sector dialog (strings 41 and 40,
    // "12abc" taken as 12), rows appended unsorted until the sheet is opened
    // again, Edit and Remove only with a selected row, Apply.
    void errorsPage() {
        Env env;
        MarkBadSector(env.s.doc.errors, 7);
        QStringList rows;
        WithModal([&](QWidget* sheet) {
            ShowTab(sheet, "errors");
            AddSector(sheet, {"1440", "99999999999", "abc", "5"});
            rows << Rows(sheet);
            Click(sheet, "ok");
        });
        QVERIFY(ui::ShowImageProperties(&env.main, env.s, false) >= 1);
        QCOMPARE(env.ui.Texts(), (std::vector<std::string>{LoadText(41), LoadText(41), LoadText(40)}));

        env.ui.Clear();
        WithModal([&](QWidget* sheet) {
            ShowTab(sheet, "errors");
            rows << Rows(sheet);
            AddSector(sheet, {"12abc"});
            auto* list = Find<QTreeWidget>(sheet, "badSectors");
            QVERIFY(!On(sheet, "edit") && !On(sheet, "remove"));
            list->setCurrentItem(list->topLevelItem(1));
            QVERIFY(On(sheet, "edit") && On(sheet, "remove"));
            list->clearSelection();
            QVERIFY(!On(sheet, "edit") && !On(sheet, "remove"));
            list->setCurrentItem(list->topLevelItem(1));
            Click(sheet, "edit");
            Click(sheet, "remove");
            rows << Rows(sheet);
            QVERIFY(!On(sheet, "edit") && !On(sheet, "remove"));
            Click(sheet, "apply");
            Click(sheet, "cancel");
        });
        QVERIFY(ui::ShowImageProperties(&env.main, env.s, false) >= 1);
        QCOMPARE(rows, (QStringList{"7", "5", "5", "7", "5", "12"}));
        QVERIFY(env.ui.Showed("Edit not implemented yet!", MB_ICONEXCLAMATION));
        QCOMPARE(FillErrorsPage(env.s.doc).rows, (std::vector<std::string>{"5", "12"}));
    }

    // Without KORVANE.HLP string 9; the one the build put beside the program
    // has a section for every context number and opens on its contents.
    void help() {
        Env env(true, false);
        TempDir empty;
        ui::SetProgramFolder(empty.Path());
        QVERIFY(!ui::ShowHelp(env.ui, ui::RefOf(&env.main), ui::HelpCommand::Finder));
        QVERIFY(env.ui.Showed("Oops: failed to display help!", MB_OK | MB_ICONEXCLAMATION));
        QCOMPARE(env.ui.Last().owner, ui::RefOf(&env.main));
        QCOMPARE(Topic(), QStringLiteral("none"));
        ui::SetProgramFolder(KORVANE_HELP_DIR);
        QFile file(QString::fromStdString(ui::HelpFilePath()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (int context = 1001; context <= 1007; ++context) {
            const QString anchor = QStringLiteral("<a name=\"%1\">").arg(context);
            QVERIFY2(html.contains(anchor), qPrintable(anchor));
        }
        QVERIFY(ui::ShowHelp(env.ui, kMainWindow, ui::HelpCommand::Finder));
        QCOMPARE(Topic(), QString());
    }
};

}  // namespace kv::test

QTEST_MAIN(kv::test::DialogsTest)
#include "dialogs_test.moc"
