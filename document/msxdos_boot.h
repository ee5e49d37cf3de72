// The MSX-DOS boot program carried by every blank image the program makes: Z80
// code and data for offsets 30 to 268 of the boot sector. Its assembly source is
// msxdos_boot.asm beside this file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

inline constexpr std::size_t kBootProgramOffset = 30;
inline constexpr std::size_t kBootProgramSize = 239;
inline constexpr std::size_t kBootMessageOffset = 119;     // "Boot error\r\nPress any key for retry\r\n$"
inline constexpr std::size_t kBootSystemNameOffset = 158;  // "MSXDOS  SYS"

extern const std::uint8_t kMsxDosBootProgram[kBootProgramSize];

}  // namespace kv
