#include "document/media_errors.h"

#include <cstring>

#include "platform/messages.h"
#include "platform/string_table.h"

namespace kv {

const std::uint8_t kMediaErrorHeader[kMediaErrorHeaderSize] = {
    'D', 'i', 's', 'k', 'I', 'm', 'a', 'g', 'e', ' ', 'e', 'r', 'r', 'o', 'r', 's', '\r', '\n', 0x1A, 0x00,
};

bool CreateMediaErrorList(MediaErrorList& list, std::uint32_t totalSectors) {
    list.bytes.reset();
    list.byteCount = 0;
    std::uint64_t count = kMediaErrorHeaderSize + (static_cast<std::uint64_t>(totalSectors) + 7) / 8;
    Bytes bytes = AllocateBytes(static_cast<std::size_t>(count));
    if (!bytes) return false;
    std::memset(bytes.get(), 0, static_cast<std::size_t>(count));
    std::memcpy(bytes.get(), kMediaErrorHeader, kMediaErrorHeaderSize);
    list.bytes = std::move(bytes);
    list.byteCount = static_cast<std::uint32_t>(count);
    return true;
}

void MarkBadSector(MediaErrorList& list, std::uint32_t sector) {
    std::uint64_t index = kMediaErrorHeaderSize + sector / 8;
    if (!list.bytes || index >= list.byteCount) return;
    list.bytes[index] |= static_cast<std::uint8_t>(0x80 >> (sector % 8));
}

bool IsBadSector(const MediaErrorList& list, std::uint32_t sector) {
    std::uint64_t index = kMediaErrorHeaderSize + sector / 8;
    if (!list.bytes || index >= list.byteCount) return false;
    return (list.bytes[index] & (0x80 >> (sector % 8))) != 0;
}

std::vector<std::uint32_t> ListBadSectors(const MediaErrorList& list, std::uint32_t totalSectors) {
    std::vector<std::uint32_t> sectors;
    for (std::uint32_t n = 0; n < totalSectors; ++n) {
        if (IsBadSector(list, n)) sectors.push_back(n);
    }
    return sectors;
}

void ClearMediaErrors(MediaErrorList& list) {
    if (list.bytes && list.byteCount > kMediaErrorHeaderSize) {
        std::memset(list.bytes.get() + kMediaErrorHeaderSize, 0, list.byteCount - kMediaErrorHeaderSize);
    }
}

bool HasMediaErrors(const MediaErrorList& list) {
    if (!list.bytes || list.byteCount < kMediaErrorHeaderSize + 1) return false;
    for (std::uint32_t i = kMediaErrorHeaderSize; i < list.byteCount; ++i) {
        if (list.bytes[i] != 0) return true;
    }
    return false;
}

std::string MediaErrorFilePath(const std::string& imagePath) {
    const std::string& path = imagePath;
    for (std::size_t i = path.size(); i-- > 0;) {
        char c = path[i];
        if (c == '.') {
            // An image named *.der (in any case, as Windows names compare)
            // keeps its name and gets ".der" behind it.
            std::string extension = path.substr(i + 1);
            for (char& e : extension) e = static_cast<char>(e | 0x20);
            return extension == "der" ? path + ".der" : path.substr(0, i + 1) + "der";
        }
        if (c == '/' || c == '\\' || c == ':') break;
    }
    if (path.empty()) return "der";
    return path + ".der";
}

void LoadMediaErrorFile(Ui& ui, MediaErrorList& list, const std::string& imagePath, bool readOnly) {
    if (!list.bytes) return;
    std::string path = MediaErrorFilePath(imagePath);
    std::uint32_t access = GENERIC_READ | (readOnly ? 0 : GENERIC_WRITE);
    std::uint32_t error = 0;
    list.sideFile = HostFile::Open(path, access, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, error);
    if (!list.sideFile.IsOpen()) return;

    std::uint8_t header[kMediaErrorHeaderSize];
    std::uint64_t done = 0;
    bool read = list.sideFile.Read(header, sizeof header, done, error);
    if (!read || done < sizeof header || std::memcmp(header, kMediaErrorHeader, sizeof header) != 0) {
        CloseMediaErrorFile(list);
        ShowStringMessage(ui, kMainWindow, str::kSideFileUnknown, MB_ICONEXCLAMATION);
        return;
    }
    // A shorter file leaves the remaining bits clear; a failing read is not reported.
    list.sideFile.Read(list.bytes.get() + kMediaErrorHeaderSize, list.byteCount - kMediaErrorHeaderSize, done, error);
}

bool SaveMediaErrorFile(Ui& ui, MediaErrorList& list, const std::string& imagePath) {
    std::string path = MediaErrorFilePath(imagePath);
    std::uint32_t error = 0;
    if (HasMediaErrors(list)) {
        if (list.sideFile.IsOpen()) {
            if (!list.sideFile.SetPosition(0, error)) {
                ShowSystemError(ui, kMainWindow, path, error, std::nullopt, MB_ICONHAND);
                return false;
            }
        } else {
            list.sideFile = HostFile::Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                                           FILE_FLAG_RANDOM_ACCESS, error);
            if (!list.sideFile.IsOpen()) {
                ShowSystemError(ui, kMainWindow, path, error, std::nullopt, MB_ICONHAND);
                return false;
            }
        }
        std::uint64_t done = 0;
        bool written = list.sideFile.Write(list.bytes.get(), list.byteCount, done, error);
        if (!written || done < list.byteCount) {
            if (written) error = ERROR_DISK_FULL;
            ShowSystemError(ui, kMainWindow, path, error, std::nullopt, MB_ICONHAND);
            return false;
        }
        return true;
    }
    CloseMediaErrorFile(list);
    if (!RemoveHostFile(path, error) && error != ERROR_FILE_NOT_FOUND) {
        ShowSystemError(ui, kMainWindow, path, error, std::nullopt, MB_ICONHAND);
        return false;
    }
    return true;
}

void CloseMediaErrorFile(MediaErrorList& list) {
    std::uint32_t ignored = 0;
    list.sideFile.Close(ignored);
}

}  // namespace kv
