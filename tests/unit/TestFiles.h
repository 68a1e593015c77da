// Small helpers that tests use for files and child programs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace testfiles {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const;

  private:
    std::string path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedChdir {
  public:
    explicit ScopedChdir(const std::string& dir);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

  private:
    std::string previous_;
};

void WriteFile(const std::string& path, std::string_view content);
// A stream that reads the text, opened for reading; the caller closes it.
FILE* OpenTextStream(std::string_view text);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFile(const std::string& path);
// A file written in text mode, with its line ends as "\n" (on Windows such
// files hold "\r\n").
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);

struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs a shell command and collects what it prints.
CommandResult RunCommand(const std::string& command);

// Deterministic pseudo-random bytes for a given seed.
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

} // namespace testfiles
