// Memory dumps of test scripts, read from the target through test mode.
#pragma once

#include <cstdint>

// count bytes from address, in lines of 16 with a character column.
void DumpScriptBytes(uint32_t count, uint32_t address);

// count 16-bit words from address, in lines of 8. The address counts words.
void DumpScriptWords(uint32_t count, uint32_t address);
