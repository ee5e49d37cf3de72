#include "fat12/properties.h"

#include <cstdio>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/entries.h"
#include "fat12/fat.h"
#include "platform/codepage.h"
#include "platform/ini.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

std::string Grouped(std::uint64_t value, const Locale& locale) {
    return GroupDigits(std::to_string(value), locale.Numbers(), 0);
}

}  // namespace

std::string FileSizeText(std::uint32_t size, std::uint32_t sectorsPerCluster, const Locale& locale) {
    char kilobytes[32];
    std::snprintf(kilobytes, sizeof kilobytes, "%-.2f", size / 1024.0);
    const std::uint64_t cluster = static_cast<std::uint64_t>(sectorsPerCluster) * 512;
    const std::uint64_t allocated = cluster == 0 ? size : (size + cluster - 1) / cluster * cluster;
    std::string bytes;
    FormatNumber(size, bytes, locale);
    return FillText(LoadText(str::kFileSizeText),
                    {GroupDigits(kilobytes, locale.Numbers(), -1), bytes, Grouped(allocated, locale)});
}

GeneralPage FillGeneralPage(const std::uint8_t* slot, const VolumeGeometry& g, const Locale& locale,
                            const std::string& settingsPath) {
    const DirEntry e = ReadDirEntry(slot);
    GeneralPage page;
    std::string extension = TrimField(e.extension, 3);
    std::string name = TrimField(e.name, 8);
    if (!extension.empty()) name += "." + extension;
    page.name = Cp437ToUtf8(name);
    page.directory = (e.attributes & attr::kDirectory) != 0;
    if (page.directory) {
        page.type = LoadText(str::kDirectoryType);
    } else if (!extension.empty()) {
        const std::string key = Cp437ToUtf8(extension);
        page.type = ReadIniValue(settingsPath, "Extensions", key);
        if (page.type.empty()) page.type = FillText(LoadText(str::kFileType), {key});
    }
    FormatDosDateTime(e.date, e.time, DateStyle::Long, page.date, locale);
    page.location = "\\";
    if (!page.directory) page.size = FileSizeText(e.size, g.sectorsPerCluster, locale);
    page.checks = {(e.attributes & attr::kReadOnly) != 0, (e.attributes & attr::kHidden) != 0,
                   (e.attributes & attr::kArchive) != 0, (e.attributes & attr::kSystem) != 0};
    return page;
}

bool ApplyAttributes(Session& s, std::uint8_t* slot, const AttributeChecks& c) {
    std::uint8_t bits = 0;
    if (c.readOnly) bits |= attr::kReadOnly;
    if (c.hidden) bits |= attr::kHidden;
    if (c.archive) bits |= attr::kArchive;
    if (c.system) bits |= attr::kSystem;
    return SetEntryAttributes(s, slot, bits);
}

ImageSheetPages ImagePropertiesPages(const ImageDocument& doc, bool allPages) {
    return {allPages || doc.errors.bytes != nullptr, allPages};
}

VolumePage FillVolumePage(const ImageDocument& doc, const Locale& locale) {
    VolumePage page;
    if (doc.IsOpen()) {
        const std::uint8_t* oem = doc.Volume() + boot::kOemName;
        std::size_t n = 0;
        while (n < 8 && oem[n] != 0) ++n;
        page.oemSignature = Cp437ToUtf8(std::string(reinterpret_cast<const char*>(oem), n));
        page.label = Cp437ToUtf8(VolumeLabelText(doc));
        const ClusterUsage usage = CountClusters(doc.geometry, doc.Volume(), doc.VolumeLength());
        page.usedBytes = usage.usedBytes;
        page.freeBytes = usage.freeBytes;
        page.totalBytes = doc.size;
    }
    page.used = Grouped(page.usedBytes, locale);
    page.free = Grouped(page.freeBytes, locale);
    page.total = Grouped(page.totalBytes, locale);
    return page;
}

bool ApplyVolumeLabelText(Session& s, WindowRef owner, const std::string& text) {
    return ApplyVolumeLabel(s, owner, Utf8ToCp437(text));
}

ErrorsPage FillErrorsPage(const ImageDocument& doc) {
    ErrorsPage page;
    page.hasList = doc.errors.bytes != nullptr;
    for (std::uint32_t sector : ListBadSectors(doc.errors, doc.geometry.totalSectors)) {
        page.rows.push_back(std::to_string(sector));
    }
    return page;
}

void ApplyErrorsPage(MediaErrorList& list, const std::vector<std::string>& rows) {
    if (!list.bytes) return;
    ClearMediaErrors(list);
    for (const std::string& row : rows) {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < row.size() && row[i] >= '0' && row[i] <= '9' && number <= 0xFFFFFFFFu; ++i) {
            number = number * 10 + static_cast<std::uint64_t>(row[i] - '0');
        }
        if (number <= 0xFFFFFFFFu) MarkBadSector(list, static_cast<std::uint32_t>(number));
    }
}

std::int64_t ReadSectorNumber(Ui& ui, WindowRef owner, const std::string& text, std::uint32_t totalSectors) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos || text[i] < '0' || text[i] > '9') {
        ShowStringMessage(ui, owner, str::kNoSectorNumber, MB_ICONHAND);
        return -1;
    }
    std::uint64_t number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (number >= totalSectors) {
            ShowStringMessage(ui, owner, str::kSectorOutOfRange, MB_ICONHAND);
            return -1;
        }
    }
    return static_cast<std::int64_t>(number);
}

MediaPage FillMediaPage(const ImageDocument& doc) {
    const VolumeGeometry& g = doc.geometry;
    MediaPage page;
    page.sectorsPerCluster = g.sectorsPerCluster;
    page.reservedSectors = g.reservedSectors;
    page.fatCount = g.fatCount;
    page.rootEntries = g.rootEntries;
    page.totalSectors = g.totalSectors;
    page.sectorsPerFat = g.sectorsPerFat;
    page.sectorsPerTrack = g.sectorsPerTrack;
    page.heads = g.heads;
    if (doc.IsOpen()) page.hiddenSectors = ReadWord(doc.Volume() + boot::kHiddenSectors);
    page.harddisk = g.totalSectors == 0;
    return page;
}

}  // namespace kv
