#include "cli/terminal_ui.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "cli/render.h"
#include "platform/string_table.h"

namespace kv::cli {
namespace {

struct Choice {
    char key;
    const char* word;
    int result;
};

// The buttons of a message-box type in the order the message box shows them
// (MB_DEFBUTTON1 is the first).
std::vector<Choice> ChoicesOf(std::uint32_t buttons) {
    switch (buttons) {
        case MB_OKCANCEL: return {{'o', "ok", IDOK}, {'c', "cancel", IDCANCEL}};
        case MB_ABORTRETRYIGNORE: return {{'a', "abort", IDABORT}, {'r', "retry", IDRETRY}, {'i', "ignore", IDIGNORE}};
        case MB_YESNOCANCEL: return {{'y', "yes", IDYES}, {'n', "no", IDNO}, {'c', "cancel", IDCANCEL}};
        case MB_YESNO: return {{'y', "yes", IDYES}, {'n', "no", IDNO}};
        case MB_RETRYCANCEL: return {{'r', "retry", IDRETRY}, {'c', "cancel", IDCANCEL}};
        default: return {{'o', "ok", IDOK}};
    }
}

bool Has(const std::vector<Choice>& choices, int result) {
    return std::any_of(choices.begin(), choices.end(), [result](const Choice& c) { return c.result == result; });
}

// The answer that risks nothing: Cancel, else No, else Abort, else OK.
int SafeAnswer(const std::vector<Choice>& choices) {
    for (int result : {IDCANCEL, IDNO, IDABORT}) {
        if (Has(choices, result)) return result;
    }
    return IDOK;
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

int TerminalUi::ShowMessageBox(WindowRef, const std::string& text, const std::string& caption, std::uint32_t style) {
    if (beforeMessage) beforeMessage();
    std::uint32_t buttons = style & MB_TYPEMASK;
    if (declineQuietly && buttons != MB_OK) return SafeAnswer(ChoicesOf(buttons));
    ++shown;
    if ((style & MB_ICONMASK) == MB_ICONHAND && buttons == MB_OK) ++failures;
    if ((style & MB_ICONMASK) == MB_ICONEXCLAMATION && buttons == MB_OK) ++warnings;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (caption != ApplicationTitle()) line = caption + ": " + line;
    // Paths and an image's comment may hold any bytes.
    std::fprintf(err_, "%s\n", TerminalText(line).c_str());
    if (buttons == MB_OK) {
        std::fflush(err_);
        return IDOK;
    }
    return Ask(text, style);
}

int TerminalUi::Ask(const std::string& text, std::uint32_t style) {
    const std::uint32_t buttons = style & MB_TYPEMASK;
    const std::vector<Choice> choices = ChoicesOf(buttons);
    const int safe = SafeAnswer(choices);
    if (buttons == MB_ABORTRETRYIGNORE) {
        if (abortRetryIgnore) {
            int answer = *abortRetryIgnore;
            if (answer == IDRETRY) {
                retries_ = text == lastRetried_ ? retries_ + 1 : 1;
                lastRetried_ = text;
                if (retries_ > retryLimit) answer = IDABORT;
            }
            return Answered(answer);
        }
    } else if (mode == AnswerMode::Yes) {
        return Answered(Has(choices, IDYES) ? IDYES : Has(choices, IDOK) ? IDOK : safe);
    } else if (mode == AnswerMode::No) {
        return Answered(Has(choices, IDNO) ? IDNO : safe);
    }
    if (!interactive) {
        return Answered(safe, buttons == MB_ABORTRETRYIGNORE ? "--on-error chooses" : "--yes or --no choose");
    }
    return Prompt(style);
}

// Asks on the terminal until a button's key is typed; Enter alone takes the
// default button, whose key the prompt shows in capitals; the end of the input
// takes the safe answer.
int TerminalUi::Prompt(std::uint32_t style) {
    const std::vector<Choice> choices = ChoicesOf(style & MB_TYPEMASK);
    std::size_t defaultButton = (style & MB_DEFMASK) >> 8;
    if (defaultButton >= choices.size()) defaultButton = 0;
    std::string prompt;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const Choice& c = choices[i];
        char key = i == defaultButton ? static_cast<char>(std::toupper(static_cast<unsigned char>(c.key))) : c.key;
        prompt += std::string(i == 0 ? "" : "/") + "[" + key + "]" + (c.word + 1);
    }
    char line[64];
    for (;;) {
        std::fprintf(err_, "%s? ", prompt.c_str());
        std::fflush(err_);
        if (std::fgets(line, sizeof line, in_) == nullptr) return Answered(SafeAnswer(choices));
        const char* p = line;
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\n' || *p == '\r' || *p == '\0') return choices[defaultButton].result;
        char key = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        for (const Choice& c : choices) {
            if (c.key == key) return c.result;
        }
    }
}

int TerminalUi::Answered(int answer, const char* note) {
    if (note != nullptr) {
        std::fprintf(err_, "(no terminal to ask: answered %s; %s)\n", WordOf(answer), note);
    } else {
        std::fprintf(err_, "(answered %s)\n", WordOf(answer));
    }
    std::fflush(err_);
    return answer;
}

bool TerminalUi::ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) {
    if (dialogPaths.empty()) return false;
    std::string path = dialogPaths.front();
    dialogPaths.pop_front();
    struct stat st {};
    if (request.save && (request.flags & OFN_OVERWRITEPROMPT) && !overwriteWithoutAsking &&
        ::stat(path.c_str(), &st) == 0) {
        int answer = ShowMessageBox(owner, path + " already exists.\nDo you want to replace it?", ApplicationTitle(),
                                    MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
        if (answer != IDYES) return false;
    }
    result.path = path;
    result.readOnly = false;
    return true;
}

}  // namespace kv::cli
