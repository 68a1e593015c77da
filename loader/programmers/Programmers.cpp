#include "programmers/Programmers.h"

#include "boot/BootLoader.h"
#include "programmers/ProgramImage.h"

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

bool StartMonitorAndImage(const SessionParams& session, MonitorTrace trace, ProgramImage& image) {
    const auto start = trace == MonitorTrace::Narrowed ? StartMonitorNarrowed : StartMonitor;
    if (start(session.comport & 0xFF, session.busmode, session.baudrate, session.targettype) != 0) {
        return false;
    }
    return ReadAnnouncedImage(image, session.filename);
}
