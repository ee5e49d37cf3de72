// The file and image properties sheets: what they show, and what OK, Apply and
// Cancel change.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTreeWidget>

#include "document/media_errors.h"
#include "fat12/properties.h"
#include "platform/string_table.h"
#include "tests/ui/ui_test.h"

namespace kv::test {
namespace {

// Writes a file entry NAME.EXT into root slot `index` of the open image.
std::uint8_t* PutEntry(Session& s, int index, const char* name11, std::uint8_t attributes, std::uint32_t size) {
    std::uint8_t* slot = s.doc.Volume() + RootStartSector(s.doc.geometry) * 512 + index * 32;
    DirEntry e{};
    std::memcpy(e.name, name11, 8);
    std::memcpy(e.extension, name11 + 8, 3);
    e.attributes = attributes;
    e.date = (25 << 9) | (3 << 5) | 29;  // 2005-03-29
    e.time = (12 << 11) | (34 << 5) | 28;  // 12:34:56
    e.size = size;
    WriteDirEntry(slot, e);
    return slot;
}

QString Text(QWidget* parent, const char* name) { return Find<QLineEdit>(parent, name)->text(); }

QStringList Rows(QWidget* sheet) {
    QStringList rows;
    auto* list = Find<QTreeWidget>(sheet, "badSectors");
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    return rows;
}

QTabWidget* Tabs(QWidget* sheet) { return Find<QTabWidget>(sheet, "pages"); }

void ShowTab(QWidget* sheet, const char* page) { Tabs(sheet)->setCurrentWidget(Find<QWidget>(sheet, page)); }

// Types `text` into the Add sector dialog and presses OK.
void AddSector(QWidget* sheet, const QStringList& typed) {
    WithModal([typed](QWidget* add) {
        auto* combo = Find<QComboBox>(add, "sector");
        QCOMPARE(combo->count(), 1440);
        QCOMPARE(combo->itemText(1439), QStringLiteral("1439"));
        for (const QString& text : typed) {
            combo->setEditText(text);
            Click(add, "ok");
        }
        QVERIFY(!add->isVisible());
    });
    Click(sheet, "add");
}

}  // namespace

class SheetsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(NoUnexpectedQuestion()); }

    // The General page shows the entry; the attribute boxes reach it on OK or
    // Apply only.
    void fileProperties_data() {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<int>("attributes");
        QTest::addColumn<int>("result");
        QTest::newRow("OK unchanged") << QStringList{"ok"} << 0x21 << 0;
        QTest::newRow("hidden, OK") << QStringList{"hidden", "ok"} << 0x23 << 1;
        QTest::newRow("hidden, Cancel") << QStringList{"hidden", "cancel"} << 0x21 << 0;
        QTest::newRow("hidden, Apply, Cancel") << QStringList{"hidden", "apply", "cancel"} << 0x23 << 1;
        QTest::newRow("all four, OK") << QStringList{"readOnly", "hidden", "archive", "system", "ok"} << 0x06 << 1;
    }
    void fileProperties() {
        QFETCH(QStringList, clicks);
        QFETCH(int, attributes);
        QFETCH(int, result);
        UiEnv env;
        env.NewBlankImage(0xF9);
        env.s.doc.modified = false;
        WriteWholeFile(env.dir.File("KORVANE.INI"), {'[', 'E', 'x', 't', 'e', 'n', 's', 'i', 'o', 'n', 's', ']', '\n',
                                                     't', 'x', 't', '=', 'T', 'e', 'x', 't', '\n'});
        std::uint8_t* slot = PutEntry(env.s, 0, "A       TXT", 0x21, 1536);
        QStringList fields;
        WithModal([&](QWidget* sheet) {
            fields << sheet->windowTitle();
            for (const char* name : {"name", "type", "location", "size", "date"}) fields << Text(sheet, name);
            auto* apply = Find<QWidget>(sheet, "apply");
            QVERIFY(!apply->isEnabled());
            for (const QString& name : clicks) {
                Click(sheet, qPrintable(name));
                if (name == "hidden") QVERIFY(apply->isEnabled());
                if (name == "apply") QVERIFY(!apply->isEnabled());
            }
        });
        QCOMPARE(ui::ShowFileProperties(&env.main, env.s, slot, "A.TXT"), result);
        QCOMPARE(fields, (QStringList{"A.TXT Properties", "A.TXT", "Text", "\\",
                                      "1.50 KB (1,536 Byte), 2,048 Byte allocated",
                                      "Tuesday, March 29, 2005 12:34:56 PM"}));
        QCOMPARE(int{slot[11]}, attributes);
        QCOMPARE(env.s.doc.modified, attributes != 0x21);
    }

    // The pages the sheet has, which of them has Help, and the values of the
    // Volume and Media pages; a page is filled when it is first shown.
    void imagePages_data() {
        QTest::addColumn<bool>("withMedia");
        QTest::addColumn<bool>("hasList");
        QTest::addColumn<QString>("pages");
        QTest::newRow("ordinary") << false << true << "volume errors";
        QTest::newRow("no list, Shift held") << true << false << "volume errors media";
    }
    void imagePages() {
        QFETCH(bool, withMedia);
        QFETCH(bool, hasList);
        QFETCH(QString, pages);
        UiEnv env;
        env.NewBlankImage(0xF9);
        if (!hasList) env.s.doc.errors = MediaErrorList{};
        QStringList seen, volume;
        WithModal([&](QWidget* sheet) {
            QCOMPARE(sheet->windowTitle(), QStringLiteral("Disk-image properties"));
            QTabWidget* tabs = Tabs(sheet);
            for (int i = 0; i < tabs->count(); ++i) seen << tabs->widget(i)->objectName();
            for (const char* name : {"used", "free", "total"}) volume << Text(sheet, name);
            QCOMPARE(Find<QLineEdit>(sheet, "label")->maxLength(), 11);
            if (tabs->count() > 1) {
                QVERIFY(sheet->findChild<QWidget*>("badSectors") == nullptr);
                ShowTab(sheet, "errors");
                QCOMPARE(Find<QWidget>(sheet, "add")->isEnabled(), hasList);
                QVERIFY(!Find<QWidget>(sheet, "remove")->isEnabled());
                QVERIFY(Find<QWidget>(sheet, "help")->isEnabled());
            }
            if (withMedia) {
                ShowTab(sheet, "media");
                QCOMPARE(Text(sheet, "sectors"), QStringLiteral("1440"));
                QCOMPARE(Text(sheet, "sectorsPerCluster"), QStringLiteral("2"));
                auto* harddisk = Find<QCheckBox>(sheet, "harddisk");
                QVERIFY(!harddisk->isEnabled() && !harddisk->isChecked());
                QVERIFY(!Find<QWidget>(sheet, "help")->isEnabled());
            }
            Click(sheet, "ok");
        });
        QCOMPARE(ui::ShowImageProperties(&env.main, env.s, withMedia), 0);
        QCOMPARE(seen.join(' '), pages);
        QCOMPARE(volume, (QStringList{"0", "730,112", "737,280"}));
        QVERIFY(!env.s.doc.modified);
    }

    // The label as typed; a full root directory refuses it with string 31 and
    // the sheet stays open on the Volume page.
    void volumeLabel() {
        UiEnv env;
        env.NewBlankImage(0xF9);
        WithModal([&](QWidget* sheet) {
            QTest::keyClicks(Find<QLineEdit>(sheet, "label"), "games");
            QVERIFY(Find<QWidget>(sheet, "apply")->isEnabled());
            Click(sheet, "ok");
        });
        QCOMPARE(ui::ShowImageProperties(&env.main, env.s, false), 1);
        QCOMPARE(FillVolumePage(env.s.doc, env.locale).label, std::string("games"));

        UiEnv full;
        full.NewBlankImage(0xF9);
        for (int i = 0; i < 112; ++i) PutEntry(full.s, i, "FILE    TXT", 0x20, 0);
        const std::vector<std::uint8_t> before = full.Image();
        bool open = false;
        QWidget* page = nullptr;
        WithModal([&](QWidget* sheet) {
            Find<QLineEdit>(sheet, "label")->setText("FULL");
            ShowTab(sheet, "errors");
            Click(sheet, "ok");
            open = sheet->isVisible();
            page = Tabs(sheet)->currentWidget();
            QCOMPARE(page->objectName(), QStringLiteral("volume"));
            Click(sheet, "cancel");
        });
        QCOMPARE(ui::ShowImageProperties(&full.main, full.s, false), 0);
        QVERIFY(open);
        QVERIFY(full.ui.Showed(LoadText(str::kLabelNoSlot), MB_ICONHAND));
        QVERIFY(full.Image() == before);
    }

    // The Errors page: Add through the Add sector dialog (refusals 41 and 40,
    // "12abc" taken as 12), rows appended unsorted until the sheet is opened
    // again, Edit's message, Remove of the selected row.
    void errorsPage() {
        UiEnv env;
        env.NewBlankImage(0xF9);
        MarkBadSector(env.s.doc.errors, 7);
        QStringList rows;
        WithModal([&](QWidget* sheet) {
            ShowTab(sheet, "errors");
            AddSector(sheet, {"1440", "99999999999", "abc", "5"});
            rows = Rows(sheet);
            QVERIFY(Find<QWidget>(sheet, "apply")->isEnabled());
            Click(sheet, "ok");
        });
        QVERIFY(ui::ShowImageProperties(&env.main, env.s, false) >= 1);
        QCOMPARE(rows, (QStringList{"7", "5"}));
        QCOMPARE(env.ui.Texts(), (std::vector<std::string>{LoadText(41), LoadText(41), LoadText(40)}));
        QCOMPARE(env.ui.Last().style, std::uint32_t{MB_ICONHAND});

        env.ui.Clear();
        QStringList reopened, afterRemove;
        bool editEnabled = false, removeEnabledAfter = true;
        WithModal([&](QWidget* sheet) {
            ShowTab(sheet, "errors");
            reopened = Rows(sheet);
            AddSector(sheet, {"12abc"});
            auto* list = Find<QTreeWidget>(sheet, "badSectors");
            list->setCurrentItem(list->topLevelItem(1));
            editEnabled = Find<QWidget>(sheet, "edit")->isEnabled();
            Click(sheet, "edit");
            Click(sheet, "remove");
            afterRemove = Rows(sheet);
            removeEnabledAfter = Find<QWidget>(sheet, "remove")->isEnabled();
            Click(sheet, "apply");
            Click(sheet, "cancel");
        });
        QVERIFY(ui::ShowImageProperties(&env.main, env.s, false) >= 1);
        QCOMPARE(reopened, (QStringList{"5", "7"}));
        QVERIFY(editEnabled && !removeEnabledAfter);
        QCOMPARE(afterRemove, (QStringList{"5", "12"}));
        QVERIFY(env.ui.Showed("Edit not implemented yet!", MB_ICONEXCLAMATION));
        QCOMPARE(FillErrorsPage(env.s.doc).rows, (std::vector<std::string>{"5", "12"}));
    }
};

int RunSheetsTests(int argc, char** argv) {
    SheetsTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace kv::test

#include "sheets_test.moc"
