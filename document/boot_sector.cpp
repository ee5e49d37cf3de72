#include "document/boot_sector.h"

#include <algorithm>
#include <cstring>

#include "document/bytes.h"
#include "document/msxdos_boot.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

std::array<std::uint8_t, 512> MakeTemplate() {
    std::array<std::uint8_t, 512> t{};
    t[0] = 0xEB;
    t[1] = 0xFE;
    t[2] = 0x90;
    std::memcpy(&t[boot::kOemName], "Korvane1", 8);
    WriteWord(&t[boot::kBytesPerSector], 512);
    t[boot::kSectorsPerCluster] = 2;
    WriteWord(&t[boot::kReservedSectors], 1);
    t[boot::kFatCount] = 2;
    WriteWord(&t[boot::kRootEntries], 112);
    WriteWord(&t[boot::kTotalSectors], 1440);
    t[boot::kMediaByte] = 0xF9;
    WriteWord(&t[boot::kSectorsPerFat], 3);
    WriteWord(&t[boot::kSectorsPerTrack], 9);
    WriteWord(&t[boot::kHeads], 2);
    WriteWord(&t[boot::kHiddenSectors], 0);
    std::memcpy(&t[kBootProgramOffset], kMsxDosBootProgram, kBootProgramSize);
    return t;
}

bool IsUsableMediaByte(const FormatTable& table, std::uint32_t media) {
    return media >= 0xF0 && FindDiskFormat(table, media).totalSectors != 0;
}

}  // namespace

const std::array<std::uint8_t, 512>& BootSectorTemplate() {
    static const std::array<std::uint8_t, 512> kTemplate = MakeTemplate();
    return kTemplate;
}

bool ReadCommentHeader(Ui& ui, WindowRef owner, const std::uint8_t* bytes, std::uint32_t count,
                       std::uint32_t& bootOffset) {
    bootOffset = 0;
    if (count < 2 || bytes[0] != 0xAA || (bytes[1] != 0x59 && bytes[1] != 0x5A)) return true;
    if (count >= comment::kCompression + 2 && ReadWord(bytes + comment::kCompression) != 0) {
        ShowStringMessage(ui, owner, str::kCompressedImage, MB_ICONHAND);
        return false;
    }
    const std::uint8_t* end = nullptr;
    if (count > comment::kText) {
        end = static_cast<const std::uint8_t*>(std::memchr(bytes + comment::kText, 0, count - comment::kText));
    }
    if (end != nullptr) {
        std::uint64_t length = static_cast<std::uint64_t>(end - (bytes + comment::kText));
        std::uint64_t headerLength = length + comment::kText + 1;
        if (headerLength <= count && count - headerLength >= 512) {
            bootOffset = static_cast<std::uint32_t>(headerLength);
            std::string text(reinterpret_cast<const char*>(bytes + comment::kText), static_cast<std::size_t>(length));
            std::string caption = LoadText(str::kCommentCaption).substr(0, 79);
            ui.ShowMessageBox(owner, Cp437ToUtf8(text), caption, MB_ICONINFORMATION);
            return true;
        }
    }
    ShowStringMessage(ui, owner, str::kFileTooSmall, MB_ICONHAND);
    return false;
}

