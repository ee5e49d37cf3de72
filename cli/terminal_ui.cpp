#include "cli/terminal_ui.h"

#include <sys/stat.h>

#include <cctype>

#include "cli/render.h"
#include "platform/string_table.h"

namespace kv::cli {
namespace {

struct Choice {
    char key;
    const char* word;
    int result;
};

// The buttons of a message-box type, the safe answer first.
std::vector<Choice> ChoicesOf(std::uint32_t buttons) {
    switch (buttons) {
        case MB_OKCANCEL: return {{'c', "cancel", IDCANCEL}, {'o', "ok", IDOK}};
        case MB_ABORTRETRYIGNORE:
            return {{'a', "abort", IDABORT}, {'r', "retry", IDRETRY}, {'i', "ignore", IDIGNORE}};
        case MB_YESNOCANCEL: return {{'c', "cancel", IDCANCEL}, {'y', "yes", IDYES}, {'n', "no", IDNO}};
        case MB_YESNO: return {{'n', "no", IDNO}, {'y', "yes", IDYES}};
        case MB_RETRYCANCEL: return {{'c', "cancel", IDCANCEL}, {'r', "retry", IDRETRY}};
        default: return {{'o', "ok", IDOK}};
    }
}

const char* WordOf(int result) {
    switch (result) {
        case IDOK: return "OK";
        case IDCANCEL: return "Cancel";
        case IDABORT: return "Abort";
        case IDRETRY: return "Retry";
        case IDIGNORE: return "Ignore";
        case IDYES: return "Yes";
        case IDNO: return "No";
        default: return "?";
    }
}

}  // namespace

int TerminalUi::ShowMessageBox(WindowRef, const std::string& text, const std::string& caption,
                               std::uint32_t style) {
    if (beforeMessage) beforeMessage();
    std::uint32_t buttons = style & MB_TYPEMASK;
    if (declineQuietly && buttons != MB_OK) return ChoicesOf(buttons).front().result;
    if ((style & MB_ICONMASK) == MB_ICONHAND && buttons == MB_OK) ++failures;
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    if (caption != ApplicationTitle()) shown = caption + ": " + shown;
    // Paths and an image's comment may hold any bytes.
    std::fprintf(err_, "%s\n", TerminalText(shown).c_str());
    if (buttons == MB_OK) {
        std::fflush(err_);
        return IDOK;
    }
    return Ask(text, buttons);
}

int TerminalUi::Ask(const std::string& text, std::uint32_t buttons) {
    std::vector<Choice> choices = ChoicesOf(buttons);
    const int safe = choices.front().result;
    auto has = [&](int result) {
        for (const Choice& c : choices) {
            if (c.result == result) return true;
        }
        return false;
    };
    int answer = safe;
    if (buttons == MB_ABORTRETRYIGNORE && (abortRetryIgnoreChosen || mode != AnswerMode::Ask || !interactive)) {
        answer = abortRetryIgnore;
        if (answer == IDRETRY) {
            retries_ = text == lastRetried_ ? retries_ + 1 : 1;
            lastRetried_ = text;
            if (retries_ > retryLimit) answer = IDABORT;
        }
    } else if (mode == AnswerMode::Yes) {
        answer = has(IDYES) ? IDYES : has(IDOK) ? IDOK : safe;
    } else if (mode == AnswerMode::No) {
        answer = has(IDNO) ? IDNO : safe;
    } else if (interactive) {
        std::string prompt;
        for (const Choice& c : choices) {
            if (!prompt.empty()) prompt += "/";
            prompt += std::string("[") + c.key + "]" + (c.word + 1);
        }
        for (;;) {
            std::fprintf(err_, "%s? ", prompt.c_str());
            std::fflush(err_);
            char line[64];
            if (std::fgets(line, sizeof line, in_) == nullptr) break;  // end of input: the safe answer
            char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
            for (const Choice& c : choices) {
                if (c.key == key) return c.result;
            }
        }
    } else {
        std::fprintf(err_, "(no terminal to ask: answered %s; --yes or --no choose)\n", WordOf(answer));
        std::fflush(err_);
        return answer;
    }
    std::fprintf(err_, "(answered %s)\n", WordOf(answer));
    std::fflush(err_);
    return answer;
}

bool TerminalUi::ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) {
    if (dialogPaths.empty()) return false;
    std::string path = dialogPaths.front();
    dialogPaths.pop_front();
    struct stat st {};
    if (request.save && (request.flags & OFN_OVERWRITEPROMPT) && !overwriteWithoutAsking && ::stat(path.c_str(), &st) == 0) {
        int answer = ShowMessageBox(owner, path + " already exists.\nDo you want to replace it?", ApplicationTitle(),
                                    MB_YESNO | MB_ICONEXCLAMATION);
        if (answer != IDYES) return false;
    }
    result.path = path;
    result.readOnly = false;
    return true;
}

}  // namespace kv::cli
