#include "cli/render.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "document/boot_sector.h"
#include "fat12/check.h"
#include "fat12/directory.h"
#include "fat12/properties.h"
#include "platform/codepage.h"
#include "platform/string_table.h"

namespace kv::cli {
namespace {

// The length of the well-formed UTF-8 character at text[i] (no overlong forms,
// no surrogates, nothing above U+10FFFF), with its code point; 0 when the byte
// there starts none.
std::size_t Utf8CharAt(std::string_view text, std::size_t i, char32_t& c) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (b < 0x80) {
        c = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0F;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    return length;
}

std::string CleanText(std::string_view text, bool terminal) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        // Runs of ASCII that need no replacing are taken whole.
        std::size_t run = i;
        while (run < text.size()) {
            const auto b = static_cast<unsigned char>(text[run]);
            if (b >= 0x80 || (terminal && ((b < 0x20 && b != '\n') || b == 0x7F))) break;
            ++run;
        }
        out.append(text.data() + i, run - i);
        if (run == text.size()) break;
        i = run;
        char32_t c = 0;
        const std::size_t length = Utf8CharAt(text, i, c);
        const bool control = terminal && ((c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F));
        if (length == 0 || control) {
            out += kReplacement;
        } else {
            out += text.substr(i, length);
        }
        i += length == 0 ? 1 : length;
    }
    return out;
}

// Listings for other programs to read: ISO dates, sizes without grouping.
const IsoLocale kIso;

nlohmann::json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(JsonText(text));
}

// JSON escapes the C0 controls itself; DEL and the C1 controls, which it
// leaves as they are, are escaped here too, so that the JSON keeps every
// character and still sends no control character to a terminal.
std::string Dump(const nlohmann::json& j) {
    const std::string json = j.dump(2);
    std::string out;
    out.reserve(json.size() + 1);
    for (std::size_t i = 0; i < json.size(); ++i) {
        const auto b = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (b == 0x7F || (b == 0xC2 && next >= 0x80 && next <= 0x9F)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", b == 0x7F ? 0x7Fu : static_cast<unsigned>(next));
            out += escape;
            if (b == 0xC2) ++i;
        } else {
            out += json[i];
        }
    }
    return out + "\n";
}

}  // namespace

std::string JsonText(std::string_view text) { return CleanText(text, false); }

std::string TerminalText(std::string_view text) { return CleanText(text, true); }

std::string HexByte(std::uint32_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X", value & 0xFF);
    return buffer;
}

std::string ListOutput(const Session& s, bool json) {
    const ImageDocument& doc = s.doc;
    nlohmann::json rows = nlohmann::json::array();
    std::string text;
    for (std::size_t i = 0; i < s.list.RowCount(); ++i) {
        const ListRow& row = s.list.RowAt(i);
        const std::uint8_t* slot = doc.data.get() + row.slotOffset;
        const DirEntry e = ReadDirEntry(slot);
        const std::string name = Cp437ToUtf8(row.text);
        std::string date = SupplyCellText(slot, ListColumn::LastChange, kIso);
        if (json) {
            std::replace(date.begin(), date.end(), ' ', 'T');
            rows.push_back({{"name", JsonText(name)},
                            {"size", e.size},
                            {"date", TextOrNull(date)},
                            {"attributes", e.attributes},
                            {"directory", (e.attributes & attr::kDirectory) != 0},
                            {"firstCluster", e.firstCluster},
                            {"slot", (row.slotOffset - doc.bootOffset - RootDirectoryOffset(doc.geometry)) / 32}});
        } else {
            // "%-12s %10s  %-19s  %s\n", without printf's parsing for every row.
            const std::string size = SupplyCellText(slot, ListColumn::Size, kIso);
            text += name;
            text.append(name.size() < 12 ? 12 - name.size() : 0, ' ');
            text.append(size.size() < 10 ? 11 - size.size() : 1, ' ');
            text += size;
            text += "  ";
            text += date;
            text.append(date.size() < 19 ? 21 - date.size() : 2, ' ');
            text += SupplyCellText(slot, ListColumn::Attributes, kIso);
            text += '\n';
        }
    }
    return json ? Dump(rows) : TerminalText(text);
}

