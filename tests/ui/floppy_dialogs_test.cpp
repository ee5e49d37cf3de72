// The New disk-image, Custom disk-format and Write to disk dialogs and the
// progress window: their enabling rules and OK paths.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "platform/string_table.h"
#include "tests/ui/ui_test.h"

namespace kv::test {
namespace {

struct Controls {
    QCheckBox* copy;
    QComboBox* drives;
    QCheckBox* useFormat;
    QComboBox* formats;
};

Controls NewImageControls(QWidget* d) {
    return {Find<QCheckBox>(d, "copyFromDisk"), Find<QComboBox>(d, "drives"), Find<QCheckBox>(d, "useFormat"),
            Find<QComboBox>(d, "formats")};
}

// What the progress window showed while a transfer ran.
struct ProgressSeen {
    QString title, drive;
    bool ownerControlsDisabled = false;
    bool cancelEnabledAfterClick = true;
};

// Looks at the progress window at the first moment the transfer lets events
// through; presses its Cancel button when asked to.
void WatchProgress(QWidget* owner, ProgressSeen& seen, bool cancel) {
    QTimer::singleShot(0, [owner, &seen, cancel] {
        QWidget* progress = ShownWindow("progress");
        if (progress == nullptr) return QTest::qFail("no progress window", __FILE__, __LINE__);
        seen.title = progress->windowTitle();
        seen.drive = Find<QLabel>(progress, "driveText")->text();
        seen.ownerControlsDisabled = !Find<QWidget>(owner, "ok")->isEnabled();
        if (cancel) {
            Click(progress, "cancel");
            Click(progress, "cancel");  // a second press does nothing more
            seen.cancelEnabledAfterClick = Find<QWidget>(progress, "cancel")->isEnabled();
        }
    });
}

}  // namespace

class FloppyDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(NoUnexpectedQuestion()); }

    // The check boxes' rules, from the dialog's first state (a drive listed).
    void newImageEnabling_data() {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QList<bool>>("expected");  // copy checked, drives on, format checked, formats on
        QTest::newRow("opened") << QStringList{} << QList<bool>{false, false, true, true};
        QTest::newRow("copy") << QStringList{"copyFromDisk"} << QList<bool>{true, true, false, false};
        QTest::newRow("copy, format") << QStringList{"copyFromDisk", "useFormat"} << QList<bool>{true, true, true, true};
        QTest::newRow("copy twice") << QStringList{"copyFromDisk", "copyFromDisk"} << QList<bool>{false, false, false, false};
        QTest::newRow("format off") << QStringList{"useFormat"} << QList<bool>{false, false, false, false};
    }
    void newImageEnabling() {
        QFETCH(QStringList, clicks);
        QFETCH(QList<bool>, expected);
        UiEnv env;
        QList<bool> seen;
        WithModal([&](QWidget* d) {
            for (const QString& name : clicks) Click(d, qPrintable(name));
            Controls c = NewImageControls(d);
            seen = {c.copy->isChecked(), c.drives->isEnabled(), c.useFormat->isChecked(), c.formats->isEnabled()};
            QCOMPARE(c.drives->currentText(), QStringLiteral("A: [fake]"));
            Click(d, "cancel");
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 0);
        QCOMPARE(seen, expected);
        QVERIFY(!env.s.doc.IsOpen());
    }

    // Without a drive: copying is impossible, the format box has the focus, and
    // OK makes a blank image of the chosen line (0xF9 at first).
    void newBlankImage_data() {
        QTest::addColumn<int>("line");  // -1: as the dialog opens
        QTest::addColumn<quint32>("size");
        QTest::addColumn<quint32>("media");
        QTest::newRow("preselected") << -1 << 737280u << 0xF9u;
        QTest::newRow("first line, 1.44 MB") << 0 << 1474560u << 0xF0u;
        QTest::newRow("last format line") << 8 << 327680u << 0xFFu;
    }
    void newBlankImage() {
        QFETCH(int, line);
        QFETCH(quint32, size);
        QFETCH(quint32, media);
        UiEnv env;
        env.fake.drives.clear();
        WithModal([&](QWidget* d) {
            Controls c = NewImageControls(d);
            QVERIFY(!c.copy->isEnabled() && !c.drives->isEnabled());
            QCOMPARE(d->focusWidget(), static_cast<QWidget*>(c.useFormat));
            QCOMPARE(c.formats->currentText(), QString::fromStdString(LoadText(12)));
            QCOMPARE(c.formats->count(), 10);
            QCOMPARE(c.formats->itemText(9), QStringLiteral("Custom..."));
            if (line >= 0) c.formats->setCurrentIndex(line);
            Click(d, "ok");
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 1);
        QCOMPARE(env.s.doc.size, size);
        QCOMPARE(env.s.doc.geometry.mediaByte, media);
        QCOMPARE(env.s.doc.path, std::string("Untitled"));
        QVERIFY(env.ui.messages.empty());
    }

    // Reading a floppy: string 52 first (No keeps the dialog open), then the
    // progress window over the disabled dialog; Cancel there discards the read.
    void readFloppy_data() {
        QTest::addColumn<bool>("withFormat");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("result");
        QTest::newRow("No") << false << IDNO << false << 0;
        QTest::newRow("boot sector's size") << false << IDYES << false << 1;
        QTest::newRow("chosen format") << true << IDYES << false << 1;
        QTest::newRow("cancelled") << false << IDYES << true << 0;
    }
    void readFloppy() {
        QFETCH(bool, withFormat);
        QFETCH(int, answer);
        QFETCH(bool, cancel);
        QFETCH(int, result);
        UiEnv env;
        env.NewBlankImage(0xF9);
        env.fake.disk = env.Image();
        env.s.doc = ImageDocument{};
        env.ui.answers = {answer};
        ProgressSeen seen;
        bool stillOpen = false;
        WithModal([&](QWidget* d) {
            Click(d, "copyFromDisk");
            if (withFormat) Click(d, "useFormat");
            if (answer == IDYES) WatchProgress(d, seen, cancel);
            Click(d, "ok");
            stillOpen = d->isVisible();
            if (stillOpen) {
                QVERIFY(Find<QWidget>(d, "ok")->isEnabled());  // enabled again after the transfer
                Click(d, "cancel");
            }
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), result);
        QCOMPARE(stillOpen, result == 0);
        const RecordedMessage& question = env.ui.messages.at(0);
        QCOMPARE(question.text, LoadText(str::kReadDiskWarning));
        QCOMPARE(question.style, std::uint32_t{MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2});
        QCOMPARE(env.ui.messages.size(), std::size_t{1});
        QCOMPARE(env.s.doc.IsOpen(), result == 1);
        QCOMPARE(env.fake.Count("read "), answer == IDYES ? (cancel ? 2 : 1440) : 0);
        if (answer != IDYES) return;
        QCOMPARE(seen.title, QStringLiteral("Reading disk"));
        QCOMPARE(seen.drive, QStringLiteral("Disk in A:, capacity is 720 KBytes"));
        QVERIFY(seen.ownerControlsDisabled);
        QCOMPARE(seen.cancelEnabledAfterClick, !cancel);
        QVERIFY(ShownWindow("progress") == nullptr);
        if (result == 1) QVERIFY(env.Image() == env.fake.disk);
    }

    // "Custom...": the Custom disk-format dialog, its capacities as the user
    // types, its refusals, and the image of its geometry.
    void customFormat() {
        UiEnv env;
        env.fake.drives.clear();
        QStringList capacities;
        WithModal([&](QWidget* d) {
            Find<QComboBox>(d, "formats")->setCurrentIndex(9);
            WithModal([&](QWidget* custom) {
                QCOMPARE(custom->windowTitle(), QStringLiteral("Custom disk-format"));
                auto capacity = [&] {
                    capacities << Find<QLabel>(custom, "total")->text() + "/" + Find<QLabel>(custom, "formatted")->text();
                };
                capacity();
                auto* media = Find<QLineEdit>(custom, "media");
                media->clear();
                QTest::keyClicks(media, "f9");
                QCOMPARE(media->text(), QStringLiteral("F9"));
                auto* sectors = Find<QLineEdit>(custom, "sectors");
                sectors->setText("1");
                capacity();
                Click(custom, "ok");  // zero capacity: refused
                QVERIFY(custom->isVisible());
                sectors->setText("1440");
                capacity();
                Click(custom, "ok");  // 4 sectors per cluster and 11 per FAT: a valid FAT12 volume
                QVERIFY(!custom->isVisible());
            });
            Click(d, "ok");
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 1);
        QCOMPARE(capacities, (QStringList{"8192/8173", "1/0", "720/701"}));
        QCOMPARE(env.ui.messages.size(), std::size_t{1});
        QCOMPARE(env.ui.messages[0].text, std::string("Capacity of disk is <= 0 Bytes!"));
        QCOMPARE(env.ui.messages[0].caption, std::string("UNDER CONSTRUCTION"));
        QCOMPARE(env.s.doc.size, 1440u * 512);
        QCOMPARE(env.s.doc.geometry.mediaByte, 0xF9u);
        QCOMPARE(env.s.formats.CustomRow().totalSectors, 1440u);

        // Opened again, the dialog starts from its initial texts; cancelled, the
        // New dialog stays open.
        QString sectorsText;
        bool newStillOpen = false;
        WithModal([&](QWidget* d) {
            WithModal([&](QWidget* custom) {
                sectorsText = Find<QLineEdit>(custom, "sectors")->text();
                Click(custom, "cancel");
            });
            Find<QComboBox>(d, "formats")->setCurrentIndex(9);
            Click(d, "ok");
            newStillOpen = d->isVisible();
            Click(d, "cancel");
        });
        QCOMPARE(ui::RunNewImageDialog(&env.main, env.s), 0);
        QCOMPARE(sectorsText, QStringLiteral("16384"));
        QVERIFY(newStillOpen);
    }

    // Write to disk: without a drive only Cancel and Help work; with one, OK
    // writes every sector, after formatting every track when asked.
    void writeToDisk_data() {
        QTest::addColumn<bool>("drive");
        QTest::addColumn<bool>("format");
        QTest::addColumn<int>("result");
        QTest::newRow("no drive") << false << false << 0;
        QTest::newRow("write") << true << false << 1;
        QTest::newRow("format and write") << true << true << 1;
    }
    void writeToDisk() {
        QFETCH(bool, drive);
        QFETCH(bool, format);
        QFETCH(int, result);
        UiEnv env;
        if (!drive) env.fake.drives.clear();
        env.NewBlankImage(0xF9);
        ProgressSeen seen;
        WithModal([&](QWidget* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Write to disk"));
            auto* box = Find<QCheckBox>(d, "formatDisk");
            QVERIFY(!box->isChecked());
            QCOMPARE(Find<QWidget>(d, "ok")->isEnabled(), drive);
            QCOMPARE(Find<QWidget>(d, "drives")->isEnabled(), drive);
            if (!drive) {
                QCOMPARE(d->focusWidget(), Find<QWidget>(d, "cancel"));
                return Click(d, "cancel");
            }
            box->setChecked(format);
            WatchProgress(d, seen, false);
            Click(d, "ok");
        });
        QCOMPARE(ui::RunWriteDialog(&env.main, env.s), result);
        QCOMPARE(env.fake.Count("format "), format ? 160 : 0);
        if (!drive) return;
        QVERIFY(env.fake.disk == env.Image());
        QCOMPARE(seen.title, QStringLiteral("Write to disk"));
        QCOMPARE(seen.drive, QStringLiteral("Disk in A:, capacity is 720 KBytes"));
    }
};

int RunFloppyDialogsTests(int argc, char** argv) {
    FloppyDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace kv::test

#include "floppy_dialogs_test.moc"
