// Error codes keep their Win32 numbers throughout the program; the host's errno
// values are mapped onto them here, and each code has the text that message boxes
// show for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_values.h"

namespace kv {

// Codes of our own. Bit 29 marks a code as the application's in the Win32 error
// space, so these never collide with a system code.
inline constexpr std::uint32_t kApplicationErrorBit = 0x20000000;
// The drive cannot format tracks (it is not on a floppy-disk controller).
inline constexpr std::uint32_t kErrorCannotFormatTracks = kApplicationErrorBit | 1;
// The drive's logical sectors are not 512 bytes long.
inline constexpr std::uint32_t kErrorSectorSize = kApplicationErrorBit | 2;
// A file that the program would create or replace is a symbolic link, which it
// never writes through.
inline constexpr std::uint32_t kErrorSymbolicLink = kApplicationErrorBit | 3;

// The error code for a host errno value (ERROR_GEN_FAILURE for values without a
// closer match; 0 stays 0).
std::uint32_t ErrorFromErrno(int error);

// The system's text for an error code, ending with a line break as system texts
// do; the empty text when the code has none. Codes that stand for an errno value
// use the host's wording of it; a few device codes have short texts of our own.
std::string SystemErrorText(std::uint32_t code);

}  // namespace kv
