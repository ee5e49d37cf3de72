// Start-up: the command line, the R and W switches, a command-line image that
// fails to open, the desktop entry's command lines, and the user's locale.
#include <QFile>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "app/application.h"
#include "app/qt_locale.h"
#include "platform/string_table.h"
#include "tests/app/app_test_support.h"

using namespace kv;
using namespace kv::app;

namespace {

const std::string kProgram = "/opt/korvane/bin/korvane";

// The words of the Exec line under `section` of the desktop entry, with %f
// given as `file`.
std::vector<std::string> ExecWords(const std::string& entry, const std::string& section, const std::string& file) {
    std::ifstream in(entry);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t at = text.find("Exec=", text.find(section)) + 5;
    std::istringstream line(text.substr(at, text.find('\n', at) - at));
    std::vector<std::string> words;
    for (std::string word; line >> word;) words.push_back(word == "%f" ? file : word);
    return words;
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

    test::TempDir dir_;

    std::optional<int> Start(const std::vector<std::string>& arguments, test::ScriptedUi& ui,
                             std::unique_ptr<MainWindow>& window, int* writeDialogs = nullptr) {
        StartupHooks hooks;
        hooks.ui = &ui;
        hooks.runWriteDialog = [&](QWidget* parent, Session&) {
            if (writeDialogs != nullptr) ++*writeDialogs;
            return parent->isVisible() ? -1 : 1;  // the main window is never shown
        };
        return StartUp(ParseCommandLine(arguments), kProgram, window, hooks);
    }

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_.File("data"))); }
    void cleanup() { QVERIFY(test::ScriptFollowed()); }

    void parseCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("switches");
        QTest::addColumn<QString>("path");
        QTest::newRow("-r") << QStringList{"-r"} << "R" << "";
        QTest::newRow("/Register") << QStringList{"/Register"} << "R" << "";
        QTest::newRow("-W and a path") << QStringList{"-W", "/home/me/game.dsk"} << "W" << "/home/me/game.dsk";
        QTest::newRow("path then /w") << QStringList{"game.dsk", "/w"} << "W" << "game.dsk";
        QTest::newRow("any word after - is its letter") << QStringList{"-write", "-x", "-"} << "W" << "";
        QTest::newRow("two paths: the first") << QStringList{"a.dsk", "b.dsk"} << "" << "a.dsk";
        QTest::newRow("/ with a second /") << QStringList{"/home/me/game.dsk"} << "" << "/home/me/game.dsk";
        QTest::newRow("/ naming an existing file") << QStringList{"/wild.dsk"} << "" << "/wild.dsk";
        QTest::newRow("/ naming nothing: a switch") << QStringList{"/wide.dsk"} << "W" << "";
        QTest::newRow("/R is a switch even beside a path") << QStringList{"/R", "/tmp/x.dsk"} << "R" << "/tmp/x.dsk";
    }
    void parseCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, switches);
        QFETCH(QString, path);
        std::vector<std::string> args;
        for (const QString& a : arguments) args.push_back(a.toStdString());
        const CommandLine line = ParseCommandLine(args, [](const std::string& p) { return p == "/wild.dsk"; });
        QCOMPARE(QString(line.registerSwitch ? "R" : "") + (line.writeSwitch ? "W" : ""), switches);
        QCOMPARE(QString::fromStdString(line.path.value_or("")), path);
    }

    // -r registers (desktop entry and MIME type written), ends with 1 and never
    // makes the window; the entry's command lines then start the program on a
    // file the way the file manager hands it over.
    void registerAndDesktopEntry() {
        test::ScriptedUi ui;
        std::unique_ptr<MainWindow> window;
        QCOMPARE(Start({"-r"}, ui, window), std::optional<int>(1));
        QVERIFY(window == nullptr);
        QVERIFY(ui.Showed(LoadText(str::kRegistrationSucceeded), MB_ICONHAND));
        const std::string entry = dir_.File("data/applications/korvane.desktop");
        QVERIFY(test::FileExists(dir_.File("data/mime/packages/korvane-diskimage.xml")));

        const std::string image = dir_.File("from file manager.dsk");
        test::WriteTestImage(image, test::StandardEntries(), true);
        std::vector<std::string> open = ExecWords(entry, "[Desktop Entry]", image);
        QCOMPARE(open, (std::vector<std::string>{kProgram, image}));
        test::ScriptedUi openUi;
        QCOMPARE(Start({open.begin() + 1, open.end()}, openUi, window), std::nullopt);
        QVERIFY(window->isVisible());
        QCOMPARE(window->model().RowCount(), 4u);
        QCOMPARE(openUi.titles.back(), std::string("from file manager.dsk - Korvane"));

        // The "Write image to disk" action: string 43 (the image has media
        // errors), the dialog, exit code 1, no window shown.
        const std::vector<std::string> write = ExecWords(entry, "[Desktop Action WriteToDisk]", image);
        QCOMPARE(write, (std::vector<std::string>{kProgram, "-W", image}));
        test::ScriptedUi writeUi;
        int dialogs = 0;
        QCOMPARE(Start({write.begin() + 1, write.end()}, writeUi, window, &dialogs), std::optional<int>(1));
        QCOMPARE(dialogs, 1);
        QVERIFY(!window->isVisible());
        QVERIFY(writeUi.Showed(LoadText(str::kMediaErrorsNotWritten), MB_ICONEXCLAMATION));
    }

    // -W: the image is opened and written (the warning only with media
    // errors); a failing image ends the program without the dialog; without a
    // path the program starts normally. Without -W a failing image leaves the
    // program running with no image.
    void writeAndFailingImages_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<int>("messages");
        QTest::newRow("-w, no media errors") << QStringList{"-w", "clean.dsk"} << false << 1 << 0;
        QTest::newRow("-w, missing image") << QStringList{"-w", "missing.dsk"} << false << 0 << 1;
        QTest::newRow("-w without a path") << QStringList{"-w"} << true << 0 << 0;
        QTest::newRow("missing image") << QStringList{"missing.dsk"} << true << 0 << 1;
    }
    void writeAndFailingImages() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, shown);
        QFETCH(int, dialogs);
        QFETCH(int, messages);
        test::WriteTestImage(dir_.File("clean.dsk"), test::StandardEntries());
        std::vector<std::string> args;
        for (const QString& a : arguments) {
            args.push_back(a.startsWith('-') ? a.toStdString() : dir_.File(a.toStdString()));
        }
        test::ScriptedUi ui;
        std::unique_ptr<MainWindow> window;
        int ran = 0;
        const std::optional<int> code = Start(args, ui, window, &ran);
        QCOMPARE(code, shown ? std::nullopt : std::optional<int>(1));
        QCOMPARE(window->isVisible(), shown);
        QCOMPARE(ran, dialogs);
        QCOMPARE(int(ui.messages.size()), messages);
        if (messages > 0) QCOMPARE(ui.Last().Icon(), MB_ICONHAND);
        QCOMPARE(window->session().doc.IsOpen(), dialogs > 0);
    }

    // Grouping and dates as the user's locale has them.
    void locale_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("time");
        QTest::newRow("English") << "en_US" << "1,474,560" << "1:45:10";
        QTest::newRow("German") << "de_DE" << "1.474.560" << "13:45:10";
        QTest::newRow("C: no grouping") << "C" << "1474560" << "13:45:10";
    }
    void locale() {
        QFETCH(QString, name);
        QFETCH(QString, number);
        QFETCH(QString, time);
        QtLocale locale{QLocale(name)};
        std::string out;
        FormatNumber(1474560, out, locale);
        QCOMPARE(QString::fromStdString(out), number);
        const CalendarTime t{2005, 3, 29, 13, 45, 10};
        QVERIFY(QString::fromStdString(locale.TimeText(t)).startsWith(time));
        QVERIFY(locale.DateText(t, DateStyle::Long).size() > locale.DateText(t, DateStyle::Short).size());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
