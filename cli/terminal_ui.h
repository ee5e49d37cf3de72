// The command-line program's Ui: messages go to stderr in the system's words;
// questions are answered by --yes / --no, else asked on the terminal (Enter
// takes the message box's default button), else given their safe answer (No,
// Cancel or Abort) with a note. File dialogs take the paths that the command
// line named.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace kv::cli {

enum class AnswerMode { Ask, Yes, No };

class TerminalUi final : public Ui {
public:
    TerminalUi(std::FILE* err = stderr, std::FILE* in = stdin) : err_(err), in_(in) {}

    AnswerMode mode = AnswerMode::Ask;
    // The answer to Abort / Retry / Ignore questions that the command line chose
    // (--on-error): given without asking, also on a terminal. Retry is given at
    // most `retryLimit` times in a row for the same question; then Abort.
    // Unset, these questions are asked on a terminal (--yes and --no do not
    // answer them) and answered Abort without one.
    std::optional<int> abortRetryIgnore;
    int retryLimit = 5;

    // Called before a message is printed, so that a progress line can end first.
    std::function<void()> beforeMessage;
    // Whether a terminal may be asked (stdin and stderr are terminals).
    bool interactive = false;

    int ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                       std::uint32_t style) override;
    bool ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) override;
    void SetCursor(Cursor) override {}
    void SetWindowTitle(const std::string&) override {}
    void EnableFileList(bool) override {}

    // The paths that the next file dialogs confirm, in order; a dialog with none
    // queued is cancelled.
    std::deque<std::string> dialogPaths;

    // Replace existing files on saving without the overwrite question (--force).
    bool overwriteWithoutAsking = false;

    // Take the safe answer to every question without showing it: commands that
    // only read an image need not offer to repair it in memory.
    bool declineQuietly = false;

    // How many messages were shown; how many of them were failures (stop
    // icon) and warnings (exclamation icon) without a question.
    int shown = 0;
    int failures = 0;
    int warnings = 0;

private:
    int Ask(const std::string& text, std::uint32_t style);
    int Prompt(std::uint32_t style);
    int Answered(int answer, const char* note = nullptr);
    std::FILE* err_;
    std::FILE* in_;
    std::string lastRetried_;
    int retries_ = 0;
};

}  // namespace kv::cli
