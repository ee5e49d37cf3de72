#include "fat12/directory.h"

#include <cstring>

#include "document/bytes.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {

DirEntry ReadDirEntry(const std::uint8_t* slot) {
    DirEntry e{};
    std::memcpy(e.name, slot + dir::kName, 8);
    std::memcpy(e.extension, slot + dir::kExtension, 3);
    e.attributes = slot[dir::kAttributes];
    std::memcpy(e.reserved, slot + dir::kReserved, 10);
    e.time = ReadWord(slot + dir::kTime);
    e.date = ReadWord(slot + dir::kDate);
    e.firstCluster = ReadWord(slot + dir::kFirstCluster);
    e.size = ReadDword(slot + dir::kSize);
    return e;
}

void WriteDirEntry(std::uint8_t* slot, const DirEntry& e) {
    std::memcpy(slot + dir::kName, e.name, 8);
    std::memcpy(slot + dir::kExtension, e.extension, 3);
    slot[dir::kAttributes] = e.attributes;
    std::memcpy(slot + dir::kReserved, e.reserved, 10);
    WriteWord(slot + dir::kTime, e.time);
    WriteWord(slot + dir::kDate, e.date);
    WriteWord(slot + dir::kFirstCluster, e.firstCluster);
    WriteDword(slot + dir::kSize, e.size);
}

std::string TrimField(const std::uint8_t* field, std::size_t length) {
    std::size_t n = 0;
    while (n < length && field[n] != 0) ++n;
    while (n > 0 && field[n - 1] == ' ') --n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

void MakeShortNameField(std::string_view text, std::uint8_t out[dir::kShortNameLength]) {
    std::memset(out, ' ', dir::kShortNameLength);
    std::size_t i = 0;
    for (; i < text.size() && i < 8 && text[i] != '.'; ++i) out[i] = static_cast<std::uint8_t>(text[i]);
    if (i < text.size() && text[i] == '.') ++i;
    for (std::size_t k = 0; k < 3 && i < text.size(); ++k, ++i) out[8 + k] = static_cast<std::uint8_t>(text[i]);
    EscapeFirstNameByte(out);
}

void EscapeFirstNameByte(std::uint8_t field[dir::kShortNameLength]) {
    if (field[0] == dir::kDeletedMark) field[0] = dir::kEscapedDeletedMark;
}

bool IsValidNameText(std::string_view text) {
    static constexpr std::string_view kAllowed = "$%-_@{}~`!#()";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80 ||
                  kAllowed.find(static_cast<char>(c)) != std::string_view::npos;
        if (!ok) return false;
    }
    return true;
}

std::string DisplayName(const std::uint8_t* slot) {
    std::string name = TrimField(slot + dir::kName, 8);
    if (!name.empty() && name[0] == static_cast<char>(dir::kEscapedDeletedMark)) {
        name[0] = static_cast<char>(dir::kDeletedMark);
    }
    std::string extension = TrimField(slot + dir::kExtension, 3);
    if (!extension.empty()) name.append(".").append(extension);
    return name;
}

std::uint64_t RootDirectoryOffset(const VolumeGeometry& g) { return RootStartSector(g) * kSectorSize; }

bool AddListRow(Session& s, std::uint32_t slotOffset, std::size_t position) {
    const std::uint8_t* slot = s.doc.data.get() + slotOffset;
    ListRow row;
    row.text = DisplayName(slot);
    row.kind = (slot[dir::kAttributes] & attr::kDirectory) ? RowKind::Directory : RowKind::File;
    row.slotOffset = slotOffset;
    return s.list.InsertRow(position, row);
}

std::string AttributeLetters(std::uint8_t a) {
    std::string letters = "     ";
    if (a & attr::kReadOnly) letters[0] = 'R';
    if (a & attr::kHidden) letters[1] = 'H';
    if (a & attr::kArchive) letters[2] = 'A';
    if (a & attr::kSystem) letters[3] = 'S';
    if (a & attr::kDirectory) letters[4] = 'D';
    return letters;
}

std::string SupplyCellText(const std::uint8_t* slot, ListColumn column, const Locale& locale) {
    std::string text;
    switch (column) {
        case ListColumn::Size:
            if ((slot[dir::kAttributes] & attr::kDirectory) == 0)
                FormatNumber(ReadDword(slot + dir::kSize), text, locale);
            break;
        case ListColumn::LastChange:
            FormatDosDateTime(ReadWord(slot + dir::kDate), ReadWord(slot + dir::kTime), DateStyle::Short, text, locale);
            break;
        case ListColumn::Attributes: text = AttributeLetters(slot[dir::kAttributes]); break;
        case ListColumn::Filename: break;
    }
    return text;
}

void ListRootDirectory(Session& s) {
    ImageDocument& doc = s.doc;
    if (!doc.IsOpen()) return;
    ScanRootDirectory(doc.geometry, doc.Volume(), doc.VolumeLength(),
                      [&](std::uint32_t, std::uint64_t offset, const std::uint8_t* slot) {
                          if (IsShownSlot(slot)) {
                              AddListRow(s, static_cast<std::uint32_t>(doc.bootOffset + offset), kEndOfList);
                          }
                          return true;
                      });
}

std::optional<DirectorySlot> FindDirectorySlot(Ui& ui, const VolumeGeometry& g, std::uint8_t* volume,
                                               std::uint32_t length, const std::string& nameText,
                                               const std::uint8_t wanted[dir::kShortNameLength], bool silent) {
    std::optional<DirectorySlot> deleted;
    std::optional<DirectorySlot> found;
    bool declined = false;
    ScanResult scan =
        ScanRootDirectory(g, volume, length, [&](std::uint32_t index, std::uint64_t offset, const std::uint8_t* slot) {
            if (slot[0] == dir::kDeletedMark && !deleted) {
                deleted = DirectorySlot{offset, index, false};
                return true;
            }
            if (std::memcmp(slot, wanted, dir::kShortNameLength) != 0) return true;
            if (!silent) {
                int answer = ShowMessage(ui, kMainWindow, FillText("File '%s' already exists! Replace?", {nameText}),
                                         MB_YESNO | MB_ICONQUESTION);
                if (answer != IDYES) {
                    declined = true;
                    return false;
                }
            }
            found = DirectorySlot{offset, index, true};
            return false;
        });
    if (declined) return std::nullopt;
    if (found) return found;
    if (scan.end == ScanEnd::EndMarker) return DirectorySlot{scan.offset, scan.index, false};
    if (deleted) {
        // Reported at the end of the list: every slot was passed to choose it.
        deleted->position = scan.index;
        return deleted;
    }
    if (scan.end == ScanEnd::SlotCount && !silent) {
        ShowMessage(ui, kMainWindow, FillText("Cannot add file '%s'!\n\nDirectory full!", {nameText}), MB_ICONHAND);
    }
    return std::nullopt;
}

void KeepEndMarkerBehind(const VolumeGeometry& g, std::uint8_t* volume, std::uint32_t length,
                         std::uint64_t slotOffset) {
    const std::uint64_t next = slotOffset + dir::kEntrySize;
    const std::uint64_t nextIndex = (next - RootDirectoryOffset(g)) / dir::kEntrySize;
    // The same bounds as every scan: within the slot count and wholly before the volume's end.
    if (nextIndex < g.rootEntries && next + dir::kEntrySize < length) volume[next] = dir::kEndMarker;
}

std::string SafeHostFileName(std::string_view cp437Name) {
    std::string name = Cp437ToUtf8(cp437Name);
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    return name;
}

}  // namespace kv
