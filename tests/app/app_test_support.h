// What the desktop program's tests share: a main window over a scripted Ui,
// test images made by the core, and the check that the script was followed.
#pragma once

#include <QtTest>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "document/boot_sector.h"
#include "document/media_errors.h"
#include "fat12/directory.h"
#include "floppy/transfer.h"
#include "platform/codepage.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

// A scripted Ui that passes the title and the list's enabling on to the
// window, as the program's own Ui does.
class WindowUi final : public ScriptedUi {
public:
    app::MainWindow* window = nullptr;
    void SetWindowTitle(const std::string& title) override {
        ScriptedUi::SetWindowTitle(title);
        window->setWindowTitle(QString::fromStdString(title));
    }
    void EnableFileList(bool enabled) override {
        ScriptedUi::EnableFileList(enabled);
        window->SetFileListEnabled(enabled);
    }
};

struct TestWindow {
    WindowUi ui;
    app::MainWindow window{&ui};
    TestWindow() { ui.window = &window; }
    Session& s() { return window.session(); }
    // Opens `path` without a dialog and forgets the messages on the way.
    bool Open(const std::string& path, bool readOnly = false) {
        const bool opened = OpenImage(s(), kMainWindow, path, readOnly);
        ui.Clear();
        return opened;
    }
    // A new blank image of the New dialog's first choice, with no file yet.
    void NewImage() {
        NewImageDialog dialog;
        dialog.formats = FillFormatList(s().formats);
        QVERIFY(CreateNewImage(s(), dialog));
        ui.Clear();
    }
};

// One root entry of a test image (without clusters or a date): the 11-byte
// name field, attributes, size.
struct TestEntry {
    const char* name;
    std::uint8_t attributes;
    std::uint32_t size;
};

// README.TXT (R A, 1,474,560 bytes), GAMES (D), AUTOEXEC.BAT (HAS), NOTES.DOC (A).
inline std::vector<TestEntry> StandardEntries() {
    return {{"README  TXT", 0x21, 1474560}, {"GAMES      ", 0x10, 0}, {"AUTOEXECBAT", 0x26, 100}, {"NOTES   DOC", 0x20, 7}};
}

// Writes a blank 720 KB image with `entries` in the first root slots, and a
// side file marking sector 100 when `mediaErrors`.
inline void WriteTestImage(const std::string& path, const std::vector<TestEntry>& entries, bool mediaErrors = false) {
    ScriptedUi quiet;
    MemoryFileList list;
    EnglishLocale locale;
    Session s(quiet, list, locale, nullptr);
    QVERIFY(BuildBlankImage(s, kMainWindow, 0xF9));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DirEntry e{};
        std::memcpy(e.name, entries[i].name, 11);
        e.attributes = entries[i].attributes;
        e.size = entries[i].size;
        WriteDirEntry(s.doc.Volume() + RootDirectoryOffset(s.doc.geometry) + i * dir::kEntrySize, e);
    }
    WriteWholeFile(path, std::vector<std::uint8_t>(s.doc.data.get(), s.doc.data.get() + s.doc.size));
    if (mediaErrors) {
        QVERIFY(CreateMediaErrorList(s.doc.errors, s.doc.geometry.totalSectors));
        MarkBadSector(s.doc.errors, 100);
        QVERIFY(SaveMediaErrorFile(quiet, s.doc.errors, path));
    }
}

// The row texts of the window's list, in order (UTF-8).
inline QStringList RowTexts(app::MainWindow& window) {
    QStringList texts;
    for (std::size_t i = 0; i < window.model().RowCount(); ++i) {
        texts << QString::fromStdString(Cp437ToUtf8(window.model().RowAt(i).text));
    }
    return texts;
}

// False (and a Qt Test failure) when the scripted Ui met a question or dialog
// it had no answer for.
inline bool ScriptFollowed() {
    const bool failed = ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed();
    if (failed) QTest::qFail("the scripted Ui met a question or dialog without an answer", __FILE__, __LINE__);
    return !failed;
}

}  // namespace kv::test
