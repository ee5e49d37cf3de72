// What korvane-cli prints for list, info and check, in text and JSON, made from
// an open session, and the rules every printed text follows: JSON holds only
// valid UTF-8 and escapes every control character, and text for the terminal
// holds none. A path, name or label may be any bytes; how they are shown is
// decided here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/image_document.h"

namespace kv::cli {

// `text` as valid UTF-8: every byte that is not part of a well-formed UTF-8
// character becomes U+FFFD. What JSON output holds (JSON escapes the control
// characters itself).
std::string JsonText(std::string_view text);

// `text` as the terminal may be given it: JsonText, and every control
// character other than the line break (C0, DEL and C1, which could start an
// escape sequence) becomes U+FFFD as well.
std::string TerminalText(std::string_view text);

// A byte as two upper-case hex digits.
std::string HexByte(std::uint32_t value);

// `list`: a line per row (name, size, date, attribute letters), or a JSON array.
std::string ListOutput(const Session& s, bool json);

// `info`: the image's geometry, OEM name, label, space and bad sectors; `image`
// is the path as the user gave it.
std::string InfoOutput(const Session& s, const std::string& image, bool json);

// `check`: a line per problem (and a summary for a clean volume unless
// `quiet`), or a JSON object. `clean` tells whether no problem was found.
std::string CheckOutput(const Session& s, const std::string& image, bool json, bool quiet, bool& clean);

}  // namespace kv::cli
