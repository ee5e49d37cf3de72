#include "tests/support/peers.h"

#include <regex>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace kv::test {

int RunMtools(const std::string& command, std::string* output) {
    return RunCommand("MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1 " + command, output);
}

std::map<std::string, PeerEntry> PeerListing(const std::string& image) {
    std::string out;
    RunMtools("mdir -a -i '" + image + "' ::", &out);
    std::map<std::string, PeerEntry> entries;
    // NAME     EXT      SIZE 2004-06-15  10:20   or   NAME <DIR> date time
    static const std::regex line(R"(^(\S+)\s+(?:(\S{1,3})\s+)?(<DIR>|\d+)\s+(\d{4}-\d\d-\d\d)\s+(\d\d?:\d\d)\s*$)");
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (!std::regex_match(l, m, line)) continue;
        PeerEntry e;
        e.name = m[1];
        if (m[2].matched) e.name.append(".").append(m[2]);
        const std::string sizeText = m[3];
        std::string time = m[5];
        e.directory = sizeText == "<DIR>";
        e.size = e.directory ? 0 : std::stoull(sizeText);
        if (time.size() == 4) time.insert(0, 1, '0');
        e.minute = m[4].str() + " " + time;
        entries[e.name] = e;
    }
    return entries;
}

std::map<std::string, std::string> PeerAttributes(const std::string& image) {
    std::string out;
    RunMtools("mattrib -i '" + image + "' '::*'", &out);
    std::map<std::string, std::string> attributes;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        std::string::size_type at = l.find("::/");
        if (at == std::string::npos) continue;
        std::string letters;
        for (char c : std::string("RHSA")) {
            if (l.substr(0, at).find(c) != std::string::npos) letters += c;
        }
        attributes[l.substr(at + 3)] = letters;
    }
    return attributes;
}

std::string PeerLabel(const std::string& image) {
    std::string out;
    RunMtools("mlabel -s -i '" + image + "' ::", &out);
    const std::string prefix = "Volume label is ";
    std::string::size_type at = out.find(prefix);
    if (at == std::string::npos) return {};
    std::string label = out.substr(at + prefix.size());
    while (!label.empty() && (label.back() == '\n' || label.back() == ' ')) label.pop_back();
    return label;
}

std::string UnexpectedFsckFindings(const std::string& image, std::string* clusters) {
    std::string out;
    int status = RunCommand("fsck.fat -n '" + image + "'", &out);
    if (status != 0 && status != 1) return "fsck.fat exited with " + std::to_string(status) + ":\n" + out;
    std::smatch count;
    if (clusters != nullptr && std::regex_search(out, count, std::regex(R"(files, (\d+/\d+) clusters)")))
        *clusters = count[1];
    // Pairs of a finding and fsck.fat's remedy that follow from how Korvane lays out images.
    static const std::regex allowed[] = {
        // A directory added from a host folder has no clusters.
        std::regex(R"(/[^\n]*\n Start does point to root directory\. Deleting dir\. \n)"),
        std::regex(R"(fsck\.fat [^\n]*\n)"),
        std::regex(R"(Leaving filesystem unchanged\.\n)"),
        std::regex(R"([^\n]*: \d+ files, \d+/\d+ clusters\n)"),
    };
    // The MSX-DOS boot sector has no extended parameter block: no label there,
    // and its boot program's bytes where the dirty flag would be. An image with
    // the block (signature 0x29 at offset 38) must have neither finding.
    static const std::regex msxDos[] = {
        std::regex(
            R"(Label '[^\n]*' stored in boot sector is not valid\.\n  Auto-removing label from boot sector\.\n)"),
        std::regex(
            R"(Label in boot sector is '[^\n]*', but there is no volume label in root directory\.\n(  Auto-[^\n]*\n)?)"),
        std::regex(
            R"(Volume label '[^\n]*' stored in root directory and label '[^\n]*' stored in boot sector and different\.\n  Auto-copying volume label from root directory to boot sector\.\n)"),
        std::regex(
            R"(Dirty bit is set\. Fs was not properly unmounted and some data may be corrupt\.\n Automatically removing dirty bit\.\n)"),
    };
    for (const std::regex& r : allowed) out = std::regex_replace(out, r, "");
    const std::vector<std::uint8_t> bytes = ReadWholeFile(image);
    if (bytes.size() <= 38 || bytes[38] != 0x29) {
        for (const std::regex& r : msxDos) out = std::regex_replace(out, r, "");
    }
    out = std::regex_replace(out, std::regex(R"(^\s*\n)"), "");
    return out;
}

bool HavePeers() { return HaveProgram("mcopy") && HaveProgram("mkfs.fat") && HaveProgram("fsck.fat"); }

}  // namespace kv::test
