// Scratch folders and whole-file helpers for tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::test {

// A fresh folder under the system's temporary folder, removed with all it holds (read-only files too).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets an environment variable for its lifetime; the old value comes back.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool FileExists(const std::string& path);
// Runs a shell command, returning its exit status and (optionally) its output.
int RunCommand(const std::string& command, std::string* output = nullptr);
// True when `program` is on the PATH.
bool HaveProgram(const std::string& program);

// `n` bytes that differ from their neighbours, from block to block, and from other seeds' bytes.
std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 1);

// Sets a file's modification time to a local time "YYYY-MM-DD HH:MM:SS".
void SetLocalMTime(const std::string& path, const std::string& when);
// A file's modification time as local "YYYY-MM-DD HH:MM:SS".
std::string LocalMTime(const std::string& path);

}  // namespace kv::test
