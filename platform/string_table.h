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
