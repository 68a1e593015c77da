#include "Programmers.h"

#include <iterator>

ProgrammerEntry ProgrammerFor(uint32_t targettype) {
    // Types 4, 8 and 9 have a programmer but FlashLoader refuses them.
    static constexpr ProgrammerEntry kByType[] = {
        ProgKoltSession, ProgKoltSession,  ProgKoltSession,      ProgMervSession,
        ProgMervSession, ProgKoltSession,  ProgKoltSession,      ProgKoltSession,
        ProgMervSession, ProgMervSession,  AtMega128Session,     ProgKoltSession,
        ProgKoltSession, ProgKoltSession,  Ml675001FlashSession, Ml675001RamSession,
        ProgMervSession, AtMega128Session, S3c44b0xSession,      ProgKoltSession,
        ProgKoltSession, ProgKoltSession,  S3c44b0xSession,      ProgKoltSession,
    };
    if (targettype >= std::size(kByType)) {
        return nullptr;
    }
    return kByType[targettype];
}
