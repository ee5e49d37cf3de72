// A small reader of settings files in the INI form: [Section] lines and
// key=value lines. Section and key names compare without regard to case.
#pragma once

#include <string>

namespace kv {

// The value of `key` in `section` of the file at `path`, with blanks around it
// cut; `fallback` when the file, the section or the key is missing. Lines that
// begin with ";" are comments.
std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& fallback = "");

}  // namespace kv
