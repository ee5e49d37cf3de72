#include "fat12/entries.h"

#include <cstring>

#include "document/boot_sector.h"
#include "fat12/fat.h"
#include "platform/codepage.h"
#include "platform/dos_time.h"
#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {
namespace {

// The checksum that another system's long-name entries (offset 13) carry of
// the 11 name bytes of the short entry they belong to.
std::uint8_t LongNameChecksum(const std::uint8_t* name) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < dir::kShortNameLength; ++i) {
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    }
    return sum;
}

constexpr std::size_t kLongNameChecksum = 13;
constexpr std::uint8_t kLastLongNamePart = 0x40;  // in the order byte: the first slot of the run

// Marks deleted the long-name entries that belong to the short entry at
// `slot`: the live long-name slots right in front of it, up to the first of
// the run, whose checksum is that of its (still unchanged) 11 name bytes.
// Other systems would otherwise find them orphaned.
void DeleteLongNameEntries(ImageDocument& doc, std::uint8_t* slot) {
    const std::uint8_t sum = LongNameChecksum(slot + dir::kName);
    const std::uint8_t* root = doc.Volume() + RootDirectoryOffset(doc.geometry);
    for (std::uint8_t* p = slot; p - dir::kEntrySize >= root;) {
        p -= dir::kEntrySize;
        if (!IsLiveSlot(p) || !IsLongNameEntry(p[dir::kAttributes]) || p[kLongNameChecksum] != sum) break;
        const bool first = (p[0] & kLastLongNamePart) != 0;
        p[0] = dir::kDeletedMark;
        if (first) break;
    }
}

// The boot sector's copy of the label, in the extended parameter block that
// DOS 4 and later and other systems' formatters write, follows the root
// directory's label: `field` (11 bytes as stored) or "NO NAME    " when the
// label is removed. Boot sectors without the block (MSX-DOS's) are left alone.
void KeepBootLabelInStep(ImageDocument& doc, const std::uint8_t* field) {
    if (doc.VolumeLength() < 512 || doc.Volume()[boot::kExtendedSignature] != boot::kExtendedBlock) return;
    std::uint8_t label[dir::kShortNameLength];
    std::memcpy(label, field ? field : reinterpret_cast<const std::uint8_t*>("NO NAME    "), sizeof label);
    if (label[0] == dir::kEscapedDeletedMark) label[0] = dir::kDeletedMark;
    std::uint8_t* bootLabel = doc.Volume() + boot::kVolumeLabel;
    if (std::memcmp(bootLabel, label, sizeof label) == 0) return;
    std::memcpy(bootLabel, label, sizeof label);
    doc.modified = true;
}

}  // namespace

RowWalk DeleteSelected(Session& s, WindowRef owner, const SelectedRow& selected) {
    const std::string shown = Cp437ToUtf8(selected.text);
    std::uint8_t* slot = selected.slot;
    if (slot[dir::kAttributes] & attr::kDirectory) {
        ShowMessage(s.ui, owner, FillText("Cannot delete directory '%s'!", {shown}), MB_ICONEXCLAMATION);
        return RowWalk::Next;
    }
    int answer = ShowMessage(s.ui, owner, FillText("Delete file '%s'?", {shown}),
                             MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES) {
        WaitCursor wait(s.ui);
        ImageDocument& doc = s.doc;
        DeleteLongNameEntries(doc, slot);
        FreeClusterChain(doc.geometry, slot, doc.Volume(), doc.VolumeLength());
        doc.modified = true;
        s.list.RemoveRow(selected.index);
        return RowWalk::RowRemoved;
    }
    return answer == IDNO ? RowWalk::Next : RowWalk::Stop;
}

void DeleteSelection(Session& s, WindowRef owner) {
    ForEachSelectedRow(s, [&](const SelectedRow& row) { return DeleteSelected(s, owner, row); });
}

bool RenameEntry(Session& s, WindowRef owner, const std::optional<std::string>& typed, std::size_t rowIndex) {
    if (!typed || rowIndex >= s.list.RowCount() || !s.doc.IsOpen()) return false;
    auto refuse = [&](std::uint32_t id) {
        ShowStringMessage(s.ui, owner, id, MB_ICONHAND);
        return false;
    };
    // Typed characters that code page 437 lacks become "?", which no name may hold.
    std::string text = Utf8ToCp437(*typed, '?');
    if (text.empty()) return refuse(str::kNameBlank);
    if (text.size() > 12) return refuse(str::kNameTooLong);
    UpperCaseCp437(text);
    std::string::size_type dot = text.find('.');
    std::string base = text.substr(0, dot);
    std::string extension = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (base.empty() || base.size() > 8 || extension.size() > 3) return refuse(str::kNameInvalid);
    if (!IsValidNameText(base) || !IsValidNameText(extension)) return refuse(str::kNameCharacters);
    if (base.size() == 8 && extension.empty()) text.resize(8);

    ImageDocument& doc = s.doc;
    const std::uint32_t slotOffset = s.list.RowAt(rowIndex).slotOffset;
    std::uint8_t* slot = doc.data.get() + slotOffset;
    std::uint8_t field[dir::kShortNameLength];
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, base.data(), base.size());
    std::memcpy(field + 8, extension.data(), extension.size());
    EscapeFirstNameByte(field);

    std::optional<DirectorySlot> other =
        FindDirectorySlot(s.ui, doc.geometry, doc.Volume(), doc.VolumeLength(), *typed, field, true);
    if (other && other->exists && doc.bootOffset + other->offset != slotOffset) {
        ShowSystemError(s.ui, owner, *typed, ERROR_ALREADY_EXISTS, std::nullopt, MB_ICONHAND);
        return false;
    }
    // Long names belong to the 11 bytes they were made for.
    if (std::memcmp(slot + dir::kName, field, dir::kShortNameLength) != 0) DeleteLongNameEntries(doc, slot);
    std::memcpy(slot + dir::kName, field, dir::kShortNameLength);
    doc.modified = true;
    s.list.SetRowText(rowIndex, text);
    return true;
}

