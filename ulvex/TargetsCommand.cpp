#include "TargetsCommand.h"

#include "Targets.h"

#include <array>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace ulvex {

namespace {

// The working rates -b offers; the monitors switch to any of them.
constexpr std::array<uint32_t, 8> kWorkingRates{9600,   19200,  38400,  57600,
                                                115200, 230400, 460800, 921600};

std::string BootRate(const TargetType& t) {
    return t.bootRate == 0 ? "-" : std::to_string(t.bootRate);
}

} // namespace

std::string TargetsTable() {
    std::string out = fmt::format("{:>4}  {:<26} {:<7} {:<11} {:>6}  {}\n", "type", "name",
                                  "family", "crystal", "boot", "memory");
    for (const TargetType& t : TargetTypes()) {
        out += fmt::format("{:>4}  {:<26} {:<7} {:<11} {:>6}  {}{}\n", t.number, t.name, t.family,
                           *t.crystal == '\0' ? "-" : t.crystal, BootRate(t), t.memory,
                           t.refused ? " (refused by the library)" : "");
    }
    return out;
}

std::string TargetsJson() {
    nlohmann::json types = nlohmann::json::array();
    for (const TargetType& t : TargetTypes()) {
        nlohmann::json rates = nlohmann::json::array();
        if (!t.refused) {
            rates = kWorkingRates;
        }
        types.push_back(
            {{"number", t.number},
             {"name", t.name},
             {"family", t.family},
             {"memory", t.memory},
             {"crystal", *t.crystal == '\0' ? nlohmann::json() : nlohmann::json(t.crystal)},
             {"boot_rate", t.bootRate == 0 ? nlohmann::json() : nlohmann::json(t.bootRate)},
             {"working_rates", rates},
             {"refused", t.refused}});
    }
    return types.dump(2) + "\n";
}

} // namespace ulvex
