// Commands on the files of an image: list, add, extract, delete, rename,
// attrib, label and check. Each runs the core operations the desktop program
// runs, on the command line's file list and Ui.
#include <algorithm>
#include <cstdio>
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

int RunList(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, true)) return kFailure;
    std::fputs(ListOutput(ctx.session, a.json).c_str(), ctx.out);
    return kSuccess;
}

int RunAdd(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, false)) return kFailure;
    // One change for all the files: the system area is copied once.
    HostFileAdder adder(ctx.session);
    for (const std::string& path : a.names) {
        const int shown = ctx.ui.shown;
        if (!adder.Add(path)) {
            // Where the core shows nothing (an image that ends inside its
            // root directory), say what failed.
            if (ctx.ui.shown == shown) std::fprintf(stderr, "%s: not added to %s\n", path.c_str(), a.image.c_str());
            // Unlike files dropped on the window, the earlier ones are not
            // saved either: the image stays as it was.
            return kFailure;
        }
    }
    adder.Commit();
    return SaveIfModified(ctx, kSuccess);
}

int RunExtract(Context& ctx, const Args& o) {
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

int RunDelete(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, false) || !SelectMatching(ctx, a.names)) return kFailure;
    DeleteSelection(ctx.session, kMainWindow);
    // Rows still selected were not deleted: directories, No or Cancel.
    return SaveIfModified(ctx, ctx.list.SelectedCount() == 0 ? kSuccess : kFailure);
}

int RunRename(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, false) || !SelectMatching(ctx, {a.name})) return kFailure;
    if (ctx.list.SelectedCount() != 1) {
        std::fprintf(stderr, "%s: matches %zu files; rename takes one\n", TerminalText(a.name).c_str(),
                     ctx.list.SelectedCount());
        return kFailure;
    }
    std::size_t row = 0;
    while (!ctx.list.IsSelected(row)) ++row;
    if (!RenameEntry(ctx.session, kMainWindow, a.newName, row)) return kFailure;
    return SaveIfModified(ctx, kSuccess);
}

// `names` holds names and +x / -x changes, in any order.
int RunAttrib(Context& ctx, const Args& o) {
    std::vector<std::string> names;
    std::uint8_t set = 0, clear = 0;
    for (const std::string& a : o.names) {
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
            std::uint8_t bits =
                static_cast<std::uint8_t>(((slot[dir::kAttributes] & attr::kUserChangeable) | set) & ~clear);
            SetEntryAttributes(ctx.session, slot, bits);
        }
        if (!ctx.quiet || !change) {
            std::fprintf(ctx.out, "%s  %s\n", AttributeLetters(slot[dir::kAttributes]).c_str(),
                         Cp437ToUtf8(ctx.list.RowAt(i).text).c_str());
        }
    }
    return SaveIfModified(ctx, kSuccess);
}

int RunLabel(Context& ctx, const Args& a) {
    const std::optional<std::string>& text = a.text;
    if (text && a.clear) return ctx.Usage("label: give a label or --clear, not both");
    std::string label;
    if (text) {
        label = Utf8ToCp437(*text);
        if (label.size() > dir::kShortNameLength) return ctx.Usage("label: at most 11 characters");
    }
    const bool change = text || a.clear;
    if (!ctx.Open(a.image, !change)) return kFailure;
    if (!change) {
        std::string current = VolumeLabelText(ctx.session.doc);
        if (!current.empty()) std::fprintf(ctx.out, "%s\n", TerminalText(Cp437ToUtf8(current)).c_str());
        return kSuccess;
    }
    if (!ApplyVolumeLabel(ctx.session, kMainWindow, label)) return kFailure;
    return SaveIfModified(ctx, kSuccess);
}

int RunCheck(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, true)) return kFailure;
    bool clean = false;
    std::fputs(CheckOutput(ctx.session, a.image, a.json, ctx.quiet, clean).c_str(), ctx.out);
    return clean ? kSuccess : kFailure;
}

}  // namespace

std::vector<Command> FileCommands() {
    const Option image{"IMAGE", "The image file", &Args::image, true};
    const Option json{"--json", "Print JSON", &Args::json};
    const Option names{"NAME", "Names of files in the image", &Args::names};
    return {
        {"list", "List the files of the root directory", RunList, {image, json}},
        {"add",
         "Add host files and folders, in order; stops at the first failure",
         RunAdd,
         {image, {"PATH", "Host files or folders", &Args::names, true}}},
        {"extract",
         "Copy files out of the image (names take * and ?)",
         RunExtract,
         {image,
          names,
          {"-d,--directory", "The folder to write into (default: the current one)", &Args::folder, false, "."},
          {"--all", "Every file of the root directory", &Args::all},
          {"--overwrite", "Replace existing host files without asking", &Args::overwrite}}},
        {"delete",
         "Delete files (asks for each unless --yes)",
         RunDelete,
         {image, {"NAME", "Names of files in the image", &Args::names, true}}},
        {"rename",
         "Give a file or directory a new 8.3 name",
         RunRename,
         {image, {"NAME", "The entry's name", &Args::name, true}, {"NEWNAME", "The new name", &Args::newName, true}}},
        // -h and -a are attribute changes here, not options.
        {"attrib",
         "Show or change attributes: +r -r +h -h +a -a +s -s",
         RunAttrib,
         {image, {"ARGS", "Names of files and attribute changes", &Args::names}},
         true},
        {"label",
         "Show, set or remove the volume label",
         RunLabel,
         {image,
          {"TEXT", "The new label (at most 11 characters, kept as typed)", &Args::text},
          {"--clear", "Remove the label", &Args::clear}}},
        {"check",
         "Report lost and cross-linked clusters, chains that do not fit their sizes, differing FAT copies",
         RunCheck,
         {image, json}},
    };
}

}  // namespace kv::cli
