#include "ResultEvents.h"

#include <cstdio>
#include <fmt/format.h>

namespace ulvex {

nlohmann::json ResultEvent(const std::string& port, const Outcome& o, bool crcTargetKnown) {
    nlohmann::json event = {{"event", "result"},  {"port", port},        {"ok", o.ok},
                            {"result", o.result}, {"crc_file", nullptr}, {"crc_target", nullptr},
                            {"ms", o.ms},         {"detail", o.detail}};
    if (o.haveCrc) {
        event["crc_file"] = fmt::format("{:08X}", o.crcFile);
        if (crcTargetKnown) {
            event["crc_target"] = fmt::format("{:08X}", o.crcTarget);
        }
    }
    return event;
}

nlohmann::json SummaryEvent(int boards, int ok) {
    return {{"event", "summary"},
            {"port", nullptr},
            {"boards", boards},
            {"ok", ok},
            {"failed", boards - ok}};
}

void PrintJson(const nlohmann::json& event) {
    // Texts of the target need not be UTF-8: replace what is not.
    const std::string line = event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace ulvex
