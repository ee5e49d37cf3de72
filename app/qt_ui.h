// The core's Ui in Qt: message boxes with the Win32 styles and results, the
// open and save dialogs, the wait cursor, the main window's title and its file
// list's enabling.
#pragma once

#include <QWidget>
#include <functional>

#include "platform/ui.h"

namespace kv::app {

class QtUi final : public Ui {
public:
    // `mainWindow` owns the boxes of kMainWindow and takes the title;
    // `enableFileList` enables (and focuses) or disables the list.
    explicit QtUi(QWidget* mainWindow = nullptr, std::function<void(bool)> enableFileList = {});

    int ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                       std::uint32_t style) override;
    bool ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) override;
    void SetCursor(Cursor cursor) override;
    void SetWindowTitle(const std::string& title) override;
    void EnableFileList(bool enabled) override;

private:
    QWidget* Parent(WindowRef owner) const;
    // A modal window shows the arrow even while the program waits.
    class ArrowWhileModal;

    QWidget* mainWindow_;
    std::function<void(bool)> enableFileList_;
    bool waiting_ = false;
};

}  // namespace kv::app
