#include "tests/app/app_test_support.h"

#include <cstring>

#include "document/boot_sector.h"
#include "document/media_errors.h"
#include "fat12/directory.h"
#include "platform/codepage.h"

namespace kv::test {

void WindowUi::SetWindowTitle(const std::string& title) {
    ScriptedUi::SetWindowTitle(title);
    if (window != nullptr) window->setWindowTitle(QString::fromStdString(title));
}

void WindowUi::EnableFileList(bool enabled) {
    ScriptedUi::EnableFileList(enabled);
    if (window != nullptr) window->SetFileListEnabled(enabled);
}

bool TestWindow::Open(const std::string& path, bool readOnly) {
    const bool opened = OpenImage(s(), kMainWindow, path, readOnly);
    ui.Clear();
    return opened;
}

std::vector<TestEntry> StandardEntries() {
    return {{"README  TXT", 0x21, 1474560, (25 << 9) | (3 << 5) | 29, (13 << 11) | (45 << 5) | 5},
            {"GAMES      ", 0x10, 0, (25 << 9) | (3 << 5) | 29, 0},
            {"AUTOEXECBAT", 0x26, 100, (25 << 9) | (3 << 5) | 29, 0},
            {"NOTES   DOC", 0x20, 7, 0, 0}};
}

void WriteTestImage(const std::string& path, const std::vector<TestEntry>& entries, bool mediaErrors) {
    ScriptedUi quiet;
    MemoryFileList list;
    EnglishLocale locale;
    Session s(quiet, list, locale, nullptr);
    QVERIFY(BuildBlankImage(s, kMainWindow, 0xF9));
    std::uint8_t* root = s.doc.Volume() + RootDirectoryOffset(s.doc.geometry);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DirEntry e{};
        std::memcpy(e.name, entries[i].name, 11);
        e.attributes = entries[i].attributes;
        e.size = entries[i].size;
        e.date = entries[i].date;
        e.time = entries[i].time;
        WriteDirEntry(root + i * dir::kEntrySize, e);
    }
    WriteWholeFile(path, std::vector<std::uint8_t>(s.doc.data.get(), s.doc.data.get() + s.doc.size));
    if (mediaErrors) {
        MediaErrorList errors;
        QVERIFY(CreateMediaErrorList(errors, s.doc.geometry.totalSectors));
        MarkBadSector(errors, 100);
        QVERIFY(SaveMediaErrorFile(quiet, errors, path));
    }
}

QStringList RowTexts(app::MainWindow& window) {
    QStringList texts;
    for (std::size_t i = 0; i < window.model().RowCount(); ++i) {
        texts << QString::fromStdString(Cp437ToUtf8(window.model().RowAt(i).text));
    }
    return texts;
}

bool ScriptFollowed() {
    const bool failed = ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed();
    if (failed) QTest::qFail("the scripted Ui met a question or dialog without an answer", __FILE__, __LINE__);
    return !failed;
}

}  // namespace kv::test
