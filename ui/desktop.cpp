#include "ui/desktop.h"

namespace kv::ui {
namespace {

std::string& Folder() {
    static std::string folder;
    return folder;
}

}  // namespace

void SetProgramFolder(const std::string& folder) {
    Folder() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

const std::string& ProgramFolder() { return Folder(); }

std::string HelpFilePath() { return ProgramFolder() + "KORVANE.HLP"; }

std::string SettingsFilePath() { return ProgramFolder() + "KORVANE.INI"; }

}  // namespace kv::ui
