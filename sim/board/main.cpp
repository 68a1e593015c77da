// vtarget: a virtual target board on a pseudo-terminal. Prints one ready
// line once the port is there, runs until SIGINT or SIGTERM, then writes
// the dump and removes the link.
#include "board/Options.h"

#include <vtarget/Board.h>

#include <csignal>
#include <cstdio>
#include <utility>

int main(int argc, char** argv) {
    vtarget::BoardOptions options;
    std::string message;
    switch (vtarget::ParseOptions({argv + 1, argv + argc}, options, message)) {
    case vtarget::ParseStatus::Help:
        fputs(vtarget::UsageText().c_str(), stdout);
        return 0;
    case vtarget::ParseStatus::Error:
        fprintf(stderr, "vtarget: %s\nTry 'vtarget --help'.\n", message.c_str());
        return 2;
    case vtarget::ParseStatus::Run:
        break;
    }
    // The dump is written here, after Stop(), so that a failure can be reported.
    const std::string dumpPath = std::exchange(options.dumpPath, {});

    // Blocked before the board thread starts, so that it inherits the mask
    // and the signals wait for sigwait() below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // A restart dumps the memory as it is at that moment, then prints a
    // line: whoever reads the line finds the dump written.
    vtarget::Board* running = nullptr;
    options.onRestart = [&running, &dumpPath](uint32_t address) {
        if (!dumpPath.empty() && !running->WriteDump(dumpPath)) {
            fprintf(stderr, "vtarget: cannot write the dump %s\n", dumpPath.c_str());
        }
        printf("vtarget: board restarted, running from 0x%06X\n", address);
        fflush(stdout);
    };
    vtarget::Board board(options);
    running = &board;
    std::string error;
    if (!board.Start(error)) {
        fprintf(stderr, "vtarget: %s\n", error.c_str());
        return 1;
    }
    printf("vtarget ready on %s\n", options.linkPath.c_str());
    fflush(stdout);

    int signal = 0;
    sigwait(&signals, &signal);
    board.Stop();
    if (!dumpPath.empty() && !board.WriteDump(dumpPath)) {
        fprintf(stderr, "vtarget: cannot write the dump %s\n", dumpPath.c_str());
        return 1;
    }
    return 0;
}
