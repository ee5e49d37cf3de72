#include "app/command_line.h"

#include <sys/stat.h>

namespace kv::app {

bool IsExistingFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::function<bool(const std::string&)>& exists) {
    CommandLine line;
    for (const std::string& arg : arguments) {
        bool slashPath = !arg.empty() && arg[0] == '/' && (arg.find('/', 1) != std::string::npos || exists(arg));
        if (!arg.empty() && (arg[0] == '-' || arg[0] == '/') && !slashPath) {
            char c = arg.size() > 1 ? arg[1] : '\0';
            if (c == 'R' || c == 'r') line.registerSwitch = true;
            if (c == 'W' || c == 'w') line.writeSwitch = true;
        } else if (!line.path) {
            line.path = arg;
        }
    }
    return line;
}

}  // namespace kv::app