bool SetEntryAttributes(Session& s, std::uint8_t* slot, std::uint8_t bits) {
    bits &= attr::kUserChangeable;
    std::uint8_t& attributes = slot[dir::kAttributes];
    if ((attributes & attr::kUserChangeable) == bits) return false;
    attributes = static_cast<std::uint8_t>((attributes & ~attr::kUserChangeable) | bits);
    s.doc.modified = true;
    return true;
}

std::optional<std::uint64_t> FindVolumeLabel(const VolumeGeometry& g, std::uint8_t* volume, std::uint32_t length) {
    std::optional<std::uint64_t> label;
    ScanRootDirectory(g, volume, length, [&](std::uint32_t, std::uint64_t offset, const std::uint8_t* slot) {
        if (!IsVolumeLabelSlot(slot)) return true;
        label = offset;
        return false;
    });
    return label;
}

std::string VolumeLabelText(const ImageDocument& doc) {
    if (!doc.IsOpen()) return {};
    std::optional<std::uint64_t> label = FindVolumeLabel(doc.geometry, doc.Volume(), doc.VolumeLength());
    if (!label) return {};
    std::string text(reinterpret_cast<const char*>(doc.Volume() + *label), dir::kShortNameLength);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!text.empty() && text[0] == static_cast<char>(dir::kEscapedDeletedMark)) {
        text[0] = static_cast<char>(dir::kDeletedMark);
    }
    return text;
}

bool WriteVolumeLabel(ImageDocument& doc, const std::optional<DirEntry>& entry) {
    std::uint8_t* volume = doc.Volume();
    std::optional<std::uint64_t> deleted;
    bool done = false;
    ScanResult scan = ScanRootDirectory(doc.geometry, volume, doc.VolumeLength(),
                                        [&](std::uint32_t, std::uint64_t offset, std::uint8_t* slot) {
                                            if (slot[0] == dir::kDeletedMark) {
                                                if (!deleted) deleted = offset;
                                                return true;
                                            }
                                            if (!IsVolumeLabelSlot(slot)) return true;
                                            if (entry) {
                                                WriteDirEntry(slot, *entry);
                                            } else {
                                                slot[0] = dir::kDeletedMark;
                                            }
                                            done = true;
                                            return false;
                                        });
    std::uint8_t field[dir::kShortNameLength];
    if (entry) {
        std::memcpy(field, entry->name, 8);
        std::memcpy(field + 8, entry->extension, 3);
    }
    if (done) {
        doc.modified = true;
        KeepBootLabelInStep(doc, entry ? field : nullptr);
        return true;
    }
    if (scan.end != ScanEnd::EndMarker) return false;
    if (entry) {
        if (!deleted) KeepEndMarkerBehind(doc.geometry, volume, doc.VolumeLength(), scan.offset);
        WriteDirEntry(volume + (deleted ? *deleted : scan.offset), *entry);
        doc.modified = true;
    }
    KeepBootLabelInStep(doc, entry ? field : nullptr);  // also when there was no label to remove
    return true;
}

bool ApplyVolumeLabel(Session& s, WindowRef owner, const std::string& typed) {
    ImageDocument& doc = s.doc;
    // A NUL ends the text: as a first name byte it would end the directory.
    const std::string text = typed.substr(0, typed.find('\0'));
    if (text.find_first_not_of(' ') == std::string::npos) {
        WriteVolumeLabel(doc, std::nullopt);
        return true;
    }
    DirEntry entry{};
    std::memset(entry.name, ' ', 8);
    std::memset(entry.extension, ' ', 3);
    std::uint8_t field[dir::kShortNameLength];
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, text.data(), text.size() < sizeof field ? text.size() : sizeof field);
    EscapeFirstNameByte(field);
    std::optional<std::uint64_t> current = FindVolumeLabel(doc.geometry, doc.Volume(), doc.VolumeLength());
    if (current && std::memcmp(doc.Volume() + *current, field, sizeof field) == 0) {
        KeepBootLabelInStep(doc, field);
        return true;
    }
    std::memcpy(entry.name, field, 8);
    std::memcpy(entry.extension, field + 8, 3);
    entry.attributes = attr::kVolumeLabel | attr::kArchive;
    CalendarTime now = LocalNow();
    if (now.year >= 1980) {
        if (now.year > 2107) now = CalendarTime{2107, 12, 31, 23, 59, 58};
        EncodeDosDateTime(now, entry.date, entry.time);
    }
    if (!WriteVolumeLabel(doc, entry)) {
        ShowStringMessage(s.ui, owner, str::kLabelNoSlot, MB_ICONHAND);
        return false;
    }
    return true;
}

}  // namespace kv
