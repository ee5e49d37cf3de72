// Commands on floppy drives: drives, read-floppy, write-floppy; the custom
// format of new; register.
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/render.h"
#include "floppy/custom_format.h"
#include "floppy/file_types.h"
#include "floppy/floppy_device.h"
#include "floppy/transfer.h"
#include "platform/messages.h"

namespace kv::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// The progress window of the terminal: one line on stderr that is redrawn, and
// Ctrl+C as its Cancel button.
class TerminalProgress final : public ProgressSink {
public:
    TerminalProgress(Context& ctx) : ctx_(ctx), terminal_(::isatty(2) != 0) {
        g_interrupted = 0;
        previous_ = std::signal(SIGINT, OnInterrupt);
        ctx_.ui.beforeMessage = [this] { EndLine(); };
    }
    ~TerminalProgress() override {
        EndLine();
        std::signal(SIGINT, previous_);
        ctx_.ui.beforeMessage = nullptr;
    }

    void SetDriveText(const std::string& text) override { drive_ = text; }
    // On a terminal the line is redrawn in place; elsewhere (a log) it is
    // written once for every tenth of the transfer.
    void SetPercent(std::uint32_t percent) override {
        std::uint32_t step = terminal_ ? percent : percent / 10 * 10;
        if (ctx_.quiet || (shown_ && step == percent_)) return;
        percent_ = step;
        shown_ = true;
        constexpr std::uint32_t kWidth = 30;
        std::uint32_t filled = step * kWidth / 100;
        std::fprintf(stderr, "%s%s [%s%s] %3u%%%s", terminal_ ? "\r" : "", TerminalText(drive_).c_str(),
                     std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), step,
                     terminal_ ? "" : "\n");
        std::fflush(stderr);
        lineOpen_ = terminal_;
    }
    void PumpMessages() override {
        if (g_interrupted && !ctx_.session.transferCancelled) {
            ctx_.session.transferCancelled = true;
            EndLine();
            std::fprintf(stderr, "Cancelled.\n");
        }
    }
    WindowRef Window() const override { return this; }

private:
    void EndLine() {
        if (!lineOpen_) return;
        std::fprintf(stderr, "\n");
        lineOpen_ = false;
    }

    Context& ctx_;
    std::string drive_;
    bool terminal_;
    std::uint32_t percent_ = 0;
    bool shown_ = false;
    bool lineOpen_ = false;
    void (*previous_)(int) = SIG_DFL;
};

ProgressFactory TerminalProgressFactory(Context& ctx) {
    return [&ctx](TransferKind, WindowRef) { return std::make_unique<TerminalProgress>(ctx); };
}

// DRIVE of the command line: a letter as `drives` lists it ("A" or "A:"), or a
// device or file path that becomes a drive. Gives the drive's line.
bool ResolveDrive(Context& ctx, const std::string& drive, std::string& line) {
    bool letter = (drive.size() == 1 || (drive.size() == 2 && drive[1] == ':')) &&
                  std::isalpha(static_cast<unsigned char>(drive[0]));
    std::uint32_t index = 0;
    if (letter) {
        index = static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(drive[0])) - 'A');
    } else if (!ActiveFloppyBackend().AttachDrive(drive, index)) {
        ctx.Usage("'" + drive + "' is not a drive letter, and this system names drives by letter only");
        return false;
    }
    line = std::string(1, static_cast<char>('A' + index)) + ":";
    for (const std::string& l : ListRemovableDrives()) {
        if (DriveIndexOfLine(l) == index) line = l;
    }
    return true;
}

