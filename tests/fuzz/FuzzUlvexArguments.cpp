// ulvex's parsers of PORT, TARGET, addresses and jobs files fed arbitrary
// text. What they accept must be sound: a COM number in range, a path that
// fits the library's port mapping, a target from the table, a range whose
// end is not below its start, boards that each have a port, a target and
// an image; what they refuse must say why.
#include "Arguments.h"
#include "Jobs.h"
#include "Targets.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ulvex::PortArgument port = ulvex::ParsePort(text);
    const bool portSound =
        !port.error.empty() || (port.kind == ulvex::PortArgument::Kind::ComNumber
                                    ? port.comport >= 1 && port.comport <= 254
                                    : !port.path.empty() && port.path.size() <= 255);
    const ulvex::TargetLookup target = ulvex::FindTarget(text);
    const bool targetSound = (target.type == nullptr) != target.error.empty() &&
                             (target.type == nullptr || target.type->number < 24);
    const size_t half = size / 2;
    const ulvex::RangeArgument range = ulvex::ParseRange(text.substr(0, half), text.substr(half));
    const bool rangeSound = !range.error.empty() || range.start <= range.end;
    const ulvex::JobsFile jobs = ulvex::ParseJobs(text, {}, "");
    bool jobsSound = jobs.error.empty() != jobs.boards.empty();
    for (const ulvex::BoardJob& board : jobs.boards) {
        jobsSound = jobsSound && !board.image.empty() && !board.target.empty() &&
                    (board.bus == "duplex" || board.bus == "single") && board.baud != 0;
    }
    if (!portSound || !targetSound || !rangeSound || !jobsSound) {
        std::abort();
    }
    return 0;
}
