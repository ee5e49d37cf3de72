// What the desktop dialogs' tests share: a session over the scripted Ui with a
// fake floppy drive, a window that owns the dialogs, and acting on a modal
// dialog while it runs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "fat12/directory.h"
#include "tests/floppy/fake_floppy.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"
#include "ui/desktop.h"

namespace kv::test {

struct UiEnv {
    ScriptedUi ui;
    MemoryFileList list;
    EnglishLocale locale;
    Session s{ui, list, locale, ListRootDirectory};
    FakeFloppy fake;
    ScopedFloppyBackend installed{fake};
    QWidget main;  // the main window the dialogs belong to
    TempDir dir;

    UiEnv() { ui::SetProgramFolder(dir.Path()); }
    // Makes a blank image of format `code` the open image.
    void NewBlankImage(std::uint32_t code = 0xF9);
    // The bytes of the open image.
    std::vector<std::uint8_t> Image() const;
};

// The widget named `name` in `parent`, failing the test when there is none.
template <class W>
W* Find(const QObject* parent, const char* name) {
    W* w = parent == nullptr ? nullptr : parent->findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) QTest::qFail(qPrintable(QStringLiteral("no widget %1").arg(QLatin1String(name))), __FILE__, __LINE__);
    return w;
}

inline void Click(const QObject* parent, const char* name) {
    if (auto* b = Find<QAbstractButton>(parent, name)) b->click();
}

// Runs `act` on the modal dialog that is open once the event loop runs, that
// is, on the dialog the caller is about to run. A dialog still open after a
// failed check is closed, so that a failing test ends.
void WithModal(std::function<void(QWidget* dialog)> act);

// The top-level widget named `name` that is shown, or null.
QWidget* ShownWindow(const char* name);

// The messages shown, and no unscripted question.
bool NoUnexpectedQuestion();

}  // namespace kv::test