std::string Plural(std::size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// Ascending sector numbers with runs folded: "3 7-9 1400-1439".
std::string SectorList(const std::vector<std::uint32_t>& sectors) {
    std::string text;
    for (std::size_t i = 0; i < sectors.size();) {
        std::size_t j = i;
        while (j + 1 < sectors.size() && sectors[j + 1] == sectors[j] + 1) ++j;
        if (!text.empty()) text += ' ';
        text += std::to_string(sectors[i]);
        if (j > i) text += '-' + std::to_string(sectors[j]);
        i = j + 1;
    }
    return text;
}

int RunDrives(Context& ctx, const Args&) {
    std::vector<std::string> lines = ListRemovableDrives();
    for (const std::string& line : lines) std::fprintf(ctx.out, "%s\n", TerminalText(line).c_str());
    if (lines.empty() && !ctx.quiet) std::fprintf(stderr, "No removable drives.\n");
    return kSuccess;
}

const char* const kCustomKeys[kCustomFieldCount] = {
    "media",   "sectors-per-cluster", "reserved",          "fats", "root-entries",
    "sectors", "sectors-per-fat",     "sectors-per-track", "heads"};

// The fields of "key=value,..." over the custom dialog's initial texts;
// kUsage (shown) for an item that is not key=value with a known key.
int ParseCustomFields(Context& ctx, const std::string& keyValues, CustomFormatFields& fields) {
    std::size_t start = 0;
    while (start < keyValues.size()) {
        std::size_t end = keyValues.find(',', start);
        if (end == std::string::npos) end = keyValues.size();
        std::string item = keyValues.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        std::size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        std::size_t index = kCustomFieldCount;
        for (std::size_t i = 0; i < kCustomFieldCount; ++i) {
            if (key == kCustomKeys[i]) index = i;
        }
        if (eq == std::string::npos || index == kCustomFieldCount) {
            return ctx.Usage("--custom: '" + item + "' is not key=value with one of the keys of --help");
        }
        fields.texts[index] = item.substr(eq + 1);
    }
    return kSuccess;
}

// The answer --on-error gives to Abort / Retry / Ignore; without it they are
// asked on a terminal.
bool ApplyOnError(Context& ctx, const std::string& onError) {
    if (onError.empty()) return true;
    int answer = onError == "abort" ? IDABORT : onError == "retry" ? IDRETRY : onError == "ignore" ? IDIGNORE : 0;
    if (answer == 0) return false;
    ctx.ui.abortRetryIgnore = answer;
    return true;
}

// Without --on-error (empty), the questions are asked on a terminal.
int RunReadFloppy(Context& ctx, const Args& o) {
    Session& s = ctx.session;
    if (!ApplyOnError(ctx, o.onError)) return ctx.Usage("--on-error takes abort, retry or ignore");
    NewImageDialog dialog;
    dialog.copyFromDisk = true;
    dialog.useFormat = !o.format.empty();
    dialog.createProgress = TerminalProgressFactory(ctx);
    CustomFormatFields fields;
    // Bad --custom keys are found before any question is asked.
    if (o.format == "custom" && ParseCustomFields(ctx, o.custom, fields) != kSuccess) return kUsage;
    if (dialog.useFormat) {
        // The format list as the dialog fills it, with the chosen line selected.
        std::uint32_t code = 0;
        bool custom = o.format == "custom";
        if (!custom && (!ParseFormatCode(o.format, code) || code == 0)) code = 0xFFFFFFFF;
        if (!custom && !o.custom.empty()) return ctx.Usage("--custom needs --format custom");
        dialog.formats = FillFormatList(s.formats);
        dialog.formats.selected = -1;
        for (std::size_t i = 0; i < dialog.formats.lines.size(); ++i) {
            if (dialog.formats.lines[i].itemData == (custom ? 0 : code)) dialog.formats.selected = static_cast<int>(i);
        }
        if (dialog.formats.selected < 0) return ctx.Usage("unknown format '" + o.format + "'");
        dialog.runCustomFormatDialog = [&] {
            return ConfirmCustomFormat(ctx.ui, kMainWindow, fields, s.formats) ? 1 : 0;
        };
    } else if (!o.custom.empty()) {
        return ctx.Usage("--custom needs --format custom");
    }
    if (!ResolveDrive(ctx, o.drive, dialog.driveLine)) return kUsage;

    TransferSummary summary;
    if (!CreateNewImage(s, dialog, &summary)) return kFailure;
    ctx.ui.dialogPaths.push_back(o.image);
    if (!ctx.Save()) return kFailure;
    if (!ctx.quiet) {
        std::fprintf(ctx.out, "Read %s from %s into %s", Plural(summary.sectors, "sector").c_str(),
                     TerminalText(dialog.driveLine).c_str(), TerminalText(o.image).c_str());
        if (summary.ignored.empty()) {
            std::fprintf(ctx.out, "; no sector ignored\n");
        } else {
            std::fprintf(ctx.out, "; %s ignored (%s), recorded in %s\n",
                         Plural(summary.ignored.size(), "sector").c_str(), SectorList(summary.ignored).c_str(),
                         TerminalText(MediaErrorFilePath(o.image)).c_str());
        }
    }
    return kSuccess;
}

int RunWriteFloppy(Context& ctx, const Args& o) {
    Session& s = ctx.session;
    if (!ApplyOnError(ctx, o.onError)) return ctx.Usage("--on-error takes abort, retry or ignore");
    std::string line;
    if (!ResolveDrive(ctx, o.drive, line)) return kUsage;
    if (!ctx.Open(o.image, true)) return kFailure;
    WriteDialog dialog;
    dialog.formatDisk = o.formatTracks;
    dialog.createProgress = TerminalProgressFactory(ctx);
    TransferSummary summary;
    bool written = WriteImageCommand(
        s, kMainWindow, [&] { return WriteImageToFloppy(s, dialog, DriveIndexOfLine(line), &summary) ? 1 : 0; });
    if (!written) return kFailure;
    const std::uint32_t sectors = s.doc.VolumeLength() / kFloppySectorSize;
    if (!ctx.quiet) {
        std::string formatted =
            o.formatTracks ? "Formatted " + Plural(summary.tracksFormatted, "track") + ", wrote " : "Wrote ";
        std::fprintf(ctx.out, "%s%u of %s to %s", formatted.c_str(), summary.sectors, Plural(sectors, "sector").c_str(),
                     TerminalText(line).c_str());
        if (summary.ignored.empty()) {
            std::fprintf(ctx.out, "; no sector ignored\n");
        } else {
            std::fprintf(ctx.out, "; %s ignored (%s)\n", Plural(summary.ignored.size(), "sector").c_str(),
                         SectorList(summary.ignored).c_str());
        }
    }
    // A transfer that was cancelled or aborted left the disk incomplete.
    if (s.transferCancelled) {
        std::fprintf(stderr, "The disk was not written completely.\n");
        return kFailure;
    }
    return kSuccess;
}

// The desktop program beside this one: what the file types open.
std::string DefaultProgramPath() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string self(buffer, static_cast<std::size_t>(n));
    return self.substr(0, self.find_last_of('/') + 1) + "korvane";
}

