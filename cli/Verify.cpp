// Verify: the CRC32 of a HEX file beside the CRC32 the target computes over
// the file's address range. Both are printed; the user compares them.
#include "Jobs.h"

#include <cstdio>
#include <cstdlib>

#include "TestModeMonitor.h"
#include "TestModeTargets.h"
#include "image/Crc32.h"
#include "image/HexFile.h"
#include "ulvex.h"

namespace {

// The targets compute their CRC over whole 16-bit words, so the file's CRC
// takes the image up to an even length (the image's spare bytes are 0xFF).
void PrintImageCrcs(const uint8_t* image, uint32_t size, uint32_t base) {
    const uint32_t evenSize = size + (size & 1u);
    const uint32_t fileCrc = CalcCrc32(image, evenSize);
    uint32_t targetCrc = 0;
    TM_CalcCRC32(base, base + size - 1, &targetCrc);
    printf("\n\n File crc32   = %08lX", static_cast<unsigned long>(fileCrc));
    printf("\n Target crc32 = %08lX\n", static_cast<unsigned long>(targetCrc));
}

void VerifyFile(const RunSettings& settings) {
    uint8_t* image = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;
    if (ReadHexImage(settings.fileName, 0, &image, &size, &base) != HEX_IMAGE_READY) {
        fputs("\n ### Error reading Hex-file ###\n", stdout);
        return;
    }
    switch (VerifySupportFor(settings.targetType)) {
    case VerifySupport::Crc:
        PrintImageCrcs(image, size, base);
        break;
    case VerifySupport::NotSupported:
        fputs("\n ### This function is not supported for this target type ###\n", stdout);
        break;
    case VerifySupport::Unknown:
        fputs("\n ### Unknown Target type ###\n", stdout);
        break;
    }
    free(image);
}

} // namespace

int RunVerifyJob(RunSettings& settings) {
    if (!StartTestModeMonitor(settings)) {
        return 0;
    }
    VerifyFile(settings);
    EndTestMode();
    return 0;
}
