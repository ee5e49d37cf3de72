// The file-type association on freedesktop systems: shared MIME info, a desktop
// entry and an icon under the user's data folder.
#include "floppy/file_types.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/errors.h"
#include "platform/string_table.h"

extern char** environ;

namespace kv {
namespace {

constexpr const char* kMimeType = "application/x-diskimage";
constexpr const char* kIconName = "korvane";
// The desktop entry an installed package puts into a system data folder.
constexpr const char* kSystemEntry = "org.korvane.Korvane.desktop";

// The executable `name` in the folders of $PATH; empty when there is none.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// A menu text without its "&" accelerator marks ("&&" stays one "&").
std::string WithoutAccelerators(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        else if (text[i] == '&')
            continue;
        out += text[i];
    }
    return out;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// One argument of a desktop entry's Exec key: quoted when it holds anything
// but plain path characters, then escaped as a desktop-entry string.
std::string ExecArgument(const std::string& arg) {
    bool plain = !arg.empty();
    for (char c : arg) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  std::string("/._+-,:@").find(c) != std::string::npos;
        plain = plain && ok;
    }
    std::string quoted;
    if (plain) {
        quoted = arg;
    } else {
        quoted = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += "\"";
    }
    std::string out;
    for (char c : quoted) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else
            out += c;
    }
    return out;
}

// The Exec line of a command value "program arguments": the program quoted as
// the desktop wants it, and the placeholder "%1" in quotes as the file (%f).
std::string ExecLine(const std::string& programPath, const std::string& command) {
    std::string arguments = command.size() > programPath.size() ? command.substr(programPath.size() + 1) : "";
    std::string out = ExecArgument(programPath);
    std::size_t start = 0;
    while (start <= arguments.size()) {
        std::size_t end = arguments.find(' ', start);
        if (end == std::string::npos) end = arguments.size();
        std::string word = arguments.substr(start, end - start);
        if (word == "\"%1\"")
            out += " %f";
        else if (!word.empty())
            out.append(" ").append(ExecArgument(word));
        start = end + 1;
    }
    return out;
}

const char* kIconSvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 64 64\">\n"
    "  <path d=\"M6 4h46l8 8v46a2 2 0 0 1-2 2H6a2 2 0 0 1-2-2V6a2 2 0 0 1 2-2z\" fill=\"#2b4c7e\"/>\n"
    "  <rect x=\"16\" y=\"4\" width=\"30\" height=\"20\" fill=\"#c9ced6\"/>\n"
    "  <rect x=\"36\" y=\"8\" width=\"6\" height=\"12\" fill=\"#2b4c7e\"/>\n"
    "  <rect x=\"12\" y=\"34\" width=\"40\" height=\"24\" rx=\"2\" fill=\"#f4f1e8\"/>\n"
    "  <path d=\"M17 42h30M17 48h30M17 54h20\" stroke=\"#8a8f99\" stroke-width=\"2\"/>\n"
    "</svg>\n";

// Writes a file through a temporary one beside it, so that an existing file is
// replaced whole or not at all.
std::uint32_t WriteFileWhole(const std::string& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) return ErrorFromErrno(ec.value());
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return ErrorFromErrno(errno != 0 ? errno : EACCES);
        out << text;
        out.flush();
        if (!out) {
            int error = errno != 0 ? errno : EIO;
            ::unlink(temporary.c_str());
            return ErrorFromErrno(error);
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        return ErrorFromErrno(error);
    }
    return 0;
}

// Runs a tool found on the PATH with its output discarded; nothing when it is
// not installed.
void RunQuietly(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    }
    posix_spawn_file_actions_destroy(&actions);
}

}  // namespace

XdgFileTypeStore::XdgFileTypeStore(std::string dataHome, std::string programPath, std::string systemDataDirs)
    : dataHome_(std::move(dataHome)),
      programPath_(std::move(programPath)),
      systemDataDirs_(std::move(systemDataDirs)) {}

