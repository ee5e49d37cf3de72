// korvane-cli: the command-line program over the same core as the desktop one.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <sstream>
#include <string_view>
#include <type_traits>

#include "cli/cli.h"
#include "cli/render.h"
#include "fat12/directory.h"
#include "platform/messages.h"

namespace kv::cli {

Context::Context() : session(ui, list, locale, ListRootDirectory) {}

bool Context::Open(const std::string& path, bool readOnly) {
    ui.declineQuietly = readOnly;
    bool opened = OpenImage(session, kMainWindow, path, readOnly, ImageLoad::Map);
    ui.declineQuietly = false;
    return opened;
}

bool Context::Save() {
    // The desktop program offers no Save for a read-only image; here the command
    // that changed it fails the same way writing would.
    if (session.doc.readOnly) {
        ShowSystemError(ui, kMainWindow, session.doc.path, ERROR_ACCESS_DENIED, std::nullopt, MB_ICONHAND);
        return false;
    }
    bool sideFileSaved = true;
    return SaveImage(session, &sideFileSaved) && sideFileSaved;
}

int Context::Usage(const std::string& message) {
    std::fprintf(stderr, "korvane-cli: %s\n", TerminalText(message).c_str());
    exitCode = kUsage;
    return kUsage;
}

namespace {

// Adds one command: its own Args, its options, and its run as the callback.
void AddCommand(CLI::App& app, Context& ctx, const Command& c) {
    auto args = std::make_shared<Args>();
    CLI::App* cmd = app.add_subcommand(c.name, c.help);
    if (c.takesWords) {
        cmd->set_help_flag("--help", "Print this help message and exit");
        cmd->allow_extras();
    }
    for (const Option& o : c.options) {
        CLI::Option* option = std::visit(
            [&](auto field) {
                auto& target = (*args).*field;
                if constexpr (std::is_same_v<std::remove_reference_t<decltype(target)>, bool>) {
                    return cmd->add_flag(o.names, target, o.help);
                } else {
                    if constexpr (std::is_same_v<std::remove_reference_t<decltype(target)>, std::string>) {
                        if (o.initial != nullptr) target = o.initial;
                    }
                    return cmd->add_option(o.names, target, o.help);
                }
            },
            o.field);
        if (o.required) option->required();
        if (o.choices != nullptr) option->check(CLI::IsMember(*o.choices));
    }
    cmd->callback([&ctx, args, cmd, run = c.run, words = c.takesWords] {
        if (words) {
            std::vector<std::string> more = cmd->remaining();
            args->names.insert(args->names.end(), more.begin(), more.end());
        }
        ctx.exitCode = run(ctx, *args);
    });
}

// The command that argv names, when parsing needs no other: it follows only
// the global flags, and no later word names a command. Otherwise (help, no
// command, an unknown one, or a word that might be read as another command)
// every command is added, so that the help and the errors read the same.
const Command* NamedCommand(int argc, char** argv, const std::vector<Command>& commands) {
    auto find = [&](std::string_view word) -> const Command* {
        for (const Command& c : commands) {
            if (std::string_view(c.name) == word) return &c;
        }
        return nullptr;
    };
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word != "--yes" && word != "--no" && word != "-q" && word != "--quiet") break;
    }
    const Command* named = i < argc ? find(argv[i]) : nullptr;
    for (int j = i + 1; named != nullptr && j < argc; ++j) {
        if (find(argv[j]) != nullptr) named = nullptr;
    }
    return named;
}

}  // namespace
}  // namespace kv::cli

int main(int argc, char** argv) {
    // The locale is loaded when a number or date is first shown (UserLocale).
    // A file grown past the size limit fails its write (and is removed), it
    // does not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    kv::cli::Context ctx;

    CLI::App app{"Korvane: manage FAT12 floppy-disk images (MS-DOS and MSX-DOS) from the command line.", "korvane-cli"};
    app.require_subcommand(1);
    app.fallthrough(false);
    bool yes = false, no = false;
    app.add_flag("--yes", yes, "Answer every question Yes");
    app.add_flag("--no", no, "Answer every question No");
    app.add_flag("-q,--quiet", ctx.quiet, "No progress output");

    std::vector<kv::cli::Command> commands = kv::cli::ImageCommands();
    for (auto group : {kv::cli::FileCommands, kv::cli::FloppyCommands}) {
        for (kv::cli::Command& c : group()) commands.push_back(std::move(c));
    }
    const kv::cli::Command* named = kv::cli::NamedCommand(argc, argv, commands);
    for (const kv::cli::Command& c : commands) {
        if (named == nullptr || named == &c) kv::cli::AddCommand(app, ctx, c);
    }

    app.parse_complete_callback([&] {
        if (yes && no) throw CLI::ValidationError("--yes and --no", "choose one of them");
        ctx.ui.mode = yes ? kv::cli::AnswerMode::Yes : no ? kv::cli::AnswerMode::No : kv::cli::AnswerMode::Ask;
        ctx.ui.interactive = ::isatty(0) && ::isatty(2);
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help, version and usage errors; the arguments they quote may hold any bytes.
        std::ostringstream out, err;
        const int status = app.exit(e, out, err);
        std::fputs(kv::cli::TerminalText(out.str()).c_str(), stdout);
        std::fputs(kv::cli::TerminalText(err.str()).c_str(), stderr);
        return status == 0 ? kv::cli::kSuccess : kv::cli::kUsage;
    } catch (const std::exception& e) {
        // Nothing a user gives may end the program without a word.
        std::fprintf(stderr, "korvane-cli: %s\n", kv::cli::TerminalText(e.what()).c_str());
        ctx.exitCode = kv::cli::kFailure;
    }
    // Leave no image open behind: a command that failed half-way does not save.
    ctx.session.doc.modified = false;
    kv::CloseImage(ctx.session, false);
    // A failure was shown: the command failed, whatever it returned.
    if (ctx.exitCode == kv::cli::kSuccess && ctx.ui.failures > 0) ctx.exitCode = kv::cli::kFailure;
    return ctx.exitCode;
}
