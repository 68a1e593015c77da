// Command line of the vtarget program.
#pragma once

#include <vtarget/Board.h>

#include <string>
#include <vector>

namespace vtarget {

enum class ParseStatus { Run, Help, Error };

// Fills options from the arguments after the program name; on Error the
// message says what is wrong.
ParseStatus ParseOptions(const std::vector<std::string>& args, BoardOptions& options,
                         std::string& message);

std::string UsageText();

} // namespace vtarget
