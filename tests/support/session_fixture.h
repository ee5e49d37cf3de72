// A fresh session per test: scripted Ui, memory file list, English locale and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

class SessionFixture : public ::testing::Test {
protected:
    ScriptedUi ui;
    MemoryFileList list;
    EnglishLocale locale;
    // What listing the root directory does (the FAT12 tests install ListRootDirectory); listings are counted.
    DirectoryLister lister;
    int listings = 0;
    Session s{ui, list, locale, [this](Session& session) {
                  ++listings;
                  if (lister) lister(session);
              }};
    TempDir dir;

    // The bytes of a blank image of format `code`, as the program makes them.
    std::vector<std::uint8_t> BlankImage(std::uint32_t code = 0xF9);
    // Writes a blank image of format `code` to the scratch folder.
    std::string WriteBlankImage(const std::string& name, std::uint32_t code = 0xF9) {
        return WriteImage(name, BlankImage(code));
    }
    std::string WriteImage(const std::string& name, const std::vector<std::uint8_t>& bytes);
    // `volume` behind a 46-byte comment header that says "Hello"; `kind` 0x5A marks a compressed image.
    static std::vector<std::uint8_t> WithComment(const std::vector<std::uint8_t>& volume, std::uint8_t kind = 0x59);
    // Opens `path` (no dialog) and forgets the messages shown on the way.
    void OpenQuietly(const std::string& path, bool readOnly = false);
    std::vector<std::uint8_t> DocumentBytes() const { return {s.doc.data.get(), s.doc.data.get() + s.doc.size}; }
};

}  // namespace kv::test
