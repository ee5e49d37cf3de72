// korvane-cli: the command-line program over the same core as the desktop one.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <sstream>

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

}  // namespace kv::cli

int main(int argc, char** argv) {
    // The locale is loaded when a number or date is first shown (UserLocale).
    // A file grown past the size limit fails its write (and is removed), it
    // does not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    kv::cli::Context ctx;

    CLI::App app{"Korvane: manage FAT12 floppy-disk images (MS-DOS and MSX-DOS) from the command line.",
                 "korvane-cli"};
    app.require_subcommand(1);
    app.fallthrough(false);
    bool yes = false, no = false;
    app.add_flag("--yes", yes, "Answer every question Yes");
    app.add_flag("--no", no, "Answer every question No");
    app.add_flag("-q,--quiet", ctx.quiet, "No progress output");

    kv::cli::AddImageCommands(app, ctx);
    kv::cli::AddFileCommands(app, ctx);
    kv::cli::AddFloppyCommands(app, ctx);

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
