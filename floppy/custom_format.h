// The Custom disk-format dialog's work: reading its fields into a format row,
// the total and formatted capacity it shows while the user types, and its OK
// button, which refuses geometries the program cannot work with and otherwise
// fills the custom row of the format table.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "document/disk_format.h"
#include "platform/ui.h"

namespace kv {

// The nine edit fields that fill a row, in the order they are read.
enum CustomField : std::size_t {
    kCustomMedia,              // 1001 "Media Id byte", hexadecimal
    kCustomSectorsPerCluster,  // 1027
    kCustomReserved,           // 1028
    kCustomFats,               // 1029
    kCustomRootEntries,        // 1030
    kCustomSectors,            // 1031
    kCustomSectorsPerFat,      // 1032
    kCustomSectorsPerTrack,    // 1033
    kCustomHeads,              // 1034
    kCustomFieldCount
};

inline constexpr std::array<std::uint32_t, kCustomFieldCount> kCustomFieldIds = {1001, 1027, 1028, 1029, 1030,
                                                                                 1031, 1032, 1033, 1034};

// The texts of the dialog's fields. A new dialog always starts from the initial
// texts, whatever the custom row holds.
struct CustomFormatFields {
    std::array<std::string, kCustomFieldCount> texts = {"F8", "4", "1", "2", "224", "16384", "11", "40", "4"};
};

// A row from the fields: all eleven fields cleared, then the nine filled. The
// media text is one hexadecimal number, the others decimal whole numbers with
// an optional sign; leading blanks are skipped, reading stops at the first other
// character, a text without digits gives 0, and a negative number is kept as its
// 32-bit two's complement.
DiskFormat ReadCustomFields(const CustomFormatFields& fields);

// The two texts of the "Capacity" box, in KB: Total (1036) and Formatted (1037).
struct CustomCapacity {
    std::string total;
    std::string formatted;
};
CustomCapacity UpdateCustomCapacity(const CustomFormatFields& fields);

// Why the program cannot work with `row` as a FAT12 volume, in the user's words;
// empty when it can.
std::string CheckCustomGeometry(const DiskFormat& row);

// The OK button. A zero capacity is refused with "Capacity of disk is <= 0
// Bytes!" (caption "UNDER CONSTRUCTION"), a geometry that CheckCustomGeometry
// faults with its text; then the dialog stays open (false). Otherwise the fields
// become the custom row (true).
bool ConfirmCustomFormat(Ui& ui, WindowRef dialog, const CustomFormatFields& fields, FormatTable& formats);

}  // namespace kv
