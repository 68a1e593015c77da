// Verification of programmed memory: the CRC32 of image bytes on the PC
// against the CRC32 the target computes over an address range.
#pragma once

#include <cstdint>

struct CrcComparison {
    uint32_t mailError = 0; // code of a failed CALC_CRC32_REQ; the CRCs are then not valid
    uint32_t fileCrc = 0;
    uint32_t targetCrc = 0;

    bool Matches() const { return fileCrc == targetCrc; }
};

// CRC32 of count image bytes against CALC_CRC32_REQ over first..last.
CrcComparison CompareCrc(const uint8_t* bytes, uint32_t count, uint32_t first, uint32_t last);

// CRC_OK_IND or CRC_ERROR_IND with the file's and the target's CRC32;
// returns whether the two match.
bool ReportCrc(const CrcComparison& comparison);