int RunRegister(Context& ctx, const Args& a) {
    std::string program = a.program.empty() ? DefaultProgramPath() : a.program;
    if (!program.empty() && ::access(program.c_str(), X_OK) != 0 && !ctx.quiet) {
        std::fprintf(stderr, "Note: %s is not an executable program (yet); --program chooses another.\n",
                     TerminalText(program).c_str());
    }
    XdgFileTypeStore store(UserDataHome(), program);
    std::uint32_t error = 0;
    RegisterFileTypes(ctx.ui, kMainWindow, store, program, &error);
    if (error != 0) return kFailure;
    ctx.ui.failures = 0;  // "Registration successful!" carries the stop icon too
    if (!ctx.quiet && store.SystemRegistration().empty()) {
        for (const auto& [path, text] : store.Files()) std::fprintf(ctx.out, "%s\n", TerminalText(path).c_str());
    }
    return kSuccess;
}

}  // namespace

const char* CustomFormatHelp() {
    static const std::string help = [] {
        CustomFormatFields initial;
        std::string text = "Fields of the custom format as key=value,... (with --format custom); keys and defaults:";
        for (std::size_t i = 0; i < kCustomFieldCount; ++i) {
            text += std::string(i == 0 ? " " : ", ") + kCustomKeys[i] + "=" + initial.texts[i];
        }
        return text;
    }();
    return help.c_str();
}

int ConfigureCustomFormat(Context& ctx, const std::string& keyValues) {
    CustomFormatFields fields;
    if (int result = ParseCustomFields(ctx, keyValues, fields); result != kSuccess) return result;
    return ConfirmCustomFormat(ctx.ui, kMainWindow, fields, ctx.session.formats) ? kSuccess : kFailure;
}

std::vector<Command> FloppyCommands() {
    const char* const driveHelp = "A drive letter as 'drives' lists it, or a device or file path";
    static const std::vector<std::string> answers = {"abort", "retry", "ignore"};
    return {
        {"drives", "List the removable drives and their letters", RunDrives, {}},
        {"read-floppy",
         "Read a floppy into a new image file",
         RunReadFloppy,
         {{"DRIVE", driveHelp, &Args::drive, true},
          {"IMAGE", "The image file to save", &Args::image, true},
          {"--format",
           "Read this many sectors: the format's media byte in hex, or custom (default: as the boot sector says)",
           &Args::format},
          {"--custom", CustomFormatHelp(), &Args::custom},
          {"--on-error", "What to do with a sector that cannot be read", &Args::onError, false, nullptr, &answers}}},
        {"write-floppy",
         "Write an image onto a floppy",
         RunWriteFloppy,
         {{"IMAGE", "The image file", &Args::image, true},
          {"DRIVE", driveHelp, &Args::drive, true},
          {"--format-tracks", "Format every track before writing", &Args::formatTracks},
          {"--on-error", "What to do with a sector that cannot be written", &Args::onError, false, nullptr, &answers}}},
        {"register",
         "Register the desktop program for .dsk and .flp images (MIME type, desktop entry)",
         RunRegister,
         {{"--program", "The program the file types open (default: korvane beside this one)", &Args::program}}},
    };
}

}  // namespace kv::cli
