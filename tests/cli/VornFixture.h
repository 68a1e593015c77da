// Runs the vorn program as users do, in a scratch working directory, against
// a virtual board in this process mapped to COM1.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <vtarget/Board.h>

#include "TestFiles.h"

class VornTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Starts a board of the options' target type on the link "board".
    void StartBoard(vtarget::BoardOptions options);
    vtarget::Board& Board() { return *board_; }

    // Runs vorn with these arguments (a shell word list) in the scratch
    // directory; output is standard output and standard error together.
    testfiles::CommandResult RunVorn(const std::string& arguments,
                                     const std::string& environment = "");
    std::string File(const std::string& name) const { return dir_.file(name); }

    // An Intel HEX file of bytes at address, written by srec_cat.
    std::string HexFile(const std::string& name, uint32_t address,
                        const std::vector<uint8_t>& bytes);

  private:
    testfiles::TempDir dir_;
    std::unique_ptr<vtarget::Board> board_;
};

// How often text occurs in output.
size_t Count(const std::string& output, const std::string& text);
