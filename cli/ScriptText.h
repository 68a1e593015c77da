// The lexical rules of test scripts: how a line is prepared, how it splits
// into words, and how hexadecimal numbers read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Upper-cases the letters a to z outside double quotes (each quote switches
// between outside and inside; the quotes stay) and then cuts the line at the
// first ";" or "//", inside quotes or not.
void PrepareScriptLine(char* line);

// Splits a prepared line into words. A NUL, a line feed or 07h ends the line;
// outside quotes blanks, tabs and commas separate words. Quoted characters
// belong to the current word without their quotes and are taken only from
// the line's first 100 positions.
std::vector<std::string> SplitScriptWords(const char* line);

// Hexadecimal digits up to a blank, tab, ",", ";", "-", carriage return, line
// feed, the end or any other character that is not a digit; the last eight
// digits count.
uint32_t ParseScriptHex(const char* text);
