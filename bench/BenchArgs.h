// Command-line lists of the benchmarks: "--name=1,2,3" replaces a default.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline std::vector<uint32_t> ListArg(int argc, char** argv, const std::string& name,
                                     std::vector<uint32_t> fallback) {
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(prefix, 0) != 0) {
            continue;
        }
        std::vector<uint32_t> values;
        const char* at = arg.c_str() + prefix.size();
        while (*at != '\0') {
            char* end = nullptr;
            values.push_back(static_cast<uint32_t>(std::strtoul(at, &end, 10)));
            at = *end == ',' ? end + 1 : end;
            if (end == at && *end != '\0') {
                break; // not a number: stop rather than loop
            }
        }
        return values;
    }
    return fallback;
}

} // namespace bench
