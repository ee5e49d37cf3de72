// Placeholders that let the main window link while its dialogs are being
// written; each is replaced by the real window.
#include "platform/messages.h"
#include "platform/string_table.h"
#include "ui/desktop.h"

namespace kv::ui {

bool ShowHelp(Ui& ui, WindowRef owner, HelpCommand command, std::uint32_t) {
    if (command == HelpCommand::Quit) return true;
    ShowStringMessage(ui, owner, str::kHelpFailed, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

int RunNewImageDialog(QWidget*, Session&) { return 0; }
int RunWriteDialog(QWidget*, Session&) { return 0; }
int ShowFileProperties(QWidget*, Session&, std::uint8_t*, const std::string&) { return 0; }
int ShowImageProperties(QWidget*, Session&, bool) { return 0; }

}  // namespace kv::ui
