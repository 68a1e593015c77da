// The KOLT-family chip on the board, told by its version bytes at the top
// of the address space: device code, configuration, revision and mode pins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum KoltChipVariant : uint8_t {
    KOLT_VARIANT_KOLT_A = 0,
    KOLT_VARIANT_KOLT_B = 1,
    KOLT_VARIANT_NILA_A = 2,
    KOLT_VARIANT_PELD_A = 3,
    KOLT_VARIANT_PELD_B = 4,
    KOLT_VARIANT_ORSK_A = 5,
    KOLT_VARIANT_UNKNOWN = 255,
};

// First of the six version bytes VDEV (3), VCONF, VREV, VMODE.
constexpr uint32_t kKoltVersionBytes = 0xFFFFFA;
constexpr uint32_t kKoltVrevAddress = 0xFFFFFE;

struct KoltChipIdentity {
    char vdev[3];
    uint8_t vconf;
    uint8_t vrev;
    uint8_t vmode;
};

uint8_t KoltVariantFromVdev(const char vdev[3]);
bool IsPeldGroup(uint8_t variant);

// Whether the chip takes the segment count in its configuration register
// and info block.
enum class KoltConfigurability { Configurable, Fixed, Unknown };
KoltConfigurability KoltChipConfigurability(uint8_t variant, uint8_t vrev);

// The text lines the identification shows for a chip, in order.
std::vector<std::string> KoltIdentityLines(const KoltChipIdentity& identity, uint8_t variant);

// Reads the version bytes, stores the variant in the programmer state and
// shows the identity lines. 0, or the code of a failed read (reported). An
// unknown chip is no failure.
uint32_t IdentifyKoltChip();
