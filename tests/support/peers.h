// Running the peer tools (mtools, mkfs.fat, fsck.fat) from tests, and reading what they say.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kv::test {

// Runs an mtools command with 8.3 names only and without geometry checks.
int RunMtools(const std::string& command, std::string* output = nullptr);

// One entry as `mdir -a` shows it.
struct PeerEntry {
    std::string name;  // NAME.EXT
    bool directory = false;
    std::uint64_t size = 0;
    std::string minute;  // "YYYY-MM-DD HH:MM"
};
// The root directory of an image as mtools sees it, by name.
std::map<std::string, PeerEntry> PeerListing(const std::string& image);
// The attribute letters mattrib shows for each root entry ("RHSA" subset, sorted).
std::map<std::string, std::string> PeerAttributes(const std::string& image);
// The label mtools reads, blanks cut; empty without one.
std::string PeerLabel(const std::string& image);

// What `fsck.fat -n` reports beyond what this program's images have on purpose (folders without clusters;
// without an extended parameter block, the boot sector's label and dirty flag); empty when nothing else is
// wrong. `clusters` receives fsck.fat's count of clusters in use, "USED/TOTAL".
std::string UnexpectedFsckFindings(const std::string& image, std::string* clusters = nullptr);

bool HavePeers();

}  // namespace kv::test
