// A program the test starts and talks to: its standard output and error
// come back through a pipe, and it is killed if the test does not stop it.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testfiles {

class ChildProgram {
  public:
    ChildProgram(const std::string& path, const std::vector<std::string>& args);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // The next line it prints, empty or cut short if none comes in time.
    std::string ReadLine(std::chrono::milliseconds timeout);
    // Sends the signal and returns the exit code, -1 if it did not exit
    // normally within five seconds.
    int Stop(int signal);

  private:
    pid_t pid_ = -1;
    int output_ = -1;
};

} // namespace testfiles
