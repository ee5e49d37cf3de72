// The command-line program: one session over the core, with the terminal's Ui
// and an in-memory file list. Each group of commands gives its table here.
#pragma once

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <variant>
#include <vector>

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
const char* CustomFormatHelp();

// What the command line gives a command: each command's table row names the
// fields it takes.
struct Args {
    std::string image, drive, name, newName, format, custom, onError, program;
    std::string folder;
    std::vector<std::string> names;  // names in the image, host paths, or attrib's names and changes
    std::optional<std::string> text;
    std::vector<std::uint32_t> add, remove;
    bool json = false, all = false, overwrite = false, clear = false, force = false, formatTracks = false;
};

// An option or positional of a command: a flag for a bool field, a value (or
// values) otherwise.
struct Option {
    using Field = std::variant<std::string Args::*, std::vector<std::string> Args::*,
                               std::optional<std::string> Args::*, std::vector<std::uint32_t> Args::*, bool Args::*>;
    const char* names;  // as CLI11 takes them: "IMAGE", "-d,--directory"
    const char* help;
    Field field;
    bool required = false;
    const char* initial = nullptr;                      // a string field's value when the option is not given
    const std::vector<std::string>* choices = nullptr;  // the only values taken (none: any)
};

struct Command {
    const char* name;
    const char* help;
    int (*run)(Context& ctx, const Args& args);
    std::vector<Option> options{};
    // Words that are not options are taken as they come (attrib's +h and -h):
    // help is --help only, and the extra words join `names`.
    bool takesWords = false;
};

// The commands of each group, in the order the help lists them.
std::vector<Command> ImageCommands();
std::vector<Command> FileCommands();
std::vector<Command> FloppyCommands();

}  // namespace kv::cli
