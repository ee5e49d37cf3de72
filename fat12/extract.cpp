#include "fat12/extract.h"

#include <algorithm>

#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/fat.h"
#include "platform/codepage.h"
#include "platform/dos_time.h"
#include "platform/messages.h"
#include "platform/runs.h"
#include "platform/string_table.h"

namespace kv {

int ExtractEntry(Session& s, WindowRef owner, const std::uint8_t* slot, std::uint32_t options,
                 const std::string& hostPath) {
    const DirEntry entry = ReadDirEntry(slot);
    std::uint32_t error = 0;
    HostFile file = HostFile::Open(hostPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, entry.attributes, error);
    if (!file.IsOpen()) {
        if (error != ERROR_FILE_EXISTS) {
            ShowSystemError(s.ui, owner, hostPath, error, std::nullopt, MB_ICONHAND);
            return 0;
        }
        if (!(options & kReplaceWithoutAsking)) {
            int answer = ShowMessage(s.ui, owner, FillText("%s\n\nFile already exists! Replace?", {hostPath}),
                                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
            if (answer != IDYES) return 1;
        }
        file = HostFile::Open(hostPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, entry.attributes, error);
        if (!file.IsOpen()) {
            ShowSystemError(s.ui, owner, hostPath, error, std::nullopt, MB_ICONHAND);
            return 0;
        }
    }

    // The chain is followed a bounded number of steps; an end value, a value
    // that is no link, a loop or a cluster beyond the volume's end before the
    // size is covered all mean the stored file is corrupted.
    const ImageDocument& doc = s.doc;
    const VolumeGeometry& g = doc.geometry;
    const std::uint8_t* volume = doc.Volume();
    const std::uint64_t clusterBytes = ClusterBytes(g);
    int result = 1;
    std::uint32_t remaining = entry.size;
    // Clusters that follow each other on the volume are written in one go.
    RunFolder run([&](std::uint64_t start, std::uint64_t length) {
        std::uint64_t done = 0;
        if (!file.Write(volume + start, length, done, error) || done < length) {
            if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;
            ShowSystemError(s.ui, owner, hostPath, error, std::nullopt, MB_ICONHAND);
            result = 0;
        }
        return result != 0;
    });
    ChainWalk walk(g, volume, doc.VolumeLength(), entry.firstCluster);
    while (remaining != 0) {
        if (!walk.AtCluster()) {
            if (run.Flush()) {
                ShowMessage(s.ui, owner, FillText("%s\n\nError: stored file is corrupted!", {hostPath}),
                            MB_ICONEXCLAMATION);
            }
            break;
        }
        std::uint32_t piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, clusterBytes));
        std::uint64_t offset = ClusterOffset(g, walk.cluster());
        if (!run.Add(offset, piece)) break;
        remaining -= piece;
        walk.Advance();
    }
    if (remaining == 0) run.Flush();

    if (result == 0) {
        // The host would not take the file (no space, too large): what it
        // took of it goes again. A corrupted stored file keeps its part.
        file.Close(error);
        DiscardHostFile(hostPath);
        return 0;
    }
    // A stamp the host cannot represent gives 1980-01-01 00:00:00 local time.
    std::int64_t when = 0;
    HostTimeFromDosDateTime(entry.date, entry.time, when);
    file.SetTimes(when, error);
    file.Close(error);
    return result;
}

RowWalk ExtractSelected(Session& s, WindowRef owner, const SelectedRow& row) {
    const std::string shown = Cp437ToUtf8(row.text);
    if (row.slot[dir::kAttributes] & (attr::kDirectory | attr::kVolumeLabel)) {
        ShowMessage(s.ui, owner, FillText("File '%s' cannot be saved (directory or volume-label)!", {shown}),
                    MB_ICONEXCLAMATION);
        return RowWalk::Next;
    }
    std::string path = shown;
    if (!ChooseImageFile(s, owner, str::kAllFilesFilter, path, OFN_CREATEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY,
                         nullptr, true, 0)) {
        return RowWalk::Stop;
    }
    return ExtractEntry(s, owner, row.slot, 0, path) != 0 ? RowWalk::Next : RowWalk::Stop;
}

void ExtractSelection(Session& s, WindowRef owner) {
    ForEachSelectedRow(s, [&](const SelectedRow& row) { return ExtractSelected(s, owner, row); });
}

bool ExtractSelectionIntoFolder(Session& s, WindowRef owner, const std::string& folder,
                                std::vector<std::string>& written) {
    std::uint8_t attributeUnion = 0;
    ForEachSelectedRow(s, [&](const SelectedRow& row) {
        attributeUnion |= row.slot[dir::kAttributes];
        return RowWalk::Next;
    });
    if (attributeUnion & (attr::kDirectory | attr::kVolumeLabel)) {
        ShowStringMessage(s.ui, owner, str::kCannotDragOut, MB_ICONEXCLAMATION);
        return false;
    }
    bool success = true;
    ForEachSelectedRow(s, [&](const SelectedRow& row) {
        const std::string path = folder + "/" + SafeHostFileName(row.text);
        written.push_back(path);
        success = ExtractEntry(s, owner, row.slot, kReplaceWithoutAsking, path) != 0;
        return success ? RowWalk::Next : RowWalk::Stop;
    });
    return success;
}

}  // namespace kv
