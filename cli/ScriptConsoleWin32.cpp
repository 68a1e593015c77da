// Console access for scripts on Windows. On a console, keys come from the
// console's key events: unechoed, counted as soon as they are pressed, with
// nothing to give back afterwards. The console key functions look at the
// console only and never see a redirected standard input, so a pipe or a file
// is read byte by byte as it is, and scripts get the same codes from it as
// from a terminal.
#include "ScriptConsole.h"

#include <conio.h>
#include <windows.h>

#include <cstdio>

namespace {

HANDLE Input() {
    return GetStdHandle(STD_INPUT_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// Whether a read of a redirected standard input returns at once. A pipe
// whose writer has gone fails the peek and counts as empty; a file or a
// character device (the null device) answers at once, at its end with no
// byte.
bool InputWaiting(HANDLE input) {
    switch (GetFileType(input)) {
    case FILE_TYPE_PIPE: {
        DWORD available = 0;
        return PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) != 0 && available > 0;
    }
    case FILE_TYPE_DISK:
    case FILE_TYPE_CHAR:
        return true;
    default:
        return false;
    }
}

// One byte of standard input, unbuffered so that key reads and line reads
// share it; -1 at its end or on an error. On a console this is a line read
// with the console's echo and editing, handed out a byte at a time.
int ReadByte() {
    unsigned char code = 0;
    DWORD got = 0;
    return ReadFile(Input(), &code, 1, &got, nullptr) != 0 && got == 1 ? code : -1;
}

// The screen buffer of standard output, or false when standard output is not
// a console (redirected to a file or a pipe): such output gets no control
// bytes. Text printed so far is flushed first, so that it lands before the
// console is changed.
bool ConsoleOutput(HANDLE& output, CONSOLE_SCREEN_BUFFER_INFO& screen) {
    fflush(stdout);
    output = GetStdHandle(STD_OUTPUT_HANDLE);
    return GetConsoleScreenBufferInfo(output, &screen) != 0;
}

} // namespace

int ReadWaitingKey() {
    const HANDLE input = Input();
    if (IsConsole(input)) {
        if (_kbhit() == 0) {
            return -1;
        }
        // A 0 announces a second code (a function key). Any other code,
        // 0xE0 of the cursor keys included, is a key of its own.
        const int code = _getch();
        return code != 0 ? code : _getch();
    }
    if (!InputWaiting(input)) {
        return -1;
    }
    const int code = ReadByte();
    if (code != 0) {
        return code;
    }
    const int second = InputWaiting(input) ? ReadByte() : -1;
    return second < 0 ? 0 : second;
}

std::string ReadConsoleLine(size_t limit) {
    std::string line;
    size_t length = 0;
    bool carriageReturn = false;
    int code = ReadByte();
    for (; code >= 0 && code != '\n'; code = ReadByte()) {
        if (line.size() < limit) {
            line += static_cast<char>(code);
        }
        ++length;
        carriageReturn = code == '\r';
    }
    // A console line and a text file end in "\r\n"; the '\r' belongs to the
    // line end, not to the line (if it was not cut away already).
    if (code == '\n' && carriageReturn && length <= limit) {
        line.pop_back();
    }
    return line;
}

void ClearConsole() {
    HANDLE output = nullptr;
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!ConsoleOutput(output, screen)) {
        return;
    }
    const DWORD cells = static_cast<DWORD>(screen.dwSize.X) * static_cast<DWORD>(screen.dwSize.Y);
    const COORD origin{0, 0};
    DWORD written = 0;
    FillConsoleOutputCharacterA(output, ' ', cells, origin, &written);
    FillConsoleOutputAttribute(output, screen.wAttributes, cells, origin, &written);
    SetConsoleCursorPosition(output, origin);
}

void HomeConsoleCursor() {
    HANDLE output = nullptr;
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    if (!ConsoleOutput(output, screen)) {
        return;
    }
    SetConsoleCursorPosition(output, COORD{0, 0});
}

void RestoreConsole() {
    // Key reads change no console setting that would need giving back.
}
