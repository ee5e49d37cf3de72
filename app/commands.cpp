#include "app/commands.h"

#include <initializer_list>

namespace kv::app {

bool CommandEnabled(int id, const CommandFacts& f) {
    switch (id) {
        case cmd::kSave: return f.open && f.hasFile && !f.readOnly;
        case cmd::kSaveAs:
        case cmd::kWriteToDisk:
        case cmd::kClose:
        case cmd::kImageProperties:
        case cmd::kAddFile:
        case cmd::kViewReport:
        case cmd::kViewList:
        case cmd::kViewIcon:
        case cmd::kViewSmallIcon: return f.open;
        case cmd::kFileProperties:
        case cmd::kExtractFile:
        case cmd::kDelete:
        case cmd::kRename: return f.open && f.selection;
        case cmd::kNew:
        case cmd::kOpen:
        case cmd::kExit:
        case cmd::kHelp:
        case cmd::kAbout:
        case cmd::kOriginalOrder: return true;
        default: return false;
    }
}

bool CommandChecked(int id, const CommandFacts& f) { return id == cmd::kOriginalOrder || id == ViewCommand(f.mode); }

int ViewCommand(ViewMode mode) {
    switch (mode) {
        case ViewMode::Icon: return cmd::kViewIcon;
        case ViewMode::Report: return cmd::kViewReport;
        case ViewMode::SmallIcon: return cmd::kViewSmallIcon;
        case ViewMode::List: return cmd::kViewList;
    }
    return 0;
}

bool ViewModeOf(int id, ViewMode& mode) {
    for (ViewMode m : {ViewMode::Icon, ViewMode::Report, ViewMode::SmallIcon, ViewMode::List}) {
        if (ViewCommand(m) == id) {
            mode = m;
            return true;
        }
    }
    return false;
}

}  // namespace kv::app
