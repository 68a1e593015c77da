#include "memory/kolt/KoltChips.h"

#include <algorithm>

namespace vtarget {

namespace {

constexpr std::array<int, 13> kKoltTypes = {0, 1, 2, 5, 6, 7, 11, 12, 13, 19, 20, 21, 23};

const KoltChip* FindByName(std::string_view name) {
    for (const KoltChip& chip : kKoltChips) {
        if (chip.name == name) {
            return &chip;
        }
    }
    return nullptr;
}

const KoltChip* FindByCode(const std::array<char, 3>& code) {
    for (const KoltChip& chip : kKoltChips) {
        if (chip.code == code) {
            return &chip;
        }
    }
    return nullptr;
}

} // namespace

bool IsKoltType(int targetType) {
    return std::ranges::find(kKoltTypes, targetType) != kKoltTypes.end();
}

KoltFlashMode FlashModeOf(int targetType) {
    switch (targetType) {
    case 1:
    case 6:
    case 13:
    case 21:
    case 23:
        return KoltFlashMode::External16;
    case 2:
    case 7:
        return KoltFlashMode::Pair8;
    default:
        return KoltFlashMode::Internal;
    }
}

const KoltChip& DefaultChipOf(int targetType) {
    switch (targetType) {
    case 11:
        return *FindByName("nila-a");
    case 12:
        return *FindByName("orsk-a");
    case 19:
        return *FindByName("peld-a");
    default:
        return *FindByName("kolt-a");
    }
}

std::optional<std::array<char, 3>> ChipCodeOf(std::string_view nameOrCode) {
    if (const KoltChip* chip = FindByName(nameOrCode)) {
        return chip->code;
    }
    if (nameOrCode.size() != 3) {
        return std::nullopt;
    }
    return std::array<char, 3>{nameOrCode[0], nameOrCode[1], nameOrCode[2]};
}

int InternalUnitsOf(const std::array<char, 3>& code, int targetType) {
    const KoltChip* chip = FindByCode(code);
    return chip ? chip->internalUnits : DefaultChipOf(targetType).internalUnits;
}

} // namespace vtarget
