// The console as test scripts use it: a key test that never waits, a line
// read, clearing the screen and homing the cursor.
#pragma once

#include <cstddef>
#include <string>

// The code of a key waiting on standard input, read without echo; a 0 code
// is followed by the code that is returned. -1 when no key waits. On a
// terminal, keys are taken unechoed and unbuffered from the first call on,
// until RestoreConsole or a line read.
int ReadWaitingKey();

// One line from standard input (with the terminal's echo and editing),
// without its line end and cut to at most limit characters; the rest of the
// line is read and dropped.
std::string ReadConsoleLine(size_t limit);

void ClearConsole();
void HomeConsoleCursor();

// Gives the terminal back the settings it had before keys were read. Also
// done at exit and when a signal ends the program.
void RestoreConsole();
