#include "programmers/ImageCrc.h"

#include "frame/Indication.h"
#include "image/Crc32.h"
#include "link/Primitives.h"

CrcComparison CompareCrc(const uint8_t* bytes, uint32_t count, uint32_t first, uint32_t last) {
    CrcComparison comparison;
    comparison.fileCrc = CalcCrc32(bytes, count);
    comparison.mailError = MonCrc32(first, last, &comparison.targetCrc);
    return comparison;
}

bool ReportCrc(const CrcComparison& comparison) {
    const uint16_t code = comparison.Matches() ? CRC_OK_IND : CRC_ERROR_IND;
    SendIndicationTwoLongs(code, comparison.fileCrc, comparison.targetCrc);
    return comparison.Matches();
}
