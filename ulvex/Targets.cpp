#include "Targets.h"

#include <array>
#include <charconv>

namespace ulvex {

namespace {

constexpr const char* k10M = "10.368 MHz";
constexpr const char* k9M = "9.216 MHz";
constexpr const char* k12M = "12.288 MHz";
constexpr const char* kInt = "internal flash";
constexpr const char* kExt = "external 16-bit flash";
constexpr const char* kTwo = "two external 8-bit flashes";
constexpr const char* kTouched = "external 16-bit flash, the sectors the image uses";

constexpr std::array<TargetType, 24> kTypes{{
    {0, "kolt-a-int", "kolt", kInt, k10M, 9600, false},
    {1, "kolt-a-ext", "kolt", kExt, k10M, 9600, false},
    {2, "kolt-a-2x8", "kolt", kTwo, k10M, 9600, false},
    {3, "merv-a-int", "merv", kInt, k10M, 9600, false},
    {4, "merv-a-ext", "merv", "external flash", k10M, 0, true},
    {5, "kolt-a-int-9m216", "kolt", kInt, k9M, 8600, false},
    {6, "kolt-a-ext-9m216", "kolt", kExt, k9M, 8600, false},
    {7, "kolt-a-2x8-9m216", "kolt", kTwo, k9M, 8600, false},
    {8, "merv-a-int-9m216", "merv", kInt, k9M, 0, true},
    {9, "merv-a-ext-9m216", "merv", "external flash", k9M, 0, true},
    {10, "atmega128", "atmega", "internal flash through its boot loader", "", 115200, false},
    {11, "nila-a-int", "kolt", kInt, k10M, 9600, false},
    {12, "orsk-a-int", "kolt", kInt, k10M, 9600, false},
    {13, "kolt-a-ext-touched", "kolt", kTouched, k10M, 9600, false},
    {14, "ml675001", "arm", "external flash", "", 115200, false},
    {15, "ml675001-ram", "arm", "internal RAM, the file sent to the boot ROM", "", 0, false},
    {16, "merv-a-int-protected", "merv", "internal flash, read protection set afterwards", "", 9600,
     false},
    {17, "atmega128-01", "atmega", "internal flash through its boot loader", "", 115200, false},
    {18, "s3c44b0x", "arm", "external flash", "", 115200, false},
    {19, "peld-a-int", "kolt", kInt, "", 9600, false},
    {20, "kolt-a-int-12m288", "kolt", kInt, k12M, 11520, false},
    {21, "kolt-a-ext-12m288", "kolt", kExt, k12M, 11520, false},
    {22, "s3c44b0x-ext-uart", "arm", "external flash, serial link through an external UART", "",
     115200, false},
    {23, "kolt-a-ext-touched-12m288", "kolt", kTouched, k12M, 11520, false},
}};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != b[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::span<const TargetType> TargetTypes() {
    return kTypes;
}

TargetLookup FindTarget(std::string_view text) {
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size()) {
        if (number >= kTypes.size()) {
            return {nullptr, "there is no target type " + std::string(text) +
                                 " (0 to 23; `ulvex targets` lists them)"};
        }
        return {&kTypes[number], {}};
    }
    for (const TargetType& t : kTypes) {
        if (SameName(text, t.name)) {
            return {&t, {}};
        }
    }
    return {nullptr, "unknown target \"" + std::string(text) +
                         "\" (a number or a name that `ulvex targets` lists)"};
}

} // namespace ulvex
