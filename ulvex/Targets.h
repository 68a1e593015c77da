// Every target type the library knows, as `ulvex targets` lists them and as
// TARGET names them: a number or a short stable name. The names are a
// contract with scripts; never rename one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ulvex {

struct TargetType {
    uint32_t number;
    const char* name;    // short and stable, e.g. "kolt-a-ext"
    const char* family;  // kolt, merv, atmega, arm
    const char* memory;  // what is programmed
    const char* crystal; // "" where the type does not depend on one
    uint32_t bootRate;   // the boot loader's rate; 0: no monitor start
    bool refused;        // the library refuses to program it
};

std::span<const TargetType> TargetTypes();

// A type whose image goes to RAM through the boot ROM, with no monitor to
// compute a CRC: a session that sent all of it is as good as it gets.
inline bool LoadsWithoutVerifying(const TargetType& type) {
    return type.bootRate == 0 && !type.refused;
}

// The type that TARGET names, or why it names none.
struct TargetLookup {
    const TargetType* type = nullptr;
    std::string error{};
};
TargetLookup FindTarget(std::string_view text);

} // namespace ulvex
