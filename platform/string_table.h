// The program's string table: every numbered text that the program shows, and the
// helpers that load them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

// The numbers of the string table's texts. The descriptions of the disk formats
// (11-18, 49) are reached through the format table's nameStringId.
namespace str {
inline constexpr std::uint32_t kApplicationTitle = 1;  // "Korvane"
inline constexpr std::uint32_t kColumnFilename = 2;
inline constexpr std::uint32_t kColumnSize = 3;
inline constexpr std::uint32_t kColumnLastChange = 4;
inline constexpr std::uint32_t kColumnAttributes = 5;
inline constexpr std::uint32_t kImageFilter = 6;     // disk-image files of the open and save dialogs
inline constexpr std::uint32_t kAllFilesFilter = 7;  // the extract dialog's filter
inline constexpr std::uint32_t kSaveChanges = 8;     // "Disk-image has been modified! ..."
inline constexpr std::uint32_t kHelpFailed = 9;      // "Oops: failed to display help!"
inline constexpr std::uint32_t kAbout = 10;          // "Version 0.10 (Beta) 2005-03-29 ..."
inline constexpr std::uint32_t kFileTooLarge = 19;
inline constexpr std::uint32_t kFileTooSmall = 20;
inline constexpr std::uint32_t kDialogFailed = 21;  // "Failed to create dialog!"
inline constexpr std::uint32_t kFatBackupDiffers = 22;
inline constexpr std::uint32_t kNotValidImage = 23;
inline constexpr std::uint32_t kFileSizeText = 24;   // "%s KB (%s Byte), %s Byte allocated"
inline constexpr std::uint32_t kFileType = 25;       // "%s file"
inline constexpr std::uint32_t kDirectoryType = 26;  // "Directory"
inline constexpr std::uint32_t kFormatCorrupted = 27;
inline constexpr std::uint32_t kOutOfMemory = 28;
inline constexpr std::uint32_t kUntitled = 29;
inline constexpr std::uint32_t kImageExtension = 30;  // ".dsk", the save dialog's default
inline constexpr std::uint32_t kLabelNoSlot = 31;
inline constexpr std::uint32_t kDriveCapacity = 32;     // "Disk in %c:, capacity is %lu KBytes"
inline constexpr std::uint32_t kCustomFormat = 33;      // "Custom..."
inline constexpr std::uint32_t kImageProperties = 34;   // "Disk-image properties"
inline constexpr std::uint32_t kBadSectorsColumn = 35;  // "Bad sector(s)"
inline constexpr std::uint32_t kNameTooLong = 36;
inline constexpr std::uint32_t kNameBlank = 37;
inline constexpr std::uint32_t kNameInvalid = 38;
inline constexpr std::uint32_t kNameCharacters = 39;
inline constexpr std::uint32_t kNoSectorNumber = 40;
inline constexpr std::uint32_t kSectorOutOfRange = 41;
inline constexpr std::uint32_t kSideFileUnknown = 42;
inline constexpr std::uint32_t kMediaErrorsNotWritten = 43;
inline constexpr std::uint32_t kDiskImageType = 44;    // "Disk image"
inline constexpr std::uint32_t kOpenWithVerb = 45;     // "Open with &Korvane"
inline constexpr std::uint32_t kWriteToDiskVerb = 46;  // "&Write image to disk"
inline constexpr std::uint32_t kRegistrationSucceeded = 47;
inline constexpr std::uint32_t kRegistrationFailed = 48;
inline constexpr std::uint32_t kReadDiskWarning = 52;  // asked before a floppy is read
inline constexpr std::uint32_t kReadOnlyWarning = 53;
inline constexpr std::uint32_t kCompressedImage = 54;
inline constexpr std::uint32_t kCommentCaption = 55;  // "Disk-image comment"
inline constexpr std::uint32_t kCannotDragOut = 56;   // "File(s) cannot be saved (directory or volume-label)!"
inline constexpr std::uint32_t kMsxDosBootSector = 57;
}  // namespace str

// The text of string `id`, or the empty text when the table has none.
std::string LoadText(std::uint32_t id);

// The program's name, string 1: the caption of every message box.
std::string ApplicationTitle();

// Loads a filter string ("name|pattern|...|") into `buffer` of `size` bytes with
// every "|" replaced by a NUL, so that it becomes a list of NUL-terminated strings
// closed by an empty one. Returns the number of characters loaded (cut so that
// the loaded text and its NUL fit the buffer).
std::size_t LoadFilterString(std::uint32_t id, char* buffer, std::size_t size);

// The same filter as (name, pattern) pairs, for dialogs that take them so.
std::vector<std::pair<std::string, std::string>> LoadFilterPairs(std::uint32_t id);

// Fills the printf-style directives of a message text (%s, %c, %u, %lu, %ld, %d,
// %X) with the given texts, in order; "%%" gives "%". Directives without an
// argument are left out. Arguments are never read as directives themselves, so a
// file name that holds "%" is shown as it is.
std::string FillText(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace kv
