#include "platform/messages.h"

#include "platform/errors.h"
#include "platform/string_table.h"

namespace kv {

std::string SystemErrorMessage(const std::optional<std::string>& prefix, std::uint32_t code,
                               const std::optional<std::string>& suffix) {
    std::string text;
    if (prefix) text += *prefix + "\n";
    std::string system = SystemErrorText(code);
    text += system.empty() ? "Error " + std::to_string(code) : system;
    if (suffix) text += "\n" + *suffix;
    return text;
}

int ShowSystemError(Ui& ui, WindowRef owner, const std::optional<std::string>& prefix, std::uint32_t code,
                    const std::optional<std::string>& suffix, std::uint32_t style) {
    return ui.ShowMessageBox(owner, SystemErrorMessage(prefix, code, suffix), ApplicationTitle(), style);
}

int ShowStringMessage(Ui& ui, WindowRef owner, std::uint32_t id, std::uint32_t style) {
    std::string text = LoadText(id);
    if (text.size() > 511) text.resize(511);
    return ui.ShowMessageBox(owner, text, ApplicationTitle(), style);
}

int ShowMessage(Ui& ui, WindowRef owner, const std::string& text, std::uint32_t style) {
    return ui.ShowMessageBox(owner, text, ApplicationTitle(), style);
}

}  // namespace kv
