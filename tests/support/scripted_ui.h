// A Ui for tests: records what it is shown and answers questions and dialogs from a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace kv::test {

struct RecordedMessage {
    WindowRef owner = nullptr;
    std::string text;
    std::string caption;
    std::uint32_t style = 0;
};

class ScriptedUi : public Ui {
public:
    // Answers for message boxes with more than an OK button, taken in order.
    // A question without a scripted answer fails the test and is answered Cancel.
    std::deque<int> answers;
    // Results for file dialogs, taken in order; nullopt cancels. A dialog without one fails the test and is cancelled.
    std::deque<std::optional<FileDialogResult>> fileChoices;

    std::vector<RecordedMessage> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<Cursor> cursors;
    std::vector<std::string> titles;

    int ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                       std::uint32_t style) override;
    bool ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) override;
    void SetCursor(Cursor cursor) override { cursors.push_back(cursor); }
    void SetWindowTitle(const std::string& title) override { titles.push_back(title); }
    void EnableFileList(bool enabled) override { listEnabled = enabled; }
    bool listEnabled = false;

    // Queues a file dialog that confirms `path`.
    void WillChoose(const std::string& path, bool readOnly = false);
    void WillCancelDialog() { fileChoices.push_back(std::nullopt); }

    const RecordedMessage& Last() const;
    // The last message had `text`, `style` and the program's caption, and (with `only`) was the only one.
    ::testing::AssertionResult Showed(const std::string& text, std::uint32_t style, bool only = true) const;
    std::vector<std::string> Texts() const;
    void Clear();
};

}  // namespace kv::test