std::string XdgFileTypeStore::SystemDataDirs() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    return dirs != nullptr && dirs[0] != '\0' ? dirs : "/usr/local/share:/usr/share";
}

std::string XdgFileTypeStore::SystemRegistration() const {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::canonical(programPath_, ec);
    if (ec) return {};
    std::size_t start = 0;
    while (start <= systemDataDirs_.size()) {
        std::size_t end = systemDataDirs_.find(':', start);
        if (end == std::string::npos) end = systemDataDirs_.size();
        const std::string entry = systemDataDirs_.substr(start, end - start) + "/applications/" + kSystemEntry;
        start = end + 1;
        std::ifstream in(entry);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Exec=", 0) != 0) continue;
            std::string program =
                line.substr(5, line.find(' ') == std::string::npos ? std::string::npos : line.find(' ') - 5);
            if (program.find('/') == std::string::npos) program = FindOnPath(program);
            std::error_code missing;
            if (!program.empty() && std::filesystem::canonical(program, missing) == self && !missing) return entry;
            break;
        }
    }
    return {};
}

std::uint32_t XdgFileTypeStore::SetDefaultValue(const std::string& key, const std::string& value) {
    values_[key] = value;
    return 0;
}

std::map<std::string, std::string> XdgFileTypeStore::Files() const {
    auto value = [&](const std::string& key) {
        auto it = values_.find(key);
        return it == values_.end() ? std::string() : it->second;
    };
    // The type is what the extension keys name; its globs are those extensions.
    std::string typeName;
    std::string globs;
    for (const auto& [key, v] : values_) {
        if (key.empty() || key[0] != '.') continue;
        typeName = v;
        globs += "    <glob pattern=\"*" + XmlEscape(key) + "\"/>\n";
    }
    std::string description = value(typeName);
    std::string mime = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n" +
                       "  <mime-type type=\"" + kMimeType + "\">\n" + "    <comment>" + XmlEscape(description) +
                       "</comment>\n" + "    <icon name=\"" + kIconName + "\"/>\n" + globs + "  </mime-type>\n" +
                       "</mime-info>\n";

    const std::string shell = typeName + "\\shell\\";
    const std::string actions[] = {"OpenWithKorvane", "WriteToDisk"};
    std::string desktop = "[Desktop Entry]\nType=Application\nName=" + ApplicationTitle() + "\nComment=" + description +
                          "\nIcon=" + kIconName +
                          "\nExec=" + ExecLine(programPath_, value(shell + actions[0] + "\\command")) +
                          "\nTerminal=false\nCategories=Utility;\nMimeType=" + kMimeType + ";\nActions=" + actions[0] +
                          ";" + actions[1] + ";\n";
    for (const std::string& action : actions) {
        desktop += "\n[Desktop Action " + action + "]\nName=" + WithoutAccelerators(value(shell + action)) +
                   "\nExec=" + ExecLine(programPath_, value(shell + action + "\\command")) + "\n";
    }
    return {
        {dataHome_ + "/mime/packages/korvane-diskimage.xml", mime},
        {dataHome_ + "/applications/korvane.desktop", desktop},
        {dataHome_ + "/icons/hicolor/scalable/apps/korvane.svg", kIconSvg},
    };
}

std::uint32_t XdgFileTypeStore::Commit() {
    if (dataHome_.empty() || dataHome_[0] != '/') return ERROR_PATH_NOT_FOUND;  // no home to write into
    for (const auto& [path, text] : Files()) {
        if (std::uint32_t error = WriteFileWhole(path, text)) return error;
    }
    return 0;
}

void XdgFileTypeStore::NotifyAssociationsChanged() {
    RunQuietly({"update-mime-database", dataHome_ + "/mime"});
    RunQuietly({"update-desktop-database", dataHome_ + "/applications"});
}

std::string UserDataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    return std::string(home) + "/.local/share";
}

}  // namespace kv
