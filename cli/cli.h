// The command-line program: one session over the core, with the terminal's Ui
// and an in-memory file list. Each group of commands registers itself here.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "cli/terminal_ui.h"
#include "document/file_list.h"
#include "document/image_document.h"
#include "platform/locale.h"

namespace kv::cli {

// Exit statuses.
inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

class Context {
public:
    Context();

    TerminalUi ui;
    MemoryFileList list;
    CLibraryLocale locale;
    Session session;
    bool quiet = false;
    std::FILE* out = stdout;
    int exitCode = kSuccess;

    // Opens IMAGE for a command; false after the failure was shown. Commands
    // that only read open it read-only.
    bool Open(const std::string& path, bool readOnly);
    // Saves the open image in place with the program's own save (FAT backup
    // refresh, side file).
    bool Save();
    // Prints a usage error (exit status 2).
    int Usage(const std::string& message);
};

// Each adds its commands to the program.
void AddImageCommands(CLI::App& app, Context& ctx);
void AddFileCommands(CLI::App& app, Context& ctx);

}  // namespace kv::cli
