// The help viewer: the help file found and not found, the contents and the
// topics of the context numbers, and the context each Help button asks for.
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QFile>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBrowser>

#include "platform/string_table.h"
#include "tests/ui/ui_test.h"

namespace kv::test {
namespace {

QTextBrowser* Browser() {
    QWidget* viewer = ShownWindow("helpViewer");
    return viewer == nullptr ? nullptr : viewer->findChild<QTextBrowser*>("helpText");
}

// The topic the viewer shows: its anchor, "" for the contents, "none" when no
// viewer is shown.
QString Topic() {
    QTextBrowser* browser = Browser();
    return browser == nullptr ? QStringLiteral("none") : browser->source().fragment();
}

// The controls of `dialog` that lack an object name or a name on the
// accessibility bus.
QStringList Unnamed(QWidget* dialog) {
    QStringList missing;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w);
        QWidget* parent = w->parentWidget();
        const bool part = qobject_cast<QComboBox*>(parent) || qobject_cast<QTabBar*>(parent) ||
                          qobject_cast<QHeaderView*>(w) || w->isHidden() || w->window() != dialog;
        if (!control || part) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (w->objectName().isEmpty() || a == nullptr || a->text(QAccessible::Name).isEmpty()) {
            missing << QString::fromLatin1(w->metaObject()->className()) + "#" + w->objectName();
        }
    }
    return missing;
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        QVERIFY(NoUnexpectedQuestion());
        ScriptedUi ui;
        ui::ShowHelp(ui, kMainWindow, ui::HelpCommand::Quit);
    }

    void missingFile() {
        UiEnv env;
        QVERIFY(!ui::ShowHelp(env.ui, ui::RefOf(&env.main), ui::HelpCommand::Finder));
        QVERIFY(env.ui.Showed("Oops: failed to display help!", MB_OK | MB_ICONEXCLAMATION));
        QCOMPARE(env.ui.Last().owner, ui::RefOf(&env.main));
        QCOMPARE(Topic(), QStringLiteral("none"));
    }

    // The manual has a section for every context number; the viewer opens on
    // it, on the contents for HELP_FINDER, and closes on Quit.
    void topics() {
        UiEnv env;
        ui::SetProgramFolder(KORVANE_HELP_DIR);
        QFile file(QString::fromStdString(ui::HelpFilePath()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        for (int context = 1001; context <= 1007; ++context) {
            QVERIFY2(html.contains(QStringLiteral("<a name=\"%1\">").arg(context)), qPrintable(QString::number(context)));
        }
        QVERIFY(ui::ShowHelp(env.ui, kMainWindow, ui::HelpCommand::Finder));
        QCOMPARE(Topic(), QString());
        QVERIFY(Browser()->toPlainText().contains("KORVANE_DRIVES"));
        QVERIFY(ui::ShowHelp(env.ui, kMainWindow, ui::HelpCommand::Context, 1007));
        QCOMPARE(Topic(), QStringLiteral("1007"));
        QVERIFY(Browser()->verticalScrollBar()->value() > 0);
        QVERIFY(ui::ShowHelp(env.ui, kMainWindow, ui::HelpCommand::Quit));
        QCOMPARE(Topic(), QStringLiteral("none"));
        QVERIFY(env.ui.messages.empty());
    }

    // Each dialog's Help button asks for its own context number, and every
    // control of the dialog has a name that screen readers can read.
    void dialogTour_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("context");
        QTest::newRow("New disk-image") << "new" << "1001";
        QTest::newRow("General page") << "file" << "1002";
        QTest::newRow("Volume page") << "volume" << "1003";
        QTest::newRow("Errors page") << "errors" << "1004";
        QTest::newRow("Add sector") << "addSector" << "1005";
        QTest::newRow("Write to disk") << "write" << "1006";
        QTest::newRow("Custom disk-format") << "custom" << "1007";
        QTest::newRow("Media page") << "media" << "none";
    }
    void dialogTour() {
        QFETCH(QString, where);
        QFETCH(QString, context);
        UiEnv env;
        ui::SetProgramFolder(KORVANE_HELP_DIR);
        env.NewBlankImage(0xF9);
        QString topic;
        QStringList unnamed;
        auto helpIn = [&](QWidget* dialog) {
            unnamed = Unnamed(dialog);
            Click(dialog, "help");
            topic = Topic();
            Click(dialog, "cancel");
        };
        WithModal([&](QWidget* d) {
            if (where == "custom" || where == "addSector") {
                WithModal(helpIn);
                if (where == "custom") {
                    Find<QComboBox>(d, "formats")->setCurrentIndex(9);
                    Click(d, "ok");
                } else {
                    Find<QTabWidget>(d, "pages")->setCurrentIndex(1);
                    Click(d, "add");
                }
                return Click(d, "cancel");
            }
            if (where == "errors" || where == "media") Find<QTabWidget>(d, "pages")->setCurrentIndex(where == "media" ? 2 : 1);
            helpIn(d);
        });
        if (where == "new" || where == "custom") {
            ui::RunNewImageDialog(&env.main, env.s);
        } else if (where == "write") {
            ui::RunWriteDialog(&env.main, env.s);
        } else if (where == "file") {
            ui::ShowFileProperties(&env.main, env.s, env.s.doc.Volume() + 7 * 512, "X");
        } else {
            ui::ShowImageProperties(&env.main, env.s, where == "media");
        }
        QCOMPARE(topic, context);
        QCOMPARE(unnamed, QStringList{});
    }
};

int RunHelpTests(int argc, char** argv) {
    HelpTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace kv::test

#include "help_test.moc"
