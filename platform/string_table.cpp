#include "platform/string_table.h"

#include <algorithm>
#include <array>

namespace kv {
namespace {

struct Entry {
    std::uint32_t id;
    const char* text;
};

// Texts are UTF-8. Numbers are those the rest of the program refers to.
constexpr Entry kStrings[] = {
    {1, "Korvane"},
    {2, "Filename"},
    {3, "Size"},
    {4, "Last change"},
    {5, "Attributes"},
    {6, "All disk-images|*.dsk;*.flp|Disk images|*.dsk|Floppy-disk images|*.flp|All files|*.*|"},
    {7, "All files|*.*|"},
    {8, "Disk-image has been modified!\n\nSave changes?"},
    {9, "Oops: failed to display help!"},
    {10,
     "Version 0.10 (Beta) 2005-03-29\n\n"
     "Korvane manages FAT12 floppy-disk images as MS-DOS and MSX-DOS write them:\n"
     "look inside, copy files in and out, rename, delete, set attributes and labels,\n"
     "make new (bootable) disks and move images to and from floppy drives."},
    {11, "1 side, 80 tracks, 9 sectors/track (360 KBytes)"},
    {12, "2 sides, 80 tracks, 9 sectors/track (720 KBytes)"},
    {13, "1 side, 80 tracks, 8 sectors/track (320 KBytes)"},
    {14, "2 sides, 80 tracks, 8 sectors/track (640 KBytes)"},
    {15, "1 side, 40 tracks, 9 sectors/track (180 KBytes)"},
    {16, "2 sides, 40 tracks, 9 sectors/track (360 KBytes)"},
    {17, "1 side, 40 tracks, 8 sectors/track (160 KBytes)"},
    {18, "2 sides, 40 tracks, 8 sectors/track (320 KBytes)"},
    {19, "File too large!\n\nKorvane can only handle images < 4GB!"},
    {20, "File too small!\n\nThis file is no valid disk-image!"},
    {21, "Failed to create dialog!"},
    {22,
     "The backup copy of the FATdoes not match. Update backup with original FAT?\n"
     "(if you choose 'No' the update is made after 1st modification of the disk-image)"},
    {23, "This does not seem to be a valid MS(X)-DOS image!"},
    {24, "%s KB (%s Byte), %s Byte allocated"},
    {25, "%s file"},
    {26, "Directory"},
    {27,
     "Disk format-informations are corrupted or disk is copy-protected. Korvane uses the "
     "(valid) format-byte to display and modify disk-contents!"},
    {28, "Out of memory!"},
    {29, "Untitled"},
    {30, ".dsk"},
    {31, "Error: cannot set volume-label!\nRoot-directory is full."},
    {32, "Disk in %c:, capacity is %lu KBytes"},
    {33, "Custom..."},
    {34, "Disk-image properties"},
    {35, "Bad sector(s)"},
    {36, "Filename too long!\n(use 8.3 format)"},
    {37, "Specify a valid (non blank) filename!"},
    {38, "Invalid filename!\n(use 8.3 format)"},
    {39,
     "Filename contains invalid characters!\n\n"
     "Valid characters are A-Z, 0-9, %, \u2018, -, _, @, {, }, ~, `, !, #, ( and ) "},
    {40, "No sector number specified!"},
    {41, "Invalid sector number!\n(out of range)"},
    {42,
     "The diskimage-error file (*.der) for the selected disk-image is in unknown format.\n\n"
     "It's assumed that the loaded disk-image has no errors. If you save the disk-image the "
     "associated *.der file will be changed (updated/deleted) also!\n\n"
     "(take care for loss of data if the *.der file is no diskimage-error file)"},
    {43,
     "WARNING: the selected disk-image contains informations about media-errors.\n"
     "These errors will NOT be written to the target media!"},
    {44, "Disk image"},
    {45, "Open with &Korvane"},
    {46, "&Write image to disk"},
    {47, "Registration successful!"},
    {48, "Registration failed!"},
    {49, "2 sides, 80 tracks, 18 sectors/track (1.44 MBytes)"},
    {52,
     "WARNING: reading diskettes designed for foreign systems (no DOS or Windows) may "
     "IRREVERSIBLY destroy sensitive data on the source(!) media. Make sure your disk is "
     "write protected!\nDo NOT read disks designed for other systems (MSX, ...) which may "
     "contain copy-protected software, that checks this sensitive data.\n\n"
     "Read data from current disk?"},
    {53,
     "Warning: file could not be opened in read/write-mode,\n"
     "therefore the opened disk-image is READ-ONLY!"},
    {54, "ERROR: this disk-image is compressed!\n\nKorvane can not handle compressed disk-images."},
    {55, "Disk-image comment"},
    {56, "File(s) cannot be saved (directory or volume-label)!"},
    {57, "MSX-DOS boot sector"},
};

}  // namespace

std::string LoadText(std::uint32_t id) {
    for (const Entry& e : kStrings) {
        if (e.id == id) return e.text;
    }
    return {};
}

std::string ApplicationTitle() { return LoadText(str::kApplicationTitle); }

std::size_t LoadFilterString(std::uint32_t id, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string text = LoadText(id);
    std::size_t n = std::min(text.size(), size - 1);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = text[i] == '|' ? '\0' : text[i];
    buffer[n] = '\0';
    return n;
}

std::vector<std::pair<std::string, std::string>> LoadFilterPairs(std::uint32_t id) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string text = LoadText(id);
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '|') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

std::string FillText(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(format.size() + 32);
    const std::string_view* next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // A directive: optional flags/width, optional 'l', then the conversion.
        std::size_t j = i + 1;
        while (j < format.size() && (format[j] == '-' || format[j] == '.' || (format[j] >= '0' && format[j] <= '9')))
            ++j;
        while (j < format.size() && format[j] == 'l') ++j;
        if (j >= format.size() || std::string_view("scudiXxf").find(format[j]) == std::string_view::npos) {
            out += c;  // not a directive we know: keep the text as it is
            continue;
        }
        if (next != args.end()) out += *next++;
        i = j;
    }
    return out;
}

}  // namespace kv