std::string InfoOutput(const Session& s, const std::string& image, bool json) {
    const ImageDocument& doc = s.doc;
    const VolumePage volume = FillVolumePage(doc, s.locale);
    const MediaPage media = FillMediaPage(doc);
    const ErrorsPage errors = FillErrorsPage(doc);
    const std::uint32_t mediaByte = doc.Volume()[boot::kMediaByte];
    const DiskFormat& row = FindDiskFormat(s.formats, mediaByte);
    const std::string format = row.totalSectors != 0 ? LoadText(row.nameStringId) : "";

    if (json) {
        nlohmann::json j;
        j["path"] = JsonText(image);
        j["size"] = doc.size;
        j["headerSize"] = doc.bootOffset;
        j["oemName"] = JsonText(volume.oemSignature);
        j["label"] = TextOrNull(volume.label);
        j["usedBytes"] = volume.usedBytes;
        j["freeBytes"] = volume.freeBytes;
        j["totalBytes"] = volume.totalBytes;
        j["mediaByte"] = mediaByte;
        j["format"] = TextOrNull(format);
        j["bytesPerSector"] = media.bytesPerSector;
        j["sectorsPerCluster"] = media.sectorsPerCluster;
        j["reservedSectors"] = media.reservedSectors;
        j["fatCount"] = media.fatCount;
        j["rootEntries"] = media.rootEntries;
        j["totalSectors"] = media.totalSectors;
        j["sectorsPerFat"] = media.sectorsPerFat;
        j["sectorsPerTrack"] = media.sectorsPerTrack;
        j["heads"] = media.heads;
        j["hiddenSectors"] = media.hiddenSectors;
        j["badSectors"] = ListBadSectors(doc.errors, doc.geometry.totalSectors);
        return Dump(j);
    }
    std::string text;
    auto line = [&](const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "%-20s ", label);
        text += head + value + "\n";
    };
    std::string badText;
    for (const std::string& n : errors.rows) badText += (badText.empty() ? "" : " ") + n;
    line("Image:", image);
    line("Size:", volume.total + " bytes");
    if (doc.bootOffset != 0) line("Comment header:", std::to_string(doc.bootOffset) + " bytes");
    line("OEM name:", volume.oemSignature);
    line("Volume label:", volume.label);
    line("Used:", volume.used + " bytes");
    line("Free:", volume.free + " bytes");
    line("Total capacity:", volume.total + " bytes");
    line("Media byte:", HexByte(mediaByte) + (format.empty() ? "" : "  " + format));
    line("Bytes per sector:", std::to_string(media.bytesPerSector));
    line("Sectors per cluster:", std::to_string(media.sectorsPerCluster));
    line("Reserved sectors:", std::to_string(media.reservedSectors));
    line("Number of FATs:", std::to_string(media.fatCount));
    line("Directory entries:", std::to_string(media.rootEntries));
    line("Sectors per disk:", std::to_string(media.totalSectors));
    line("Sectors per FAT:", std::to_string(media.sectorsPerFat));
    line("Sectors per track:", std::to_string(media.sectorsPerTrack));
    line("Heads:", std::to_string(media.heads));
    line("Hidden sectors:", std::to_string(media.hiddenSectors));
    line("Bad sectors:", errors.rows.empty() ? "none" : badText);
    return TerminalText(text);
}

std::string CheckOutput(const Session& s, const std::string& image, bool json, bool quiet, bool& clean) {
    const ImageDocument& doc = s.doc;
    const CheckReport report = CheckVolume(doc.geometry, doc.Volume(), doc.VolumeLength());
    clean = report.Clean();
    if (json) {
        nlohmann::json problems = nlohmann::json::array();
        for (const Problem& p : report.problems) {
            nlohmann::json j{
                {"kind", ProblemKindName(p.kind)}, {"message", JsonText(DescribeProblem(p))}, {"clusters", p.clusters}};
            if (!p.entry.empty()) j["entry"] = JsonText(Cp437ToUtf8(p.entry));
            if (p.kind == ProblemKind::FatCopyDiffers) j["copy"] = p.copy;
            if (p.kind == ProblemKind::InvalidLink) j["value"] = p.value;
            problems.push_back(j);
        }
        return Dump({{"clean", report.Clean()},
                     {"entries", report.entries},
                     {"usedClusters", report.usedClusters},
                     {"badClusters", report.badClusters},
                     {"problems", problems}});
    }
    std::string text;
    for (const Problem& p : report.problems) text += DescribeProblem(p) + "\n";
    if (report.Clean() && !quiet) {
        text += image + ": no problems found (" + std::to_string(report.entries) + " entries, " +
                std::to_string(report.usedClusters) + " clusters in use)\n";
    }
    return TerminalText(text);
}

}  // namespace kv::cli
