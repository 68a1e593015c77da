#include "VornFixture.h"

void VornTest::TearDown() {
    if (board_) {
        board_->Stop();
    }
}

void VornTest::StartBoard(vtarget::BoardOptions options) {
    options.linkPath = dir_.file("board");
    board_ = std::make_unique<vtarget::Board>(options);
    std::string error;
    ASSERT_TRUE(board_->Start(error)) << error;
}

testfiles::CommandResult VornTest::RunVorn(const std::string& arguments,
                                           const std::string& environment) {
    const std::string command = "cd '" + dir_.path() + "' && ULVEX_COM1='" + dir_.file("board") +
                                "' " + environment + " '" VORN_PROGRAM "' " + arguments;
    return testfiles::RunCommand(command);
}

std::string VornTest::HexFile(const std::string& name, uint32_t address,
                              const std::vector<uint8_t>& bytes) {
    const std::string bin = dir_.file(name + ".bin");
    const std::string hex = dir_.file(name);
    testfiles::WriteBytes(bin, bytes);
    const auto result =
        testfiles::RunCommand(std::string(ULVEX_SREC_CAT) + " " + bin + " -binary -offset " +
                              std::to_string(address) + " -o " + hex + " -intel");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return hex;
}

size_t Count(const std::string& output, const std::string& text) {
    size_t count = 0;
    for (size_t at = output.find(text); at != std::string::npos;
         at = output.find(text, at + text.size())) {
        ++count;
    }
    return count;
}
