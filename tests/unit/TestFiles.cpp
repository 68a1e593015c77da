#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testfiles {

// A name nobody else holds: create_directory fails on one that exists.
TempDir::TempDir() {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937_64 names(seed());
    const fs::path base = fs::temp_directory_path();
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const fs::path candidate = base / ("ulvex-test-" + std::to_string(names() % 1000000000));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

ScopedChdir::ScopedChdir(const std::string& dir)
    : previous_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedChdir::~ScopedChdir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void WriteFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Windows has no memory streams; an anonymous temporary file does the same.
FILE* OpenTextStream(std::string_view text) {
#ifdef _WIN32
    FILE* stream = std::tmpfile();
    if (stream != nullptr) {
        std::fwrite(text.data(), 1, text.size(), stream);
        std::rewind(stream);
    }
    return stream;
#else
    return fmemopen(const_cast<char*>(text.data()), text.size(), "r");
#endif
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

namespace {

std::string ReadAll(const std::string& path, std::ios::openmode mode) {
    std::ifstream in(path, mode);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

std::string ReadFile(const std::string& path) {
    return ReadAll(path, std::ios::in | std::ios::binary);
}

std::string ReadTextFile(const std::string& path) {
    return ReadAll(path, std::ios::in);
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
#ifdef _WIN32
    FILE* pipe = _popen((command + " 2>&1").c_str(), "rb");
#else
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) {
        return result;
    }
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        result.output.append(chunk, n);
    }
#ifdef _WIN32
    result.exitCode = _pclose(pipe);
#else
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(engine());
    }
    return bytes;
}

} // namespace testfiles
