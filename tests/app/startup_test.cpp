// Start-up: the command line, the R and W switches, a command-line image that
// fails to open, and the user's locale.
#include <QtTest>

#include "app/application.h"
#include "app/qt_locale.h"
#include "platform/string_table.h"
#include "tests/app/app_test_support.h"

using namespace kv;
using namespace kv::app;

class StartupTest : public QObject {
    Q_OBJECT

    test::TempDir dir_;

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_.File("data"))); }
    void cleanup() { QVERIFY(test::ScriptFollowed()); }

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
            const CommandLine line = ParseCommandLine(row.arguments, [](const std::string& p) { return p == "/wild.dsk"; });
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
        test::WriteTestImage(errors, test::StandardEntries(), true);
        test::WriteTestImage(clean, test::StandardEntries());
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
            test::ScriptedUi ui;
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
        QVERIFY(test::FileExists(dir_.File("data/applications/korvane.desktop")));
        QVERIFY(test::FileExists(dir_.File("data/mime/packages/korvane-diskimage.xml")));
    }

    // Grouping and times (with seconds) as the user's locale has them.
    void locale() {
        const struct {
            const char* name;
            const char* number;
            const char* time;
        } rows[] = {{"en_US", "1,474,560", "1:45:10"}, {"de_DE", "1.474.560", "13:45:10"}, {"C", "1474560", "13:45:10"}};
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

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
