#include "boot/MonitorCheck.h"

#include "MonitorFormat.h"

namespace vtarget {

bool StartsWithMonitorHeader(std::span<const uint8_t> image, uint8_t kind) {
    const auto header = monitors::ParseMonitorHeader(image);
    return header && header->kind == kind;
}

Stage StageAfterStart(std::span<const uint8_t> image, uint8_t kind, size_t loadedSize) {
    const auto header = monitors::ParseMonitorHeader(image);
    if (!header || header->kind != kind || header->size != loadedSize) {
        return Stage::Hung;
    }
    return Stage::Monitor;
}

} // namespace vtarget
