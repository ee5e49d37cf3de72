// Little-endian fields in image bytes.
#pragma once

#include <cstdint>

namespace kv {

inline std::uint16_t ReadWord(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t ReadDword(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void WriteWord(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteDword(std::uint8_t* p, std::uint32_t value) {
    WriteWord(p, value);
    WriteWord(p + 2, value >> 16);
}

}  // namespace kv
