#include "floppy/custom_format.h"

#include <cctype>

#include "fat12/limits.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

int DigitValue(char c, int base) {
    int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
            : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                        : 99;
    return v < base ? v : -1;
}

// A whole number as scanf reads it, kept modulo 2^32 (at most 31 characters of
// the text count, as the dialog reads them).
std::uint32_t ReadNumber(const std::string& full, int base) {
    std::string text = full.substr(0, 31);
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2], 16) >= 0) {
        i += 2;  // "%X" takes a 0x in front of the digits
    }
    std::uint32_t value = 0;
    for (; i < text.size() && DigitValue(text[i], base) >= 0; ++i) {
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(DigitValue(text[i], base));
    }
    return negative ? 0u - value : value;
}

// Kilobytes as the dialog reckons them: a remainder of the division by 1024 is
// added once before dividing, which rounds half kilobytes up.
std::uint32_t Kilobytes(std::uint32_t bytes) {
    if (bytes % 1024 != 0) bytes += bytes % 1024;
    return bytes / 1024;
}

std::string Num(std::uint64_t n) { return std::to_string(n); }

}  // namespace

DiskFormat ReadCustomFields(const CustomFormatFields& fields) {
    DiskFormat row{};
    const auto& t = fields.texts;
    if (!t[kCustomMedia].empty()) row.mediaByte = ReadNumber(t[kCustomMedia], 16);
    row.sectorsPerCluster = ReadNumber(t[kCustomSectorsPerCluster], 10);
    row.reservedSectors = ReadNumber(t[kCustomReserved], 10);
    row.fatCount = ReadNumber(t[kCustomFats], 10);
    row.rootEntries = ReadNumber(t[kCustomRootEntries], 10);
    row.totalSectors = ReadNumber(t[kCustomSectors], 10);
    row.sectorsPerFat = ReadNumber(t[kCustomSectorsPerFat], 10);
    row.sectorsPerTrack = ReadNumber(t[kCustomSectorsPerTrack], 10);
    row.heads = ReadNumber(t[kCustomHeads], 10);
    return row;
}

CustomCapacity UpdateCustomCapacity(const CustomFormatFields& fields) {
    DiskFormat r = ReadCustomFields(fields);
    std::uint32_t total = Kilobytes(r.totalSectors * 512u);
    std::uint32_t root = r.rootEntries;
    if (root % 16 != 0) root += root % 16;  // added once, not rounded up to 16
    std::uint32_t rootSectors = root / 16;
    std::int32_t data =
        static_cast<std::int32_t>(r.totalSectors - r.fatCount * r.sectorsPerFat - rootSectors - r.reservedSectors - 1);
    if (data < 0) data = 0;
    std::uint32_t formatted = Kilobytes(static_cast<std::uint32_t>(data) * 512u);
    return {std::to_string(total), std::to_string(static_cast<std::int32_t>(formatted))};
}

std::string CheckCustomGeometry(const DiskFormat& r) {
    if (r.mediaByte != 0xF0 && (r.mediaByte < 0xF8 || r.mediaByte > 0xFF)) {
        return "The media byte must be F0 or one of F8 to FF.";
    }
    std::uint32_t spc = r.sectorsPerCluster;
    if (spc == 0 || spc > 128 || (spc & (spc - 1)) != 0) {
        return "Sectors per cluster must be 1, 2, 4, 8, 16, 32, 64 or 128.";
    }
    if (r.reservedSectors != 1) {
        return "Reserved sectors must be 1: the FAT follows the boot sector directly.";
    }
    if (r.fatCount != 1 && r.fatCount != 2) return "Number of FAT's must be 1 or 2.";
    if (r.rootEntries == 0 || r.rootEntries % 16 != 0 || r.rootEntries > 65520) {
        return "Directory-entries must be a multiple of 16, from 16 to 65520 (16 entries fill one sector).";
    }
    if (r.totalSectors > 65535) {
        return "Sectors per disk must not exceed 65535: the boot sector has no room for more.";
    }
    if (r.sectorsPerFat == 0) return "Sectors per FAT must be at least 1.";
    // FAT copies of 64 KB or more are neither compared nor refreshed (FatCopySize).
    if (r.sectorsPerFat > 127) {
        return "Sectors per FAT must not exceed 127: a FAT of 64 KB or more cannot be kept in line with its "
               "backup copy.";
    }
    if (r.sectorsPerTrack > 65535 || r.heads > 65535) {
        return "Sectors per track and heads must not exceed 65535.";
    }
    std::uint64_t dataStart = DataStartSector(r);
    if (dataStart + spc > r.totalSectors) {
        return "The disk is too small for its layout: boot sector, FAT's and directory take " + Num(dataStart) +
               " of its " + Num(r.totalSectors) + " sectors, and no cluster remains.";
    }
    std::uint64_t clusters = DataClusterCount(r);
    if (clusters > kMaxFat12Clusters) {
        return "With " + Num(spc) + " sectors per cluster the disk has " + Num(clusters) +
               " clusters, but FAT12 can number no more than " + Num(kMaxFat12Clusters) +
               ".\nUse more sectors per cluster or fewer sectors per disk.";
    }
    // Every cluster needs its 12-bit entry, behind the two entries of the media byte.
    std::uint64_t entries = static_cast<std::uint64_t>(r.sectorsPerFat) * 512 * 2 / 3;
    if (clusters + 2 > entries) {
        std::uint64_t bytes = ((clusters + 2) * 3 + 1) / 2;
        return Num(r.sectorsPerFat) + " sectors per FAT hold the entries of " + Num(entries < 2 ? 0 : entries - 2) +
               " clusters, but the disk has " + Num(clusters) + ".\nUse at least " + Num((bytes + 511) / 512) +
               " sectors per FAT.";
    }
    return {};
}

bool ConfirmCustomFormat(Ui& ui, WindowRef dialog, const CustomFormatFields& fields, FormatTable& formats) {
    CustomCapacity capacity = UpdateCustomCapacity(fields);
    if (ReadNumber(capacity.total, 10) == 0 || ReadNumber(capacity.formatted, 10) == 0) {
        ui.ShowMessageBox(dialog, "Capacity of disk is <= 0 Bytes!", "UNDER CONSTRUCTION", MB_ICONEXCLAMATION);
        return false;
    }
    DiskFormat row = ReadCustomFields(fields);
    std::string problem = CheckCustomGeometry(row);
    if (!problem.empty()) {
        ShowMessage(ui, dialog, problem, MB_ICONEXCLAMATION);
        return false;
    }
    formats.CustomRow() = row;
    return true;
}

}  // namespace kv
