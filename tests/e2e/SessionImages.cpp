#include "SessionImages.h"

#include <gtest/gtest.h>

#include "ulvex.h"

std::vector<uint16_t> Collapsed(const std::vector<uint16_t>& codes) {
    std::vector<uint16_t> runs;
    for (uint16_t code : codes) {
        if (runs.empty() || runs.back() != code || code != PROGRAM_PROGRESS_IND) {
            runs.push_back(code);
        }
    }
    return runs;
}

std::string WriteHexImage(const testfiles::TempDir& dir, const std::string& name,
                          const std::vector<Piece>& pieces, const std::string& extra) {
    std::string command = ULVEX_SREC_CAT;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string bin = dir.file(name + std::to_string(i) + ".bin");
        testfiles::WriteBytes(bin, pieces[i].bytes);
        command += " " + bin + " -binary -offset " + std::to_string(pieces[i].address);
    }
    const std::string hex = dir.file(name + ".hex");
    const auto result =
        testfiles::RunCommand(command + " -o " + hex + " -intel -output_block_size=16 " + extra);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return hex;
}
