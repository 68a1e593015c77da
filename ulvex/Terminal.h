// What ulvex asks of the terminal it writes to: whether standard output is
// one, its width, and whether colours are welcome.
#pragma once

#include <string>

namespace ulvex {

bool OutputIsTerminal();
// Columns of the terminal on standard output; COLUMNS or 80 when unknown.
int TerminalWidth();
// Colours only on a terminal, never with NO_COLOR set or TERM=dumb.
bool ColoursWanted();

enum class Colour { None, Green, Red, Yellow, Cyan };
// The text in that colour's escape codes, or as it is when `on` is false.
std::string Paint(const std::string& text, Colour colour, bool on);

// The text cut or padded to exactly `width` columns (ASCII); a cut keeps
// the end, where paths differ, behind "..".
std::string FitLeft(const std::string& text, size_t width);
std::string PadRight(const std::string& text, size_t width);
std::string PadLeft(const std::string& text, size_t width);

} // namespace ulvex
