// Fixture for tests of the library frame: records every indication the
// callback receives and every error trace, runs each test in its own working
// directory (log files land there) and restores the library-wide settings.
#pragma once

#include "TestFiles.h"
#include "ulvex.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

struct RecordedIndication {
    uint16_t code;
    uint16_t sessionid;
    uint32_t long0;
    uint32_t long1;
    std::string text;
};

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Indications received so far (a copy).
    static std::vector<RecordedIndication> Indications();
    static std::vector<RecordedIndication> IndicationsOf(uint16_t sessionid);
    static std::vector<uint16_t> CodesOf(uint16_t sessionid);
    static std::vector<std::string> ErrorTraces();

    // Waits until STOP_PROGRAM_IND of the session arrived.
    static bool WaitForStop(uint16_t sessionid,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Called from inside the callback for every record, before it is stored.
    static void SetIndicationHook(void (*hook)(const IndicationRecord&));

    // Switches the test thread's trace on with the mask, into a log file of
    // its own; TraceText() returns what the log holds so far.
    void StartTrace(uint32_t mask);
    std::string TraceText() const;

    // The first recorded error trace that starts with the text, or "".
    static std::string ErrorTraceStarting(const std::string& start);

    // A small valid HEX file in the test directory.
    std::string SampleHexFile(const std::string& name = "sample.hex") const;

    std::unique_ptr<testfiles::TempDir> dir_;
    std::unique_ptr<testfiles::ScopedChdir> chdir_;
};

// The rule line of the log headers, and their opening lines up to the second
// rule (the blank line is 70 blanks wide in a session log, 69 in test mode).
std::string LogRule();
std::string LogTitle(int blanks);

// Polls for a condition on a file until it holds or the timeout passes.
bool WaitForFileContent(const std::string& path, std::chrono::milliseconds timeout);
