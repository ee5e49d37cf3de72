// A session over a blank 720 KB image, listed, with helpers to lay out entries
// and chains by hand.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "document/boot_sector.h"
#include "document/bytes.h"
#include "fat12/directory.h"
#include "fat12/fat.h"
#include "tests/support/session_fixture.h"

namespace kv::test {

using Texts = std::vector<std::string>;

class FatFixture : public SessionFixture {
protected:
    FatFixture() { lister = ListRootDirectory; }
    void SetUp() override { Blank(); }

    void Blank() {
        ASSERT_TRUE(BuildBlankImage(s, kMainWindow, 0xF9));
        Relist();
    }
    void Relist() {
        list.RemoveAllRows();
        s.listRootDirectory(s);
    }
    Texts Rows() const {
        Texts texts;
        for (std::size_t i = 0; i < list.RowCount(); ++i) texts.push_back(list.RowAt(i).text);
        return texts;
    }

    std::uint8_t* Vol() { return s.doc.Volume(); }
    std::uint32_t Len() { return s.doc.VolumeLength(); }
    const VolumeGeometry& G() { return s.doc.geometry; }
    std::uint64_t SlotOffset(std::uint32_t i) { return RootDirectoryOffset(G()) + 32ull * i; }
    std::uint8_t* Slot(std::uint32_t i) { return Vol() + SlotOffset(i); }

    // Writes an entry stamped 2005-03-29 12:34:56 into `slot`; `name` is the 11-byte field.
    static std::uint8_t* PutAt(std::uint8_t* slot, const char* name, std::uint8_t attributes, std::uint16_t first = 0,
                               std::uint32_t size = 0) {
        std::memset(slot, 0, 32);
        std::memcpy(slot, name, 11);
        slot[dir::kAttributes] = attributes;
        WriteWord(slot + dir::kFirstCluster, first);
        WriteDword(slot + dir::kSize, size);
        WriteWord(slot + dir::kDate, (25 << 9) | (3 << 5) | 29);
        WriteWord(slot + dir::kTime, (12 << 11) | (34 << 5) | 28);
        return slot;
    }
    std::uint8_t* Put(std::uint32_t i, const char* name, std::uint8_t attributes, std::uint16_t first = 0,
                      std::uint32_t size = 0) {
        return PutAt(Slot(i), name, attributes, first, size);
    }
    // An entry whose chain holds `data`.
    std::uint8_t* StoreFile(std::uint32_t i, const char* name, const std::vector<std::uint8_t>& data,
                            const std::vector<std::uint16_t>& chain, std::uint8_t attributes = 0x20) {
        for (std::size_t k = 0; k < chain.size(); ++k) {
            std::size_t from = k * 1024, n = std::min<std::size_t>(1024, data.size() - std::min(from, data.size()));
            std::memcpy(Vol() + ClusterOffset(G(), chain[k]), data.data() + from, n);
        }
        Link(chain);
        return Put(i, name, attributes, chain.empty() ? 0 : chain[0], static_cast<std::uint32_t>(data.size()));
    }
    // Links the clusters into a chain that ends with `end`.
    void Link(const std::vector<std::uint16_t>& clusters, std::uint16_t end = kEndOfChain) {
        for (std::size_t k = 0; k < clusters.size(); ++k) {
            WriteFatEntry(Vol(), Len(), clusters[k], k + 1 < clusters.size() ? clusters[k + 1] : end);
        }
    }
    std::vector<std::uint16_t> Fats(std::initializer_list<std::uint32_t> clusters) {
        std::vector<std::uint16_t> values;
        for (std::uint32_t x : clusters) values.push_back(ReadFatEntry(Vol(), Len(), x));
        return values;
    }
    std::string Name(std::uint32_t i) { return std::string(reinterpret_cast<char*>(Slot(i)), 11); }
    // Every root slot holds a live entry of its own name (attributes `a`).
    void FillRoot(std::uint8_t a = 0x20) {
        for (std::uint32_t i = 0; i < G().rootEntries; ++i) Put(i, "FILL       ", a)[4] = static_cast<std::uint8_t>(i);
    }
    // A host file with `bytes` and the stamp that Put gives entries.
    std::string HostFileWith(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string path = dir.File(name);
        WriteWholeFile(path, bytes);
        SetLocalMTime(path, "2005-03-29 12:34:56");
        return path;
    }
};

}  // namespace kv::test
