#include "fat12/add.h"

#include <cstring>

#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/fat.h"
#include "platform/codepage.h"
#include "platform/dos_time.h"
#include "platform/messages.h"

namespace kv {

bool CopyFileIntoClusters(Ui& ui, const VolumeGeometry& g, HostFile& file, std::uint8_t* volume,
                          std::uint32_t length, const std::string& hostPath, std::uint8_t* entrySlot,
                          std::uint32_t byteCount) {
    const std::uint64_t clusterBytes = ClusterBytes(g);
    std::uint32_t remaining = byteCount;
    std::uint32_t previous = 0;
    while (remaining != 0) {
        std::uint32_t x = FindFreeCluster(g, volume, length);
        if (x == 0) {
            ShowMessage(ui, kMainWindow, "Disk full!", MB_ICONHAND);
            return false;
        }
        std::uint32_t piece = remaining < clusterBytes ? remaining : static_cast<std::uint32_t>(clusterBytes);
        std::uint64_t offset = ClusterOffset(g, x);
        if (offset + piece > length) {
            ShowMessage(ui, kMainWindow, "Disk full!\n(image too small)", MB_ICONHAND);
            return false;
        }
        std::uint64_t done = 0;
        std::uint32_t error = 0;
        if (!file.Read(volume + offset, piece, done, error) || done < piece) {
            if (error == ERROR_SUCCESS) error = ERROR_HANDLE_EOF;
            ShowSystemError(ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
            return false;
        }
        if (previous == 0) {
            WriteWord(entrySlot + dir::kFirstCluster, x);
        } else {
            WriteFatEntry(volume, length, previous, static_cast<std::uint16_t>(x));
        }
        WriteFatEntry(volume, length, x, kEndOfChain);
        previous = x;
        remaining -= piece;
    }
    return true;
}

bool AddHostFile(Session& s, const std::string& hostPath) {
    ImageDocument& doc = s.doc;
    if (!doc.IsOpen()) return false;
    Bytes copy = AllocateBytes(doc.size);
    if (!copy) {
        ShowMessage(s.ui, kMainWindow, "Out of memory!", MB_ICONHAND);
        return false;
    }
    std::memcpy(copy.get(), doc.data.get(), doc.size);
    std::uint8_t* volume = copy.get() + doc.bootOffset;
    const std::uint32_t length = doc.VolumeLength();
    const VolumeGeometry& g = doc.geometry;

    HostFileInfo info;
    std::uint32_t error = 0;
    if (!FindHostFile(hostPath, info, error)) {
        ShowSystemError(s.ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
        return false;
    }
    // Host names are UTF-8; entries hold code page 437, upper-cased.
    std::string name = Utf8ToCp437(info.alternateFileName.empty() ? info.fileName : info.alternateFileName);
    UpperCaseCp437(name);
    const std::string nameText = Cp437ToUtf8(name);
    std::uint8_t field[dir::kShortNameLength];
    MakeShortNameField(name, field);

    std::optional<DirectorySlot> found = FindDirectorySlot(s.ui, g, volume, length, nameText, field, false);
    if (!found) return false;
    std::uint8_t* slot = volume + found->offset;
    if (found->exists) FreeClusterChain(g, slot, volume, length);
    std::memcpy(slot + dir::kName, field, dir::kShortNameLength);
    WriteWord(slot + dir::kFirstCluster, 0);

    const auto size = static_cast<std::uint32_t>(info.size);  // the low 32 bits
    if (!(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        HostFile file = HostFile::Open(hostPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_FLAG_RANDOM_ACCESS, error);
        if (!file.IsOpen()) {
            ShowSystemError(s.ui, kMainWindow, hostPath, error, std::nullopt, MB_ICONHAND);
            return false;
        }
        bool copied = CopyFileIntoClusters(s.ui, g, file, volume, length, hostPath, slot, size);
        file.Close(error);
        if (!copied) return false;
    }
    std::uint16_t date = 0, time = 0;
    DosDateTimeFromHostTime(info.lastWriteTime, date, time);
    WriteWord(slot + dir::kTime, time);
    WriteWord(slot + dir::kDate, date);
    WriteDword(slot + dir::kSize, size);
    slot[dir::kAttributes] = static_cast<std::uint8_t>(info.attributes & 0x3F);

    std::memcpy(doc.data.get(), copy.get(), doc.size);
    copy.reset();
    if (found->exists) {
        s.list.Redraw();
    } else {
        AddListRow(s, static_cast<std::uint32_t>(doc.bootOffset + found->offset), found->position);
    }
    doc.modified = true;
    return true;
}

bool ChooseAndAddFile(Session& s, WindowRef owner) {
    std::string path;
    if (!ChooseImageFile(s, owner, 7, path, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, nullptr, false, 0)) return false;
    return AddHostFile(s, path);
}

}  // namespace kv
