#include "tests/support/session_fixture.h"

#include <cstring>

#include "document/boot_sector.h"

namespace kv::test {

std::vector<std::uint8_t> SessionFixture::BlankImage(std::uint32_t code) {
    ScriptedUi quiet;
    MemoryFileList quietList;
    Session scratch(quiet, quietList, locale, nullptr);
    EXPECT_TRUE(BuildBlankImage(scratch, kMainWindow, code));
    return std::vector<std::uint8_t>(scratch.doc.data.get(), scratch.doc.data.get() + scratch.doc.size);
}

std::string SessionFixture::WriteImage(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir.File(name);
    WriteWholeFile(path, bytes);
    return path;
}

std::vector<std::uint8_t> SessionFixture::WithComment(const std::vector<std::uint8_t>& volume, std::uint8_t kind) {
    std::vector<std::uint8_t> bytes(46, 0);
    bytes[0] = 0xAA;
    bytes[1] = kind;
    std::memcpy(&bytes[40], "Hello", 5);
    bytes.insert(bytes.end(), volume.begin(), volume.end());
    return bytes;
}

void SessionFixture::OpenQuietly(const std::string& path, bool readOnly) {
    ASSERT_TRUE(OpenImage(s, kMainWindow, path, readOnly)) << (ui.messages.empty() ? "" : ui.Last().text);
    ui.Clear();
}

}  // namespace kv::test
