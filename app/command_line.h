// The program's command line: the switches R (register the file types) and W
// (write the image to a floppy), and the image to open.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::app {

struct CommandLine {
    bool registerSwitch = false;
    bool writeSwitch = false;
    std::optional<std::string> path;  // the first argument that is not a switch
};

// True when `path` names an existing file (not a folder).
bool IsExistingFile(const std::string& path);

// Reads the arguments after the program's name. A word that begins with "-" or
// "/" is a switch, told by its second character alone: "R"/"r" registers,
// "W"/"w" writes, anything else is ignored. The first other argument is the
// path; later ones are ignored. Paths here begin with "/" too, so a "/" word is
// taken as a path when it holds a second "/" or names an existing file
// (`exists`), as a file manager hands one over: "/home/me/game.dsk" is a path,
// "/R", "/w" and "/Register" stay switches.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::function<bool(const std::string&)>& exists = IsExistingFile);

}  // namespace kv::app
