// The chips of the KOLT family as a KOLT board reports them, and which
// memory a board of each KOLT target type carries.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vtarget {

// VDEV codes are the three ASCII characters a chip reports at 0xFFFFFA..C.
// The codes are this board's own choice; the PC side maps them back to the
// chip variant, so both sides must use this table:
//   "K1A" KOLT-A, "K1B" KOLT-B, "N1A" NILA-A, "P1A" PELD-A, "P1B" PELD-B,
//   "O1A" ORSK-A.
// KOLT-A and KOLT-B carry four 256 KiB internal flash units, the others two.
struct KoltChip {
    std::string_view name; // as given to --chip
    std::array<char, 3> code;
    int internalUnits;
};

inline constexpr std::array<KoltChip, 6> kKoltChips = {{
    {"kolt-a", {'K', '1', 'A'}, 4},
    {"kolt-b", {'K', '1', 'B'}, 4},
    {"nila-a", {'N', '1', 'A'}, 2},
    {"peld-a", {'P', '1', 'A'}, 2},
    {"peld-b", {'P', '1', 'B'}, 2},
    {"orsk-a", {'O', '1', 'A'}, 2},
}};

// What the flash at 0x080000 of a KOLT board is.
enum class KoltFlashMode { Internal, External16, Pair8 };

bool IsKoltType(int targetType);
// Only for KOLT target types.
KoltFlashMode FlashModeOf(int targetType);
const KoltChip& DefaultChipOf(int targetType);

// A chip name of the table, or any three characters for a chip the table
// does not know. Nothing for other text.
std::optional<std::array<char, 3>> ChipCodeOf(std::string_view nameOrCode);
// Internal flash units of the chip with this code; a code the table does
// not know gets the units of the target type's default chip.
int InternalUnitsOf(const std::array<char, 3>& code, int targetType);

// The six identity bytes at 0xFFFFFA..0xFFFFFF.
struct ChipIdentity {
    std::array<char, 3> vdev{};
    uint8_t vconf = 'C';
    uint8_t vrev = 'C';
    uint8_t vmode = '5';
};

} // namespace vtarget
