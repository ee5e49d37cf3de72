#include "platform/ini.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace kv {
namespace {

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& fallback) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fallback;
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            std::size_t close = t.find(']');
            inSection = close != std::string::npos && SameName(Trim(t.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (SameName(Trim(t.substr(0, eq)), key)) return Trim(t.substr(eq + 1));
    }
    return fallback;
}

}  // namespace kv
