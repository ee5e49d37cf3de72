// Start-up: the command line's switches, the image it names, and the main
// window.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/main_window.h"

namespace kv::app {

// What tests replace at start-up.
struct StartupHooks {
    // Takes message boxes and file dialogs (see MainWindow); null: Qt's.
    Ui* ui = nullptr;
    // The Write to disk dialog of the W switch; null: the program's.
    std::function<int(QWidget*, Session&)> runWriteDialog;
};

// Starts the program as `line` says, `programPath` being the executable. With
// the R switch, registers the file types; with the W switch and a path, opens
// the image and runs the Write to disk command. Both end the program with exit
// code 1 (returned) without the main window ever being shown. Otherwise the
// main window is made in `window`, opens the named image (a failure has shown
// its message and leaves no image open) and is shown; none is returned.
std::optional<int> StartUp(const CommandLine& line, const std::string& programPath, std::unique_ptr<MainWindow>& window,
                           const StartupHooks& hooks = {});

// The program: its exit code.
int RunApplication(int argc, char** argv);

}  // namespace kv::app