bool ReadVolumeGeometry(Session& s, WindowRef owner, bool updateTitle) {
    ImageDocument& doc = s.doc;
    VolumeGeometry& g = doc.geometry;
    g = VolumeGeometry{};
    const std::uint8_t* b = doc.Volume();
    g.fatCount = b[boot::kFatCount] == 0 ? 1 : b[boot::kFatCount];
    g.totalSectors = ReadWord(b + boot::kTotalSectors);
    g.sectorsPerFat = ReadWord(b + boot::kSectorsPerFat);
    g.sectorsPerCluster = b[boot::kSectorsPerCluster];
    g.reservedSectors = ReadWord(b + boot::kReservedSectors);
    g.heads = ReadWord(b + boot::kHeads);
    g.sectorsPerTrack = ReadWord(b + boot::kSectorsPerTrack);
    g.rootEntries = ReadWord(b + boot::kRootEntries);
    std::uint32_t media = b[boot::kMediaByte];
    g.mediaType = media >= 0xF0 ? FindDiskFormat(s.formats, media).mediaType : 0;

    if (b[boot::kSectorsPerCluster] == 0) {
        std::uint32_t found = 0;
        if (IsUsableMediaByte(s.formats, media)) {
            found = media;
        } else if (doc.VolumeLength() > 512 && IsUsableMediaByte(s.formats, b[512])) {
            found = b[512];
        }
        if (found != 0) {
            ShowStringMessage(s.ui, owner, str::kFormatCorrupted, MB_ICONEXCLAMATION);
            g = FindDiskFormat(s.formats, found);
        }
    }
    if (updateTitle) UpdateWindowTitle(s);

    if (ReadWord(b + boot::kBytesPerSector) == 512 && g.sectorsPerCluster != 0) return true;
    ShowStringMessage(s.ui, owner, str::kNotValidImage, MB_ICONEXCLAMATION);
    if (g.sectorsPerCluster == 0) g.sectorsPerCluster = 2;
    return false;
}

int CheckFatCopies(Session& s, WindowRef owner) {
    ImageDocument& doc = s.doc;
    const VolumeGeometry& g = doc.geometry;
    if (g.fatCount < 2) return 0;
    std::uint64_t fatSize = FatCopySize(g);
    if (doc.bootOffset + 512 + g.fatCount * fatSize > doc.size) return 0;
    std::uint8_t* fat1 = doc.Volume() + 512;
    std::uint8_t* fat2 = fat1 + fatSize;
    if (std::memcmp(fat1, fat2, fatSize) == 0) return 0;
    int answer = ShowStringMessage(s.ui, owner, str::kFatBackupDiffers, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
        std::memcpy(fat2, fat1, fatSize);
        doc.modified = true;
    }
    return answer;
}

bool BuildBlankImage(Session& s, WindowRef owner, std::uint32_t code) {
    const DiskFormat row = FindDiskFormat(s.formats, code);
    std::uint64_t size = static_cast<std::uint64_t>(row.totalSectors) * kSectorSize;
    Bytes data;
    if (size > 0 && size <= kMaxImageSize) data = AllocateBytes(static_cast<std::size_t>(size));
    if (!data) {
        ShowStringMessage(s.ui, owner, str::kOutOfMemory, MB_ICONHAND);
        return false;
    }
    std::uint8_t* b = data.get();
    std::memset(b, 0, static_cast<std::size_t>(size));
    std::memcpy(b, BootSectorTemplate().data(), 512);
    b[boot::kSectorsPerCluster] = static_cast<std::uint8_t>(row.sectorsPerCluster);
    WriteWord(b + boot::kReservedSectors, row.reservedSectors);
    b[boot::kFatCount] = static_cast<std::uint8_t>(row.fatCount);
    WriteWord(b + boot::kRootEntries, row.rootEntries);
    WriteWord(b + boot::kTotalSectors, row.totalSectors);
    b[boot::kMediaByte] = static_cast<std::uint8_t>(row.mediaByte);
    WriteWord(b + boot::kSectorsPerFat, row.sectorsPerFat);
    WriteWord(b + boot::kSectorsPerTrack, row.sectorsPerTrack);
    WriteWord(b + boot::kHeads, row.heads);

    for (std::uint64_t k = 0; k < row.fatCount; ++k) {
        std::uint64_t at = (1 + k * row.sectorsPerFat) * kSectorSize;
        const std::uint8_t start[3] = {static_cast<std::uint8_t>(row.mediaByte), 0xFF, 0xFF};
        for (std::uint64_t i = 0; i < 3 && at + i < size; ++i) b[at + i] = start[i];
    }
    std::uint64_t dataStart = DataStartSector(row) * kSectorSize;
    if (dataStart < size) std::memset(b + dataStart, 0xFF, static_cast<std::size_t>(size - dataStart));

    AdoptUntitledImage(s, std::move(data), static_cast<std::uint32_t>(size));
    s.doc.geometry = row;
    return true;
}

}  // namespace kv
