// Names inside an image are bytes of code page 437, the character set of DOS and
// MSX machines. They are shown and typed as Unicode (UTF-8) and converted here.
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Bytes of code page 437 as UTF-8. Control bytes 0x01-0x1F and 0x7F are shown as
// the graphic characters the DOS screen shows for them; 0x00 stays U+0000.
std::string Cp437ToUtf8(std::string_view bytes);

// UTF-8 text as code page 437 bytes. Characters the code page lacks, and bytes
// that are not UTF-8, become `replacement`.
std::string Utf8ToCp437(std::string_view text, char replacement = '_');

// Upper-cases code page 437 bytes: a-z and the accented letters that the code
// page has in both cases. Every other byte stays.
char UpperCp437(char c);
void UpperCaseCp437(std::string& bytes);

}  // namespace kv
