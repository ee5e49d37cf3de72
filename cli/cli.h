// The command-line program: one session over the core, with the terminal's Ui
// and an in-memory file list. Each group of commands registers itself here.
#pragma once

#include <CLI/CLI.hpp>
#include <clocale>
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

// The user's conventions for numbers and dates (LC_NUMERIC, LC_TIME), taken
// from the environment the first time they are needed, so that commands that
// show neither do not load them. The other categories stay "C": messages are
// the program's own English, and so is the system's wording in them.
class UserLocale final : public Locale {
public:
    NumberConventions Numbers() const override { return Loaded().Numbers(); }
    std::string DateText(const CalendarTime& t, DateStyle style) const override { return Loaded().DateText(t, style); }
    std::string TimeText(const CalendarTime& t) const override { return Loaded().TimeText(t); }

private:
    const Locale& Loaded() const {
        if (!loaded_) {
            std::setlocale(LC_NUMERIC, "");
            std::setlocale(LC_TIME, "");
            loaded_ = true;
        }
        return locale_;
    }
    mutable bool loaded_ = false;
    CLibraryLocale locale_;
};

class Context {
public:
    Context();

    TerminalUi ui;
    MemoryFileList list;
    UserLocale locale;
    Session session;
    bool quiet = false;
    std::FILE* out = stdout;
    int exitCode = kSuccess;

    // Opens IMAGE for a command; false after the failure was shown. Commands
    // that only read open it read-only. A command holds the image only briefly,
    // so it maps it rather than read it whole, and its save writes back the
    // pages it wrote.
    bool Open(const std::string& path, bool readOnly);
    // Saves the open image in place with the program's own save (FAT backup
    // refresh, side file). An image opened read-only is not saved. A side file
    // that could not be written fails the command too.
    bool Save();
    // Prints a usage error (exit status 2).
    int Usage(const std::string& message);
};

// A format code from the command line: the media byte in hexadecimal.
bool ParseFormatCode(const std::string& text, std::uint32_t& code);

// Fills the custom row of the format table from "key=value,..." (keys media,
// sectors-per-cluster, reserved, fats, root-entries, sectors, sectors-per-fat,
// sectors-per-track, heads; each defaults to the custom dialog's initial text)
// as the Custom disk-format dialog's OK does. kSuccess, kFailure (the refusal
// was shown) or kUsage.
int ConfigureCustomFormat(Context& ctx, const std::string& keyValues);
// The help text of the --custom option.
std::string CustomFormatHelp();

// Each adds its commands to the program.
void AddImageCommands(CLI::App& app, Context& ctx);
void AddFileCommands(CLI::App& app, Context& ctx);
void AddFloppyCommands(CLI::App& app, Context& ctx);

}  // namespace kv::cli
