#include "fuzz/harness_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "document/bytes.h"
#include "fat12/check.h"
#include "fat12/directory.h"
#include "fat12/entries.h"
#include "fat12/extract.h"
#include "fat12/fat.h"
#include "fat12/list_walk.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/string_table.h"

namespace kv::fuzz {

namespace fs = std::filesystem;

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
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
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
        {IDOK},                      // MB_OK
        {IDOK, IDCANCEL},            // MB_OKCANCEL
        {IDRETRY, IDIGNORE, IDABORT},  // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},     // MB_YESNOCANCEL
        {IDYES, IDNO},               // MB_YESNO
        {IDRETRY, IDCANCEL},         // MB_RETRYCANCEL
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

Scratch::Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) std::abort();
    base_ = buffer.data();
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(Scratch::Get().base_, ec);
    });
}

void Scratch::Reset() {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(base_, ec)) fs::remove_all(e.path(), ec);
    fs::create_directories(In(), ec);
    fs::create_directories(Out(), ec);
}

std::string Scratch::CheckNothingOutside(const std::set<std::string>& allowed) const {
    std::error_code ec;
    static const std::set<std::string> kTop = {"image.dsk", "image.der", "in", "jail"};
    for (const fs::directory_entry& e : fs::directory_iterator(base_, ec)) {
        if (!kTop.count(e.path().filename().string())) return "written outside the folder: " + e.path().string();
    }
    for (const fs::directory_entry& e : fs::directory_iterator(base_ / "jail", ec)) {
        if (e.path().filename() != "out") return "written outside the folder: " + e.path().string();
    }
    for (const fs::directory_entry& e : fs::directory_iterator(Out(), ec)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return "extracted something that is not a plain file: " + e.path().string();
        }
        if (!allowed.count(e.path().filename().string())) return "unexpected extracted file: " + e.path().string();
    }
    return {};
}

std::vector<std::uint8_t> Snapshot(const ImageDocument& doc) {
    return std::vector<std::uint8_t>(doc.data.get(), doc.data.get() + doc.size);
}

std::string CheckRows(const Session& s, bool textsAsShown) {
    const ImageDocument& doc = s.doc;
    std::vector<std::uint32_t> expected;
    ScanRootDirectory(doc.geometry, doc.Volume(), doc.VolumeLength(),
                      [&](std::uint32_t, std::uint64_t offset, const std::uint8_t* slot) {
                          if (IsShownSlot(slot)) expected.push_back(static_cast<std::uint32_t>(doc.bootOffset + offset));
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
        std::ifstream in(Scratch::Get().Out() / name, std::ios::binary);
        if (!in) continue;  // a failed extraction (a read-only file replaced) ends the walk
        const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
