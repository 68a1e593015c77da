#include "SessionVerdict.h"

#include "ulvex.h"

#include <algorithm>
#include <cstdio>

namespace campaign {

namespace {

bool Has(const std::vector<Indication>& indications, uint16_t code) {
    return std::any_of(indications.begin(), indications.end(),
                       [code](const Indication& i) { return i.code == code; });
}

// The first indication that tells of a failure, named.
std::string FirstFailure(const std::vector<Indication>& indications) {
    for (const Indication& i : indications) {
        switch (i.code) {
        case MAIL_ERROR_IND:
            return "mail error " + std::to_string(i.long0 & 0xFFFF);
        case CRC_ERROR_IND:
            return "CRC error";
        case DOWNLOAD_FAILED_IND:
            return "download failed";
        case COM_PORT_SEARCHING_TIMEOUT_IND:
            return "search timeout";
        case COM_PORT_ACCESS_FAIL_IND:
            return "port failed";
        case HEX_FILE_ERROR_IND:
            return "hex error";
        default:
            break;
        }
    }
    return "";
}

bool ReportsSuccess(const FamilyInfo& family, const std::vector<Indication>& indications) {
    if (family.verification == Verification::SectorWindows) {
        // Windows are verified as they complete; the session's success is
        // the end of programming and the restart.
        return Has(indications, PROGRAMMING_SUCCESS_IND) && Has(indications, RESET_TARGET_IND);
    }
    return Has(indications, CRC_OK_IND);
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Empty if the memory holds the image's bytes of the range, else where not.
std::string Difference(const Image& image, ImageRange range, const MemoryReader& memory) {
    const std::vector<uint8_t> held = memory(image.base + range.offset, range.length);
    for (uint32_t i = 0; i < range.length; ++i) {
        if (i >= held.size() || held[i] != image.bytes[range.offset + i]) {
            return "memory differs from the image at " + Hex(image.base + range.offset + i);
        }
    }
    return "";
}

std::string CheckCrcOk(const Indication& ok, const std::vector<VouchedRange>& vouched,
                       const Image& image, const MemoryReader& memory) {
    if (ok.long0 != ok.long1) {
        return "CRC_OK_IND with file CRC " + Hex(ok.long0) + " and target CRC " + Hex(ok.long1);
    }
    for (const VouchedRange& v : vouched) {
        if (v.fileCrc == ok.long0) {
            const std::string difference = Difference(image, v.range, memory);
            return difference.empty() ? "" : "CRC_OK_IND, but " + difference;
        }
    }
    return "CRC_OK_IND with a CRC of no verified range of the image: " + Hex(ok.long0);
}

} // namespace

std::string OutcomeOf(const FamilyInfo& family, const std::vector<Indication>& indications) {
    if (std::string failure = FirstFailure(indications); !failure.empty()) {
        return failure;
    }
    if (ReportsSuccess(family, indications)) {
        return "ok";
    }
    return Has(indications, PROGRAM_SIZE_IND) ? "no verdict" : "no monitor";
}

std::string StopProblem(const std::vector<Indication>& indications) {
    if (indications.empty() || indications.front().code != START_PROGRAM_IND) {
        return "START_PROGRAM_IND is not the first indication";
    }
    const auto stops =
        std::count_if(indications.begin(), indications.end(),
                      [](const Indication& i) { return i.code == STOP_PROGRAM_IND; });
    if (stops != 1) {
        return std::to_string(stops) + " STOP_PROGRAM_IND";
    }
    if (indications.back().code != STOP_PROGRAM_IND) {
        return "an indication after STOP_PROGRAM_IND";
    }
    return "";
}

std::vector<std::string> FalseSuccesses(const FamilyInfo& family, const Image& image,
                                        const std::vector<Indication>& indications,
                                        const MemoryReader& memory) {
    std::vector<std::string> found;
    const std::vector<VouchedRange> vouched = VouchedRanges(family, image);
    for (const Indication& i : indications) {
        if (i.code != CRC_OK_IND) {
            continue;
        }
        if (std::string problem = CheckCrcOk(i, vouched, image, memory); !problem.empty()) {
            found.push_back(problem);
        }
    }
    if (OutcomeOf(family, indications) == "ok") {
        const auto size = static_cast<uint32_t>(image.bytes.size());
        if (std::string difference = Difference(image, {0, size}, memory); !difference.empty()) {
            found.push_back("success reported, but " + difference);
        }
    }
    return found;
}

} // namespace campaign
