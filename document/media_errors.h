// The list of bad sectors of an image and its side file ".der" beside the image.
// The list's bytes are the side file's bytes: a 20-byte header, then one bit per
// sector, the most significant bit of each byte the lowest sector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host_calls.h"
#include "platform/host_file.h"
#include "platform/ui.h"

namespace kv {

inline constexpr std::uint32_t kMediaErrorHeaderSize = 20;
// "DiskImage errors\r\n", 0x1A, 0x00
extern const std::uint8_t kMediaErrorHeader[kMediaErrorHeaderSize];

struct MediaErrorList {
    Bytes bytes;                  // header and bitmap; null without a list
    std::uint32_t byteCount = 0;  // 20 + B, or 0
    HostFile sideFile;            // kept from a read or a write until close or Save As
};

// Makes an empty list for `totalSectors` sectors (the header, then B = total / 8
// rounded up zero bytes). Without memory the list has no buffer; nothing is
// reported. Returns whether it has one.
bool CreateMediaErrorList(MediaErrorList& list, std::uint32_t totalSectors);

// Sets the bit of `sector` when the list has a buffer that holds its byte.
void MarkBadSector(MediaErrorList& list, std::uint32_t sector);
bool IsBadSector(const MediaErrorList& list, std::uint32_t sector);

// The marked sectors below `totalSectors`, in ascending order.
std::vector<std::uint32_t> ListBadSectors(const MediaErrorList& list, std::uint32_t totalSectors);

// Clears every bit behind the header.
void ClearMediaErrors(MediaErrorList& list);

// True when the list has a buffer of at least 21 bytes and any bitmap byte is set.
bool HasMediaErrors(const MediaErrorList& list);

// The side file's path: the image path with its extension replaced by "der", or
// ".der" appended when the file name has none or when the image's own
// extension is "der", in any case ("disk.der" gives "disk.der.der"), so that the side file
// is never the image itself.
std::string MediaErrorFilePath(const std::string& imagePath);

// Fills the list from the side file of `imagePath`, opened for reading (and
// writing unless `readOnly`) and kept. No side file: the list stays empty,
// nothing is shown. A side file whose header is wrong or shorter than 20 bytes:
// string 42, the file is closed and the list stays empty.
void LoadMediaErrorFile(Ui& ui, MediaErrorList& list, const std::string& imagePath, bool readOnly);

// Brings the side file of `imagePath` in line with the list after a save of the
// image: written (header and bitmap, in one write) when any sector is marked,
// else closed and deleted (a missing file counts as deleted). Failures are shown
// with the side file's path and give false.
bool SaveMediaErrorFile(Ui& ui, MediaErrorList& list, const std::string& imagePath);

// Closes the kept side file, if any.
void CloseMediaErrorFile(MediaErrorList& list);

}  // namespace kv
