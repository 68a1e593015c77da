#include "SessionEnd.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <regex.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace reliability {

namespace {

std::string Tag(uint16_t sessionid) {
    char tag[8];
    std::snprintf(tag, sizeof tag, "[%02X]", sessionid);
    return tag;
}

} // namespace

// A device node that has gone since, as a vanished board's pseudo-terminal
// has, reads "PATH (deleted)".
size_t DescriptorsOn(const std::string& path) {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return 0;
    }
    size_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[512];
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        const std::string name(target, static_cast<size_t>(std::max<ssize_t>(length, 0)));
        if (name == path || name == path + " (deleted)") {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

std::string LastLine(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \r") != std::string::npos) {
            last = line;
        }
    }
    return last;
}

// Whether the whole line has the form of the extended regular expression.
// POSIX's own, not <regex>: it does the same here at a fraction of the build.
bool FullMatch(const std::string& line, const char* pattern) {
    regex_t expression;
    if (regcomp(&expression, pattern, REG_EXTENDED | REG_NOSUB) != 0) {
        return false;
    }
    const bool matched = regexec(&expression, line.c_str(), 0, nullptr, 0) == 0;
    regfree(&expression);
    return matched;
}

bool IsStopLine(const std::string& line, uint16_t sessionid) {
    return FullMatch(
               line,
               R"(^\[[0-9A-F]{2,}\]\[[0-9]{6,}\]MAIL->STOP_PROGRAM_IND +\[Time -?[0-9]+ msec\] $)") &&
           line.rfind(Tag(sessionid), 0) == 0;
}

bool IndicationLinesAreOwn(const std::string& log, uint16_t sessionid) {
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("MAIL->") == std::string::npos) {
            continue;
        }
        if (!FullMatch(line, R"(^\[[0-9A-F]{2,}\]\[[0-9]{6,}\]MAIL->.+$)") ||
            line.rfind(Tag(sessionid), 0) != 0) {
            return false;
        }
    }
    return true;
}

bool WaitUntilClosed(const std::string& path, std::chrono::milliseconds timeout,
                     size_t keptByOthers) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path, error);
    const std::string target = error ? path : canonical.string();
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (DescriptorsOn(target) > keptByOthers) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace reliability
