#include "tests/support/scripted_ui.h"

#include <gtest/gtest.h>

namespace kv::test {

int ScriptedUi::ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                               std::uint32_t style) {
    messages.push_back(RecordedMessage{owner, text, caption, style});
    if ((style & MB_TYPEMASK) == MB_OK) return IDOK;
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return IDCANCEL;
    }
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedUi::ChooseFile(WindowRef, const FileDialogRequest& request, FileDialogResult& result) {
    fileRequests.push_back(request);
    if (fileChoices.empty()) {
        ADD_FAILURE() << "unexpected file dialog";
        return false;
    }
    std::optional<FileDialogResult> choice = fileChoices.front();
    fileChoices.pop_front();
    if (!choice) return false;
    result = *choice;
    return true;
}

void ScriptedUi::WillChoose(const std::string& path, bool readOnly) {
    fileChoices.push_back(FileDialogResult{path, readOnly});
}

const RecordedMessage& ScriptedUi::Last() const {
    static const RecordedMessage kNone{};
    return messages.empty() ? kNone : messages.back();
}

::testing::AssertionResult ScriptedUi::Showed(const std::string& text, std::uint32_t style, bool only) const {
    if (messages.empty()) return ::testing::AssertionFailure() << "no message shown";
    if (only && messages.size() != 1) {
        auto failure = ::testing::AssertionFailure() << messages.size() << " messages shown:";
        for (const RecordedMessage& m : messages) failure << "\n  " << m.text;
        return failure;
    }
    const RecordedMessage& m = messages.back();
    if (m.text != text) return ::testing::AssertionFailure() << "text \"" << m.text << "\", not \"" << text << "\"";
    if (m.style != style) return ::testing::AssertionFailure() << "style " << std::hex << m.style << ", not " << style;
    if (m.caption != "Korvane") return ::testing::AssertionFailure() << "caption \"" << m.caption << "\"";
    return ::testing::AssertionSuccess();
}

std::vector<std::string> ScriptedUi::Texts() const {
    std::vector<std::string> texts;
    for (const RecordedMessage& m : messages) texts.push_back(m.text);
    return texts;
}

void ScriptedUi::Clear() {
    messages.clear();
    fileRequests.clear();
    cursors.clear();
    titles.clear();
}

}  // namespace kv::test
