// Commands on whole images: new, info, errors.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/render.h"
#include "document/boot_sector.h"
#include "document/bytes.h"
#include "fat12/entries.h"
#include "fat12/fat.h"
#include "fat12/properties.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv::cli {
namespace {

int RunNew(Context& ctx, const Args& o) {
    std::uint32_t code = 0;
    if (o.format == "custom") {
        if (int result = ConfigureCustomFormat(ctx, o.custom); result != kSuccess) return result;
        code = kCustomFormatCode;
    } else if (!o.custom.empty()) {
        return ctx.Usage("--custom needs --format custom");
    } else if (!ParseFormatCode(o.format, code) || FindDiskFormat(ctx.session.formats, code).totalSectors == 0) {
        std::string list;
        for (std::uint32_t media = 0xF0; media <= 0xFF; ++media) {
            if (FindDiskFormat(ctx.session.formats, media).totalSectors != 0) list += " " + HexByte(media);
        }
        return ctx.Usage("unknown format '" + o.format + "' (known:" + list + ", custom)");
    }
    Session& s = ctx.session;
    if (!BuildBlankImage(s, kMainWindow, code)) return kFailure;
    CreateMediaErrorList(s.doc.errors, s.doc.geometry.totalSectors);
    ctx.ui.dialogPaths.push_back(o.image);
    ctx.ui.overwriteWithoutAsking = o.force;
    if (!ctx.Save()) {
        if (ctx.ui.failures == 0) {
            std::fprintf(stderr, "%s: not replaced (--force replaces it)\n", TerminalText(o.image).c_str());
        }
        return kFailure;
    }
    if (!ctx.quiet) {
        std::fprintf(ctx.out, "%s: %s, %u bytes\n", TerminalText(o.image).c_str(),
                     code == kCustomFormatCode ? "custom format"
                                               : LoadText(FindDiskFormat(s.formats, code).nameStringId).c_str(),
                     s.doc.size);
    }
    return kSuccess;
}

int RunInfo(Context& ctx, const Args& a) {
    if (!ctx.Open(a.image, true)) return kFailure;
    std::fputs(InfoOutput(ctx.session, a.image, a.json).c_str(), ctx.out);
    return kSuccess;
}

int RunErrors(Context& ctx, const Args& o) {
    bool change = o.clear || !o.add.empty() || !o.remove.empty();
    if (!ctx.Open(o.image, !change)) return kFailure;
    ImageDocument& doc = ctx.session.doc;
    ErrorsPage page = FillErrorsPage(doc);
    if (change) {
        if (!page.hasList) {
            ShowStringMessage(ctx.ui, kMainWindow, str::kOutOfMemory, MB_ICONHAND);
            return kFailure;
        }
        for (std::uint32_t n : o.add) {
            if (ReadSectorNumber(ctx.ui, kMainWindow, std::to_string(n), doc.geometry.totalSectors) < 0) {
                return kFailure;
            }
        }
        // As the Errors page does: its rows without the removed ones, the added
        // ones at the end, applied to a cleared list.
        std::vector<std::string> rows;
        for (const std::string& row : o.clear ? std::vector<std::string>{} : page.rows) {
            if (std::find(o.remove.begin(), o.remove.end(), std::stoul(row)) == o.remove.end()) rows.push_back(row);
        }
        for (std::uint32_t n : o.add) rows.push_back(std::to_string(n));
        ApplyErrorsPage(doc.errors, rows);
        if (!ctx.Save()) return kFailure;
        page = FillErrorsPage(doc);
    }
    if (!ctx.quiet || !change) {
        for (const std::string& n : page.rows) std::fprintf(ctx.out, "%s\n", n.c_str());
    }
    return kSuccess;
}

}  // namespace

bool ParseFormatCode(const std::string& text, std::uint32_t& code) {
    std::string_view t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.remove_prefix(2);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value, 16);
    if (t.empty() || t.size() > 2 || error != std::errc() || end != t.data() + t.size()) return false;
    code = value;
    return true;
}

std::vector<Command> ImageCommands() {
    const Option image{"IMAGE", "The image file", &Args::image, true};
    return {
        {"new",
         "Make a new blank image (MSX-DOS boot sector)",
         RunNew,
         {{"IMAGE", "The image file to write", &Args::image, true},
          {"--format", "Media byte of the format in hex: F0, F8-FF (default F9), or custom", &Args::format, false,
           "F9"},
          {"--custom", CustomFormatHelp(), &Args::custom},
          {"--force", "Replace an existing file", &Args::force}}},
        {"info",
         "Show an image's geometry, OEM name, label, used and free space, and bad sectors",
         RunInfo,
         {image, {"--json", "Print JSON", &Args::json}}},
        {"errors",
         "Show or change the list of bad sectors (the .der side file)",
         RunErrors,
         {image,
          {"--add", "Mark sectors as bad", &Args::add},
          {"--remove", "Unmark sectors", &Args::remove},
          {"--clear", "Unmark every sector", &Args::clear}}},
    };
}

}  // namespace kv::cli
