#include "frame/LibrarySettings.h"

std::atomic<IndicationCallback> HostCallback{nullptr};
std::atomic<uint32_t> DebugMask{0};
std::atomic<uint16_t> BootLoaderTimeoutMs{kDefaultBootLoaderTimeoutMs};
