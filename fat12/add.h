// Adding host files and folders to the root directory of the open image.
#pragma once

#include <cstdint>
#include <string>

#include "document/image_document.h"
#include "platform/host_file.h"

namespace kv {

// Adds one host file (or folder, as an entry without clusters) to the open
// image. All or nothing: the work is done on a working copy that replaces the
// image's bytes (in the same buffer) only when everything succeeded, so a
// refused question, a full directory or disk, a short image or a failing read
// leave the image and its modified flag exactly as they were. False when
// nothing was added; the reason has been shown.
bool AddHostFile(Session& s, const std::string& hostPath);

// Copies `byteCount` bytes of `file` into free clusters of `volume` (the
// working copy), first fit from cluster 2, linking them into the chain of the
// entry at `entrySlot`. False after "Disk full!", "Disk full!\n(image too
// small)" or the host's reason for a failed read.
bool CopyFileIntoClusters(Ui& ui, const VolumeGeometry& g, HostFile& file, std::uint8_t* volume,
                          std::uint32_t length, const std::string& hostPath, std::uint8_t* entrySlot,
                          std::uint32_t byteCount);

// The Add file command: asks for one host file and adds it.
bool ChooseAndAddFile(Session& s, WindowRef owner);

}  // namespace kv
