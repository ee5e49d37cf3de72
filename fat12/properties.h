// What the property sheets show and change, as plain values: the General page
// of a file, and the Volume, Errors and Media pages of the image. The desktop
// program draws these values; korvane-cli's info, errors, attrib and label
// print and change them the same way. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "platform/locale.h"
#include "platform/ui.h"

namespace kv {

// The four attribute bits the General page edits.
struct AttributeChecks {
    bool readOnly = false;  // 0x01, "&Read only"
    bool hidden = false;    // 0x02, "H&idden"
    bool archive = false;   // 0x20, "&Archive"
    bool system = false;    // 0x04, "&System"
};

struct GeneralPage {
    std::string name;        // "File:"
    std::string type;        // "Type:"
    std::string location;    // "Location:", always "\"
    std::string size;        // "Size:", empty for a directory
    std::string date;        // "Creation/change:", the long date
    bool directory = false;  // which icon the page shows
    AttributeChecks checks;
};

// The page for the entry at `slot`. The type of a file comes from the
// [Extensions] section of the settings file `settingsPath` (KORVANE.INI), or is
// "%s file" with the extension.
GeneralPage FillGeneralPage(const std::uint8_t* slot, const VolumeGeometry& g, const Locale& locale,
                            const std::string& settingsPath);

// "%s KB (%s Byte), %s Byte allocated" for a file of `size` bytes on a volume
// with `sectorsPerCluster`.
std::string FileSizeText(std::uint32_t size, std::uint32_t sectorsPerCluster, const Locale& locale);

// OK or Apply: gives the entry the checked bits, keeping the others. True when
// the entry changed (the image is then modified).
bool ApplyAttributes(Session& s, std::uint8_t* slot, const AttributeChecks& checks);

// The pages of the image properties sheet besides the Volume page: Errors
// when the image has a bad-sector list, and all three when `allPages` (Shift
// was held when the command ran), whatever the list.
struct ImageSheetPages {
    bool errors = false;
    bool media = false;
};
ImageSheetPages ImagePropertiesPages(const ImageDocument& doc, bool allPages);

struct VolumePage {
    std::string oemSignature;  // the boot sector's OEM name, up to its first NUL
    std::string label;         // the label without trailing blanks
    std::uint64_t usedBytes = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t totalBytes = 0;   // the whole image file
    std::string used, free, total;  // the three numbers in the user's grouping
};

VolumePage FillVolumePage(const ImageDocument& doc, const Locale& locale);

// OK or Apply of the Volume page with the label field's text (UTF-8, at most 11
// characters): removes the label when the text is blank, else writes it as
// typed. False, after string 31, when the root directory has no slot for it.
bool ApplyVolumeLabelText(Session& s, WindowRef owner, const std::string& text);

struct ErrorsPage {
    bool hasList = false;           // without a list the page is disabled
    std::vector<std::string> rows;  // the marked sectors, ascending, as "%lu"
};

ErrorsPage FillErrorsPage(const ImageDocument& doc);

// Apply of the Errors page, when rows were added or removed: the list is cleared
// and the sector number at the start of each row is marked, in row order.
void ApplyErrorsPage(MediaErrorList& list, const std::vector<std::string>& rows);

// The Add sector dialog's OK: the decimal number at the start of `text` (after
// blanks). -1 after string 40 when it does not start with a digit, or after
// string 41 when the number is not below `totalSectors`.
std::int64_t ReadSectorNumber(Ui& ui, WindowRef owner, const std::string& text, std::uint32_t totalSectors);

struct MediaPage {
    std::uint32_t bytesPerSector = 512;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatCount = 0;
    std::uint32_t rootEntries = 0;
    std::uint32_t totalSectors = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t heads = 0;
    std::uint32_t hiddenSectors = 0;  // the boot sector's word at offset 28
    bool harddisk = false;            // "Disk-image is harddisk": no sector count
};

MediaPage FillMediaPage(const ImageDocument& doc);

}  // namespace kv
