#include "programmers/kolt/KoltChip.h"

#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"
#include "programmers/ProgrammerErrorReport.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kReportModule = "ProgKolt";
constexpr unsigned kReportCheckBase = 1000;

// The device codes the chips report in VDEV, three ASCII characters each.
// This is the one table of them in the library; the virtual board uses the
// same codes.
struct VdevCode {
    char code[4];
    uint8_t variant;
};
constexpr VdevCode kVdevCodes[] = {
    {"K1A", KOLT_VARIANT_KOLT_A}, {"K1B", KOLT_VARIANT_KOLT_B}, {"N1A", KOLT_VARIANT_NILA_A},
    {"P1A", KOLT_VARIANT_PELD_A}, {"P1B", KOLT_VARIANT_PELD_B}, {"O1A", KOLT_VARIANT_ORSK_A},
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

const char* PeldVconfFormat(uint8_t vconf) {
    switch (vconf) {
    case 'A':
        return "VCONF : 0x%02X = %c = No ROM    ";
    case 'B':
        return "VCONF : 0x%02X = %c = 384K ROM  ";
    default:
        return "VCONF : 0x%02X = %c = ????????? ";
    }
}

const char* VconfFormat(uint8_t vconf) {
    static constexpr const char* kByLetter[] = {
        "VCONF : 0x%02X = %c = -         ", // A
        "VCONF : 0x%02X = %c = -         ", // B
        "VCONF : 0x%02X = %c = No ROM    ", // C
        "VCONF : 0x%02X = %c = 1Mbit ROM ", // D
        "VCONF : 0x%02X = %c = 2Mbit ROM ", // E
        "VCONF : 0x%02X = %c = 3Mbit ROM ", // F
        "VCONF : 0x%02X = %c = 4Mbit ROM ", // G
        "VCONF : 0x%02X = %c = 5Mbit ROM ", // H
        "VCONF : 0x%02X = %c = 6Mbit ROM ", // I
        "VCONF : 0x%02X = %c = 7Mbit ROM ", // J
        "VCONF : 0x%02X = %c = 8Mbit ROM ", // K
    };
    if (vconf < 'A' || vconf > 'K') {
        return "VCONF : 0x%02X = %c = ????????? ";
    }
    return kByLetter[vconf - 'A'];
}

const char* VrevFormat(uint8_t vrev) {
    static constexpr const char* kRevisions[] = {
        "VREV  : %c = first revision ", "VREV  : %c = second revision ",
        "VREV  : %c = third revision ", "VREV  : %c = fourth revision ",
        "VREV  : %c = fifh revision ",  "VREV  : %c = sixth revision ",
    };
    static constexpr const char* kMetalChanges[] = {
        "VREV  : %c = first revision with metal change ",
        "VREV  : %c = second revision with metal change ",
        "VREV  : %c = third revision with metal change ",
        "VREV  : %c = fourth revision with metal change ",
        "VREV  : %c = fifh revision with metal change ",
        "VREV  : %c = sixth revision with metal change ",
    };
    if (vrev >= 'A' && vrev <= 'F') {
        return kRevisions[vrev - 'A'];
    }
    if (vrev >= 'a' && vrev <= 'f') {
        return kMetalChanges[vrev - 'a'];
    }
    return "VREV  : %c = ????????? ";
}

std::string VmodeLine(uint8_t vmode) {
    if (vmode < '0' || vmode > '7') {
        return Format("VMODE : %c = ?????????       ", vmode);
    }
    const unsigned pins = vmode - '0';
    return Format("VMODE : %c = MODE2,1,0 = %u%u%u ", vmode, pins >> 2 & 1, pins >> 1 & 1,
                  pins & 1);
}

} // namespace

uint8_t KoltVariantFromVdev(const char vdev[3]) {
    for (const VdevCode& entry : kVdevCodes) {
        if (std::memcmp(entry.code, vdev, 3) == 0) {
            return entry.variant;
        }
    }
    return KOLT_VARIANT_UNKNOWN;
}

bool IsPeldGroup(uint8_t variant) {
    return variant == KOLT_VARIANT_PELD_A || variant == KOLT_VARIANT_PELD_B;
}

KoltConfigurability KoltChipConfigurability(uint8_t variant, uint8_t vrev) {
    if (variant == KOLT_VARIANT_UNKNOWN) {
        return KoltConfigurability::Unknown;
    }
    if (variant != KOLT_VARIANT_KOLT_A) {
        return KoltConfigurability::Configurable;
    }
    const bool laterRevision = (vrev >= 'C' && vrev <= 'F') || (vrev >= 'c' && vrev <= 'f');
    return laterRevision ? KoltConfigurability::Configurable : KoltConfigurability::Fixed;
}

std::vector<std::string> KoltIdentityLines(const KoltChipIdentity& identity, uint8_t variant) {
    std::vector<std::string> lines;
    lines.push_back(
        Format("VDEV  : %c%c%c ", identity.vdev[0], identity.vdev[1], identity.vdev[2]));
    const bool peld = IsPeldGroup(variant);
    const char* vconf = peld ? PeldVconfFormat(identity.vconf) : VconfFormat(identity.vconf);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    lines.push_back(Format(vconf, identity.vconf, identity.vconf));
    if (peld) {
        lines.push_back(
            Format("VREV=0x%02X  VMETAL=0x%02X", identity.vrev >> 4, identity.vrev & 0x0F));
        return lines;
    }
    lines.push_back(Format(VrevFormat(identity.vrev), identity.vrev));
#pragma GCC diagnostic pop
    lines.push_back(VmodeLine(identity.vmode));
    return lines;
}

uint32_t IdentifyKoltChip() {
    uint8_t bytes[6] = {};
    for (uint32_t i = 0; i < 6; ++i) {
        RETURN_REPORTED_ON_FAILURE(MonReadByte(kKoltVersionBytes + i, &bytes[i]));
    }
    const KoltChipIdentity identity = {
        {static_cast<char>(bytes[0]), static_cast<char>(bytes[1]), static_cast<char>(bytes[2])},
        bytes[3],
        bytes[4],
        bytes[5]};
    const uint8_t variant = KoltVariantFromVdev(identity.vdev);
    Ctx().programmer.chipVariant = variant;
    for (const std::string& line : KoltIdentityLines(identity, variant)) {
        SendTextInfo("%s", line.c_str());
    }
    return 0;
}
