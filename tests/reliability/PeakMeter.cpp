// Runs a program and then prints its peak resident memory:
//   peak_meter PROGRAM [ARGS...]   prints "\npeak-kib=N\n" after the program's
//                                  own output and exits with its exit code
// A child's peak includes the memory its parent had when it forked, until it
// executes its program; started from this small process, the figure is the
// program's own and not that of a test process with boards and buffers.
#include <cerrno>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: peak_meter PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (pid > 0 && wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    printf("\npeak-kib=%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
