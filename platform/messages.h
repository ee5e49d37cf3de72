// The two kinds of message box every part of the program uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace kv {

// The text ShowSystemError shows: the prefix and a line break (when a prefix is
// given), the system's text for the code (or "Error %lu" when it has none), then
// a line break and the suffix (when a suffix is given).
std::string SystemErrorMessage(const std::optional<std::string>& prefix, std::uint32_t code,
                               const std::optional<std::string>& suffix);

// Shows SystemErrorMessage with the application's title as caption and returns
// the button chosen.
int ShowSystemError(Ui& ui, WindowRef owner, const std::optional<std::string>& prefix, std::uint32_t code,
                    const std::optional<std::string>& suffix, std::uint32_t style);

// Shows string `id` of the string table (cut at 511 characters) with the
// application's title as caption; returns the button chosen.
int ShowStringMessage(Ui& ui, WindowRef owner, std::uint32_t id, std::uint32_t style);

// Shows `text` with the application's title as caption.
int ShowMessage(Ui& ui, WindowRef owner, const std::string& text, std::uint32_t style);

}  // namespace kv
