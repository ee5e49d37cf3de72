// Running korvane-cli (KORVANE_CLI is its path) as a user runs it.
#pragma once

#include <string>

#include "tests/support/session_fixture.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

// Runs korvane-cli with `args`: stdout (and stderr unless `stdoutOnly`) into `output`.
inline int RunCli(const std::string& args, std::string* output = nullptr, bool stdoutOnly = false) {
    return RunCommand("'" KORVANE_CLI "' " + args + (stdoutOnly ? " 2>/dev/null" : "") + " </dev/null", output);
}

// A scratch folder to run korvane-cli in, and what it said last.
class CliFixture : public SessionFixture {
protected:
    std::string output;

    int Run(const std::string& args, const std::string& environment = "") {
        return RunCommand(environment + " '" KORVANE_CLI "' " + args + " </dev/null", &output);
    }
    // The quoted path of `name` in the scratch folder.
    std::string Q(const std::string& name) const { return "'" + dir.File(name) + "'"; }
    bool Said(const std::string& text) const { return output.find(text) != std::string::npos; }
};

}  // namespace kv::test
