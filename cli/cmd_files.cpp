// Commands on the files of an image: list, add, extract, delete, rename,
// attrib, label and check. Each runs the core operations the desktop program
// runs, on the command line's file list and Ui.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/render.h"
#include "document/bytes.h"
#include "fat12/add.h"
#include "fat12/check.h"
#include "fat12/directory.h"
#include "fat12/entries.h"
#include "fat12/extract.h"
#include "fat12/list_walk.h"
#include "platform/codepage.h"
#include "platform/dos_time.h"

namespace kv::cli {
namespace {

std::uint8_t* SlotOf(Context& ctx, std::size_t row) {
    return ctx.session.doc.data.get() + ctx.list.RowAt(row).slotOffset;
}

// `*` matches any run, `?` any one character; letters without case.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || UpperCp437(pattern[p]) == UpperCp437(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Selects the rows whose shown names match any of the patterns (UTF-8). False,
// after a message, when a pattern matches nothing.
bool SelectMatching(Context& ctx, const std::vector<std::string>& patterns) {
    ctx.list.SelectAll(false);
    for (const std::string& pattern : patterns) {
        // Characters the code page lacks can match no name.
        std::string bytes = Utf8ToCp437(pattern, '\0');
        bool any = false;
        for (std::size_t i = 0; i < ctx.list.RowCount(); ++i) {
            if (WildcardMatch(bytes, ctx.list.RowAt(i).text)) {
                ctx.list.SetSelected(i, true);
                any = true;
            }
        }
        if (!any) {
            std::fprintf(stderr, "%s: no such file in the image\n", TerminalText(pattern).c_str());
            return false;
        }
    }
    return true;
}

// A command that failed saves nothing, not even a repair made at opening.
int SaveIfModified(Context& ctx, int result) {
    if (result == kSuccess && ctx.session.doc.modified && !ctx.Save()) return kFailure;
    return result;
}

int RunList(Context& ctx, const std::string& image, bool json) {
    if (!ctx.Open(image, true)) return kFailure;
    std::fputs(ListOutput(ctx.session, json).c_str(), ctx.out);
    return kSuccess;
}

int RunAdd(Context& ctx, const std::string& image, const std::vector<std::string>& paths) {
    if (!ctx.Open(image, false)) return kFailure;
    for (const std::string& path : paths) {
        const int shown = ctx.ui.shown;
        if (!AddHostFile(ctx.session, path)) {
            // Where the core shows nothing (an image that ends inside its
            // root directory), say what failed.
            if (ctx.ui.shown == shown) std::fprintf(stderr, "%s: not added to %s\n", path.c_str(), image.c_str());
            // Unlike files dropped on the window, the earlier ones are not
            // saved either: the image stays as it was.
            return kFailure;
        }
    }
    return SaveIfModified(ctx, kSuccess);
}

struct ExtractOptions {
    std::string image;
    std::vector<std::string> names;
    std::string folder = ".";
    bool all = false;
    bool overwrite = false;
};

int RunExtract(Context& ctx, const ExtractOptions& o) {
    if (o.names.empty() && !o.all) return ctx.Usage("extract: name the files, or give --all");
    if (o.folder.empty()) return ctx.Usage("extract: -d names no folder");
    if (!ctx.Open(o.image, true)) return kFailure;
    if (o.all) {
        for (std::size_t i = 0; i < ctx.list.RowCount(); ++i) {
            ctx.list.SetSelected(i, (SlotOf(ctx, i)[dir::kAttributes] & attr::kDirectory) == 0);
        }
    }
    if (!o.names.empty() && !SelectMatching(ctx, o.names)) return kFailure;
    if (o.all && !o.names.empty()) {
        for (std::size_t i = 0; i < ctx.list.RowCount(); ++i) {
            if ((SlotOf(ctx, i)[dir::kAttributes] & attr::kDirectory) == 0) ctx.list.SetSelected(i, true);
        }
    }
    std::string folder = o.folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    // A corrupted stored file is written as far as it goes, with a warning:
    // the command has failed all the same.
    const int warnings = ctx.ui.warnings;
    if (o.overwrite) {
        // As dragging out does: no questions, existing files are replaced.
        std::vector<std::string> written;
        bool all = ExtractSelectionIntoFolder(ctx.session, kMainWindow, folder, written);
        return all && ctx.ui.warnings == warnings ? kSuccess : kFailure;
    }
    // The Extract file command: the "save dialog" of each file confirms its
    // path in the folder; an existing file brings the replace question.
    bool refused = false;
    for (std::size_t i = 0; i < ctx.list.RowCount(); ++i) {
        if (!ctx.list.IsSelected(i)) continue;
        if (SlotOf(ctx, i)[dir::kAttributes] & (attr::kDirectory | attr::kVolumeLabel)) {
            refused = true;
        } else {
            ctx.ui.dialogPaths.push_back(folder + "/" + SafeHostFileName(ctx.list.RowAt(i).text));
        }
    }
    ExtractSelection(ctx.session, kMainWindow);
    bool finished = ctx.ui.dialogPaths.empty();
    ctx.ui.dialogPaths.clear();
    return finished && !refused && ctx.ui.failures == 0 && ctx.ui.warnings == warnings ? kSuccess : kFailure;
}

int RunDelete(Context& ctx, const std::string& image, const std::vector<std::string>& names) {
    if (!ctx.Open(image, false) || !SelectMatching(ctx, names)) return kFailure;
    DeleteSelection(ctx.session, kMainWindow);
    // Rows still selected were not deleted: directories, No or Cancel.
    return SaveIfModified(ctx, ctx.list.SelectedCount() == 0 ? kSuccess : kFailure);
}

int RunRename(Context& ctx, const std::string& image, const std::string& name, const std::string& newName) {
    if (!ctx.Open(image, false) || !SelectMatching(ctx, {name})) return kFailure;
    if (ctx.list.SelectedCount() != 1) {
        std::fprintf(stderr, "%s: matches %zu files; rename takes one\n", TerminalText(name).c_str(),
                     ctx.list.SelectedCount());
        return kFailure;
    }
    std::size_t row = 0;
    while (!ctx.list.IsSelected(row)) ++row;
    if (!RenameEntry(ctx.session, kMainWindow, newName, row)) return kFailure;
    return SaveIfModified(ctx, kSuccess);
}

struct AttribOptions {
    std::string image;
    std::vector<std::string> args;  // names and +x / -x changes, in any order
};

int RunAttrib(Context& ctx, const AttribOptions& o, const std::vector<std::string>& extras) {
    std::vector<std::string> names;
    std::uint8_t set = 0, clear = 0;
    std::vector<std::string> all = o.args;
    all.insert(all.end(), extras.begin(), extras.end());
    for (const std::string& a : all) {
        if (a.size() == 2 && (a[0] == '+' || a[0] == '-')) {
            std::uint8_t bit = 0;
            switch (a[1] | 0x20) {
                case 'r': bit = attr::kReadOnly; break;
                case 'h': bit = attr::kHidden; break;
                case 'a': bit = attr::kArchive; break;
                case 's': bit = attr::kSystem; break;
                default: return ctx.Usage("attrib: unknown change '" + a + "' (use +r -r +h -h +a -a +s -s)");
            }
            (a[0] == '+' ? set : clear) |= bit;
            continue;
        }
        if (!a.empty() && a[0] == '-') return ctx.Usage("attrib: unknown option '" + a + "'");
        names.push_back(a);
    }
    if (names.empty()) return ctx.Usage("attrib: name the files");
    if (set & clear) return ctx.Usage("attrib: an attribute cannot be both set and cleared");
    const bool change = (set | clear) != 0;
    if (!ctx.Open(o.image, !change) || !SelectMatching(ctx, names)) return kFailure;
    for (std::size_t i = 0; i < ctx.list.RowCount(); ++i) {
        if (!ctx.list.IsSelected(i)) continue;
        std::uint8_t* slot = SlotOf(ctx, i);
        if (change) {
            std::uint8_t bits = static_cast<std::uint8_t>(((slot[dir::kAttributes] & attr::kUserChangeable) | set) & ~clear);
            SetEntryAttributes(ctx.session, slot, bits);
        }
        if (!ctx.quiet || !change) {
            std::fprintf(ctx.out, "%s  %s\n", AttributeLetters(slot[dir::kAttributes]).c_str(),
                         Cp437ToUtf8(ctx.list.RowAt(i).text).c_str());
        }
    }
    return SaveIfModified(ctx, kSuccess);
}

int RunLabel(Context& ctx, const std::string& image, const std::optional<std::string>& text, bool clear) {
    if (text && clear) return ctx.Usage("label: give a label or --clear, not both");
    std::string label;
    if (text) {
        label = Utf8ToCp437(*text);
        if (label.size() > dir::kShortNameLength) return ctx.Usage("label: at most 11 characters");
    }
    const bool change = text || clear;
    if (!ctx.Open(image, !change)) return kFailure;
    if (!change) {
        std::string current = VolumeLabelText(ctx.session.doc);
        if (!current.empty()) std::fprintf(ctx.out, "%s\n", TerminalText(Cp437ToUtf8(current)).c_str());
        return kSuccess;
    }
    if (!ApplyVolumeLabel(ctx.session, kMainWindow, label)) return kFailure;
    return SaveIfModified(ctx, kSuccess);
}

int RunCheck(Context& ctx, const std::string& image, bool json) {
    if (!ctx.Open(image, true)) return kFailure;
    bool clean = false;
    std::fputs(CheckOutput(ctx.session, image, json, ctx.quiet, clean).c_str(), ctx.out);
    return clean ? kSuccess : kFailure;
}

}  // namespace

void AddFileCommands(CLI::App& app, Context& ctx) {
    {
        auto image = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        CLI::App* cmd = app.add_subcommand("list", "List the files of the root directory");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_flag("--json", *json, "Print JSON");
        cmd->callback([&ctx, image, json] { ctx.exitCode = RunList(ctx, *image, *json); });
    }
    {
        auto image = std::make_shared<std::string>();
        auto paths = std::make_shared<std::vector<std::string>>();
        CLI::App* cmd = app.add_subcommand("add", "Add host files and folders, in order; stops at the first failure");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_option("PATH", *paths, "Host files or folders")->required();
        cmd->callback([&ctx, image, paths] { ctx.exitCode = RunAdd(ctx, *image, *paths); });
    }
    {
        auto o = std::make_shared<ExtractOptions>();
        CLI::App* cmd = app.add_subcommand("extract", "Copy files out of the image (names take * and ?)");
        cmd->add_option("IMAGE", o->image, "The image file")->required();
        cmd->add_option("NAME", o->names, "Names of files in the image");
        cmd->add_option("-d,--directory", o->folder, "The folder to write into (default: the current one)");
        cmd->add_flag("--all", o->all, "Every file of the root directory");
        cmd->add_flag("--overwrite", o->overwrite, "Replace existing host files without asking");
        cmd->callback([&ctx, o] { ctx.exitCode = RunExtract(ctx, *o); });
    }
    {
        auto image = std::make_shared<std::string>();
        auto names = std::make_shared<std::vector<std::string>>();
        CLI::App* cmd = app.add_subcommand("delete", "Delete files (asks for each unless --yes)");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_option("NAME", *names, "Names of files in the image")->required();
        cmd->callback([&ctx, image, names] { ctx.exitCode = RunDelete(ctx, *image, *names); });
    }
    {
        auto image = std::make_shared<std::string>();
        auto name = std::make_shared<std::string>();
        auto newName = std::make_shared<std::string>();
        CLI::App* cmd = app.add_subcommand("rename", "Give a file or directory a new 8.3 name");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_option("NAME", *name, "The entry's name")->required();
        cmd->add_option("NEWNAME", *newName, "The new name")->required();
        cmd->callback([&ctx, image, name, newName] { ctx.exitCode = RunRename(ctx, *image, *name, *newName); });
    }
    {
        auto o = std::make_shared<AttribOptions>();
        CLI::App* cmd = app.add_subcommand("attrib", "Show or change attributes: +r -r +h -h +a -a +s -s");
        // -h and -a are attribute changes here, not options.
        cmd->set_help_flag("--help", "Print this help message and exit");
        cmd->allow_extras();
        cmd->add_option("IMAGE", o->image, "The image file")->required();
        cmd->add_option("ARGS", o->args, "Names of files and attribute changes");
        cmd->callback([&ctx, o, cmd] { ctx.exitCode = RunAttrib(ctx, *o, cmd->remaining()); });
    }
    {
        auto image = std::make_shared<std::string>();
        auto text = std::make_shared<std::optional<std::string>>();
        auto clear = std::make_shared<bool>(false);
        CLI::App* cmd = app.add_subcommand("label", "Show, set or remove the volume label");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_option("TEXT", *text, "The new label (at most 11 characters, kept as typed)");
        cmd->add_flag("--clear", *clear, "Remove the label");
        cmd->callback([&ctx, image, text, clear] { ctx.exitCode = RunLabel(ctx, *image, *text, *clear); });
    }
    {
        auto image = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        CLI::App* cmd = app.add_subcommand(
            "check", "Report lost and cross-linked clusters, chains that do not fit their sizes, differing FAT copies");
        cmd->add_option("IMAGE", *image, "The image file")->required();
        cmd->add_flag("--json", *json, "Print JSON");
        cmd->callback([&ctx, image, json] { ctx.exitCode = RunCheck(ctx, *image, *json); });
    }
}

}  // namespace kv::cli
