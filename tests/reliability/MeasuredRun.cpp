#include "MeasuredRun.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace reliability {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The extra entries come first: getenv() takes the first of two that have
// the same name.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> entries = extra;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        entries.emplace_back(*entry);
    }
    return entries;
}

constexpr const char* kPeakReport = "\npeak-kib=";

// Runs in the forked child: only calls that are safe between fork and exec.
// The child leads a process group of its own, so that a time-out reaches
// the program the meter started too.
[[noreturn]] void ExecChild(int outputFd, const char* workDir, char** argv, char** envp) {
    setpgid(0, 0);
    dup2(outputFd, STDOUT_FILENO);
    dup2(outputFd, STDERR_FILENO);
    close(outputFd);
    if (chdir(workDir) == 0) {
        execve(argv[0], argv, envp);
    }
    _exit(127);
}

// Collects everything the child prints until it closes its output or the
// deadline passes; false on the deadline.
bool CollectOutput(int fd, std::chrono::steady_clock::time_point deadline, std::string& output) {
    char chunk[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return false;
        }
        if (ready < 0) {
            return true; // nothing more can be read
        }
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            output.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return true;
        }
    }
}

// Waits for the child's exit until the deadline; a child that closed its
// output may still take a moment to end.
bool ExitedBy(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
    constexpr auto kPoll = std::chrono::milliseconds(10);
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (done < 0 && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        usleep(static_cast<useconds_t>(std::chrono::microseconds(kPoll).count()));
    }
}

// Takes the meter's last line out of the output.
void TakePeakReport(MeasuredRun& run) {
    const size_t at = run.output.rfind(kPeakReport);
    if (at == std::string::npos) {
        return;
    }
    run.peakKiB = std::stol(run.output.substr(at + strlen(kPeakReport)));
    run.output.erase(at);
}

} // namespace

MeasuredRun RunMeasured(const std::string& meter, const std::vector<std::string>& argv,
                        const std::string& workDir,
                        const std::vector<std::string>& extraEnvironment,
                        std::chrono::seconds limit) {
    MeasuredRun run;
    std::vector<std::string> args = {meter};
    args.insert(args.end(), argv.begin(), argv.end());
    std::vector<std::string> env = Environment(extraEnvironment);
    std::vector<char*> argp = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ExecChild(fds[1], workDir.c_str(), argp.data(), envp.data());
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const bool finished = CollectOutput(fds[0], deadline, run.output);
    close(fds[0]);
    int status = 0;
    if (!finished || !ExitedBy(pid, deadline, status)) {
        kill(-pid, SIGKILL);
        run.timedOut = true;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    TakePeakReport(run);
    return run;
}

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

} // namespace reliability
