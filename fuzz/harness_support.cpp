#include "fuzz/harness_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "document/bytes.h"
#include "fat12/check.h"
#include "fat12/directory.h"
#include "fat12/entries.h"
#include "fat12/extract.h"
#include "fat12/fat.h"
#include "fat12/list_walk.h"
#include "fuzz/memory_host.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/string_table.h"

namespace kv::fuzz {

std::string Input::Text(std::size_t count) {
    std::size_t n = std::min(count, Remaining());
    std::string text(reinterpret_cast<const char*>(data_ + position_), n);
    position_ += n;
    return text;
}

std::vector<std::uint8_t> Input::Rest() {
    std::vector<std::uint8_t> rest(data_ + std::min(position_, size_), data_ + size_);
    position_ = size_;
    return rest;
}

bool IsUtf8(const std::string& text) {
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};  // below: an overlong form
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4 || text.size() - i <= extra) return false;
        char32_t c = extra == 0 ? b : b & (0x3Fu >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < kLeast[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
        i += extra + 1;
    }
    return true;
}

int FuzzUi::ShowMessageBox(WindowRef, const std::string& text, const std::string& caption, std::uint32_t style) {
    ++messages;
    lastText = text;
    // An image's comment is shown as it is, even when it is empty.
    const bool comment = caption == LoadText(55).substr(0, 79);
    if (problem.empty() && ((text.empty() && !comment) || !IsUtf8(text) || caption.empty() || !IsUtf8(caption))) {
        problem = "malformed message box: \"" + text + "\" / \"" + caption + "\"";
    }
    // The buttons of each style; the last is the safe answer.
    static const std::vector<int> kButtons[] = {
        {IDOK},                        // MB_OK
        {IDOK, IDCANCEL},              // MB_OKCANCEL
        {IDRETRY, IDIGNORE, IDABORT},  // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
        {IDYES, IDNO},                 // MB_YESNO
        {IDRETRY, IDCANCEL},           // MB_RETRYCANCEL
    };
    std::uint32_t type = style & MB_TYPEMASK;
    const std::vector<int>& buttons = type < 6 ? kButtons[type] : kButtons[0];
    if (buttons.size() == 1) return buttons[0];
    if (answers == nullptr || answers->Empty()) return buttons.back();
    return buttons[answers->Byte() % buttons.size()];
}

bool FuzzUi::ChooseFile(WindowRef, const FileDialogRequest&, FileDialogResult& result) {
    if (dialogPaths.empty()) return false;
    result.path = dialogPaths.front();
    result.readOnly = false;
    dialogPaths.pop_front();
    return true;
}

void FuzzUi::SetWindowTitle(const std::string& title) {
    if (problem.empty() && !IsUtf8(title)) problem = "window title is not UTF-8";
}

Scratch& Scratch::Get() {
    static Scratch scratch;
    return scratch;
}

void Scratch::Reset() {
    MemoryHost& host = MemoryHost::Get();
    host.Reset();
    host.MakeFolder(base_.string());
    host.MakeFolder(In().string());
    host.MakeFolder((base_ / "jail").string());
    host.MakeFolder(Out().string());
}

