// What the desktop program's tests share: a main window over a scripted Ui,
// test images made by the core, and the check that the script was followed.
#pragma once

#include <QtTest>
#include <cstdint>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

// A scripted Ui that passes the title and the list's enabling on to the
// window, as the program's own Ui does.
class WindowUi final : public ScriptedUi {
public:
    app::MainWindow* window = nullptr;
    void SetWindowTitle(const std::string& title) override;
    void EnableFileList(bool enabled) override;
};

struct TestWindow {
    WindowUi ui;
    app::MainWindow window{&ui};
    TestWindow() { ui.window = &window; }
    Session& s() { return window.session(); }
    // Opens `path` without a dialog and forgets the messages on the way.
    bool Open(const std::string& path, bool readOnly = false);
};

// One root entry of a test image: the 11-byte name field, attributes, size,
// DOS date and time.
struct TestEntry {
    const char* name;
    std::uint8_t attributes;
    std::uint32_t size;
    std::uint16_t date;
    std::uint16_t time;
};

// README.TXT (R A, 1,474,560 bytes, 2005-03-29 13:45:10), GAMES (D),
// AUTOEXEC.BAT (HAS), NOTES.DOC (A, no date).
std::vector<TestEntry> StandardEntries();

// Writes a blank 720 KB image with `entries` in the first root slots (entries
// without clusters), and a side file marking sector 100 when `mediaErrors`.
void WriteTestImage(const std::string& path, const std::vector<TestEntry>& entries, bool mediaErrors = false);

// The row texts of the window's list, in order (UTF-8).
QStringList RowTexts(app::MainWindow& window);

// False (and a Qt Test failure) when the scripted Ui met a question or dialog
// it had no answer for.
bool ScriptFollowed();

}  // namespace kv::test
