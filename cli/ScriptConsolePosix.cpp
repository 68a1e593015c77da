// Console access for scripts. Keys are read in the terminal's non-canonical
// mode without echo, so a key counts as soon as it is pressed and does not
// show; the previous settings come back whenever the script ends, even when
// the user stops a looping script with Ctrl-C.
#include "ScriptConsole.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kInput = STDIN_FILENO;

struct termios gSavedTerminal;
volatile sig_atomic_t gKeyMode = 0;
bool gRestoreInstalled = false;

void RestoreTerminal() {
    if (gKeyMode != 0) {
        tcsetattr(kInput, TCSANOW, &gSavedTerminal);
        gKeyMode = 0;
    }
}

void RestoreTerminalAndEnd(int signalNumber) {
    RestoreTerminal();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Signals that end the program restore the terminal first. A signal that is
// ignored (a run under nohup) stays ignored.
void InstallRestore() {
    if (gRestoreInstalled) {
        return;
    }
    gRestoreInstalled = true;
    atexit(RestoreTerminal);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction restore {};
        restore.sa_handler = RestoreTerminalAndEnd;
        sigemptyset(&restore.sa_mask);
        sigaction(signalNumber, &restore, nullptr);
    }
}

void EnterKeyMode() {
    if (gKeyMode != 0 || !isatty(kInput) || tcgetattr(kInput, &gSavedTerminal) != 0) {
        return;
    }
    InstallRestore();
    struct termios keys = gSavedTerminal;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(kInput, TCSANOW, &keys) == 0) {
        gKeyMode = 1;
    }
}

bool InputWaiting() {
    struct pollfd input {};
    input.fd = kInput;
    input.events = POLLIN;
    return poll(&input, 1, 0) > 0 && (input.revents & (POLLIN | POLLHUP)) != 0;
}

int ReadByte() {
    unsigned char code = 0;
    return read(kInput, &code, 1) == 1 ? code : -1;
}

} // namespace

int ReadWaitingKey() {
    EnterKeyMode();
    if (!InputWaiting()) {
        return -1;
    }
    const int code = ReadByte();
    if (code != 0) {
        return code;
    }
    // A 0 announces a second code (a function or cursor key).
    const int second = InputWaiting() ? ReadByte() : -1;
    return second < 0 ? 0 : second;
}

std::string ReadConsoleLine(size_t limit) {
    RestoreTerminal();
    std::string line;
    for (int code = ReadByte(); code >= 0 && code != '\n'; code = ReadByte()) {
        if (line.size() < limit) {
            line += static_cast<char>(code);
        }
    }
    return line;
}

void ClearConsole() {
    fputs("\x1b[2J\x1b[H", stdout);
}

void HomeConsoleCursor() {
    fputs("\x1b[H", stdout);
}

void RestoreConsole() {
    RestoreTerminal();
}