std::string Scratch::CheckNothingOutside(const std::set<std::string>& allowed) const {
    const MemoryHost& host = MemoryHost::Get();
    for (const auto& [name, isFolder] : host.List("/")) {
        if (base_ != "/" + name) return "written outside the folder: /" + name;
    }
    static const std::set<std::string> kTop = {"image.dsk", "image.der", "in", "jail"};
    for (const auto& [name, isFolder] : host.List(base_.string())) {
        if (!kTop.count(name)) return "written outside the folder: " + name;
    }
    for (const auto& [name, isFolder] : host.List((base_ / "jail").string())) {
        if (name != "out") return "written outside the folder: jail/" + name;
    }
    for (const auto& [name, isFolder] : host.List(Out().string())) {
        if (isFolder) return "extracted something that is not a plain file: " + name;
        if (!allowed.count(name)) return "unexpected extracted file: " + name;
    }
    return {};
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    MemoryHost::Get().WriteFile(path, data, size);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    const std::vector<std::uint8_t>* bytes = MemoryHost::Get().File(path);
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> Snapshot(const ImageDocument& doc) {
    return std::vector<std::uint8_t>(doc.data.get(), doc.data.get() + doc.size);
}

std::string CheckRows(const Session& s, bool textsAsShown) {
    const ImageDocument& doc = s.doc;
    std::vector<std::uint32_t> expected;
    ScanRootDirectory(doc.geometry, doc.Volume(), doc.VolumeLength(),
                      [&](std::uint32_t, std::uint64_t offset, const std::uint8_t* slot) {
                          if (IsShownSlot(slot))
                              expected.push_back(static_cast<std::uint32_t>(doc.bootOffset + offset));
                          return true;
                      });
    std::vector<std::uint32_t> rows;
    const std::uint64_t root = doc.bootOffset + RootDirectoryOffset(doc.geometry);
    for (std::size_t i = 0; i < s.list.RowCount(); ++i) {
        const ListRow& row = s.list.RowAt(i);
        if (row.slotOffset < root || row.slotOffset + 32ull > doc.size) {
            return "row " + std::to_string(i) + " refers to a slot outside the root directory";
        }
        const std::uint8_t* slot = doc.data.get() + row.slotOffset;
        if (textsAsShown && row.text != DisplayName(slot)) return "row text differs from the entry's name";
        if (row.text.size() > 12) return "row text longer than 12";
        rows.push_back(row.slotOffset);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(rows.begin(), rows.end());
    if (rows != expected) {
        auto slots = [&](const std::vector<std::uint32_t>& offsets) {
            std::string text;
            for (std::uint32_t o : offsets) text += " " + std::to_string((o - root) / 32);
            return text;
        };
        return "the list shows the slots" + slots(rows) + ", the directory" + slots(expected);
    }
    return {};
}

std::string CheckReads(Session& s) {
    const ImageDocument& doc = s.doc;
    const VolumeGeometry& g = doc.geometry;
    const std::uint8_t* volume = doc.Volume();
    const std::uint32_t length = doc.VolumeLength();
    EnglishLocale english;

    // The cells of every row, as the list draws them.
    for (std::size_t i = 0; i < s.list.RowCount(); ++i) {
        const DirEntry e = ReadDirEntry(doc.data.get() + s.list.RowAt(i).slotOffset);
        std::string cell;
        FormatNumber(e.size, cell, english);
        FormatNumber(e.size, cell, s.locale);
        for (DateStyle style : {DateStyle::Short, DateStyle::Long}) {
            FormatDosDateTime(e.date, e.time, style, cell, english);
            if (!IsUtf8(cell)) return "date cell is not UTF-8";
        }
        if (!IsUtf8(Cp437ToUtf8(s.list.RowAt(i).text))) return "name cell is not UTF-8";
    }

    const std::uint32_t last = LastCluster(g);
    const ClusterUsage usage = CountClusters(g, volume, length);
    if (usage.usedClusters + usage.freeClusters != (last >= 2 ? last - 1 : 0)) return "cluster counts do not add up";

    const CheckReport report = CheckVolume(g, volume, length);
    for (const Problem& p : report.problems) {
        if (!IsUtf8(DescribeProblem(p))) return "problem text is not UTF-8";
        for (std::uint32_t x : p.clusters) {
            if (x > 0xFFF) return "problem names a cluster above 0xFFF";
        }
    }
    if (!IsUtf8(Cp437ToUtf8(VolumeLabelText(doc)))) return "label is not UTF-8";

    // Every chain ends within as many steps as the volume has clusters, and
    // every cluster it visits lies inside the volume.
    for (std::size_t i = 0; i < s.list.RowCount(); ++i) {
        const DirEntry e = ReadDirEntry(doc.data.get() + s.list.RowAt(i).slotOffset);
        std::uint32_t steps = 0;
        for (ChainWalk walk(g, volume, length, e.firstCluster); walk.AtCluster(); walk.Advance()) {
            if (++steps > last) return "a chain walk did not end";
            if (ClusterOffset(g, walk.cluster()) + ClusterBytes(g) > length) return "a chain walk left the volume";
        }
    }
    return {};
}

std::string CheckExtraction(Session& s, FuzzUi& ui) {
    MemoryFileList* list = dynamic_cast<MemoryFileList*>(&s.list);
    if (list == nullptr) return "the session has no memory list";
    const ImageDocument& doc = s.doc;
    const std::vector<std::uint8_t> before = Snapshot(doc);
    const bool modified = doc.modified;
    const std::string folder = Scratch::Get().Out().string();

    // Dragging out: the files only, as a selection with a directory is refused whole.
    std::set<std::string> allowed;
    for (std::size_t i = 0; i < list->RowCount(); ++i) {
        const std::uint8_t* slot = doc.data.get() + list->RowAt(i).slotOffset;
        bool file = (slot[dir::kAttributes] & (attr::kDirectory | attr::kVolumeLabel)) == 0;
        list->SetSelected(i, file);
        if (file) allowed.insert(SafeHostFileName(list->RowAt(i).text.substr(0, 12)));
    }
    std::vector<std::string> written;
    ExtractSelectionIntoFolder(s, kMainWindow, folder, written);
    if (ui.cursor != Cursor::Arrow) return "wait cursor left after extracting";

    // The Extract command on every row: directories are refused, files are
    // asked about replacing what the first pass wrote.
    list->SelectAll(true);
    for (std::size_t i = 0; i < list->RowCount(); ++i) {
        const std::uint8_t* slot = doc.data.get() + list->RowAt(i).slotOffset;
        if ((slot[dir::kAttributes] & (attr::kDirectory | attr::kVolumeLabel)) != 0) continue;  // asks no path
        ui.dialogPaths.push_back(folder + "/" + SafeHostFileName(list->RowAt(i).text.substr(0, 12)));
    }
    ExtractSelection(s, kMainWindow);
    ui.dialogPaths.clear();
    list->SelectAll(false);

    if (std::string v = Scratch::Get().CheckNothingOutside(allowed); !v.empty()) return v;
    // A file whose host name no other row shares holds its chain's bytes, if
    // it was written: up to its size, or as far as the chain goes.
    std::map<std::string, int> uses;
    for (std::size_t i = 0; i < list->RowCount(); ++i) ++uses[SafeHostFileName(list->RowAt(i).text.substr(0, 12))];
    const VolumeGeometry& g = doc.geometry;
    for (std::size_t i = 0; i < list->RowCount(); ++i) {
        const std::string name = SafeHostFileName(list->RowAt(i).text.substr(0, 12));
        const DirEntry e = ReadDirEntry(doc.data.get() + list->RowAt(i).slotOffset);
        if (uses[name] != 1 || (e.attributes & (attr::kDirectory | attr::kVolumeLabel)) != 0) continue;
        const std::vector<std::uint8_t>* stored = MemoryHost::Get().File((Scratch::Get().Out() / name).string());
        if (!stored) continue;  // a failed extraction (a read-only file replaced) ends the walk
        const std::vector<std::uint8_t>& got = *stored;
        std::vector<std::uint8_t> want;
        std::uint32_t remaining = e.size;
        for (ChainWalk walk(g, doc.Volume(), doc.VolumeLength(), e.firstCluster); remaining != 0 && walk.AtCluster();
             walk.Advance()) {
            const std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, ClusterBytes(g)));
            const std::uint8_t* at = doc.Volume() + ClusterOffset(g, walk.cluster());
            want.insert(want.end(), at, at + piece);
            remaining -= piece;
        }
        if (got != want) return "an extracted file differs from its chain: " + name;
    }
    if (Snapshot(doc) != before || doc.modified != modified) return "extracting changed the image";
    return {};
}

}  // namespace kv::fuzz
