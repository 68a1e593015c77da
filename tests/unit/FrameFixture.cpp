#include "FrameFixture.h"

#include "api/FLoader.h"
#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "frame/TraceSink.h"
#include "link/LinkState.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

std::mutex mutex;
std::condition_variable changed;
std::vector<RecordedIndication> indications;
std::vector<std::string> errorTraces;
std::atomic<void (*)(const IndicationRecord&)> indicationHook{nullptr};

void ULVEX_CALL RecordIndication(IndicationRecord* record) {
    if (auto hook = indicationHook.load()) {
        hook(*record);
    }
    RecordedIndication copy{record->code, record->sessionid, record->param.longs[0],
                            record->param.longs[1], ""};
    if (record->code == TEXT_INFO_IND) {
        copy.text.assign(record->param.text, strnlen(record->param.text, INDICATION_TEXT_SIZE));
    }
    std::lock_guard lock(mutex);
    indications.push_back(copy);
    changed.notify_all();
}

void RecordErrorTrace(const char* line) {
    std::lock_guard lock(mutex);
    errorTraces.emplace_back(line);
}

} // namespace

void FrameTest::SetUp() {
    dir_ = std::make_unique<testfiles::TempDir>();
    chdir_ = std::make_unique<testfiles::ScopedChdir>(dir_->path());
    {
        std::lock_guard lock(mutex);
        indications.clear();
        errorTraces.clear();
    }
    indicationHook = nullptr;
    DisarmFaults();
    SetErrorTraceSink(RecordErrorTrace);
    SetDebug(0);
    SetBootLoaderTimeout(15);
    SetupCallbackFunction(RecordIndication);
    // The test thread's own context starts clean for in-thread tests.
    ResetLinkState();
    SetTraceMask(0);
}

void FrameTest::TearDown() {
    SetTraceMask(0);
    SetDebug(0);
    DisarmFaults();
    SetErrorTraceSink(nullptr);
    chdir_.reset();
    dir_.reset();
}

std::vector<RecordedIndication> FrameTest::Indications() {
    std::lock_guard lock(mutex);
    return indications;
}

std::vector<RecordedIndication> FrameTest::IndicationsOf(uint16_t sessionid) {
    std::vector<RecordedIndication> result;
    for (const auto& i : Indications()) {
        if (i.sessionid == sessionid) {
            result.push_back(i);
        }
    }
    return result;
}

std::vector<uint16_t> FrameTest::CodesOf(uint16_t sessionid) {
    std::vector<uint16_t> codes;
    for (const auto& i : IndicationsOf(sessionid)) {
        codes.push_back(i.code);
    }
    return codes;
}

std::vector<std::string> FrameTest::ErrorTraces() {
    std::lock_guard lock(mutex);
    return errorTraces;
}

bool FrameTest::WaitForStop(uint16_t sessionid, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, timeout, [sessionid] {
        for (const auto& i : indications) {
            if (i.sessionid == sessionid && i.code == STOP_PROGRAM_IND) {
                return true;
            }
        }
        return false;
    });
}

void FrameTest::SetIndicationHook(void (*hook)(const IndicationRecord&)) {
    indicationHook = hook;
}

void FrameTest::StartTrace(uint32_t mask) {
    SetTraceMask(mask);
    OpenTraceLog("thread.log");
}

std::string FrameTest::TraceText() const {
    if (Ctx().trace.log != nullptr) {
        std::fflush(Ctx().trace.log);
    }
    return testfiles::ReadTextFile(dir_->file("thread.log"));
}

std::string FrameTest::ErrorTraceStarting(const std::string& start) {
    for (const std::string& line : ErrorTraces()) {
        if (line.rfind(start, 0) == 0) {
            return line;
        }
    }
    return {};
}

std::string FrameTest::SampleHexFile(const std::string& name) const {
    std::string path = dir_->file(name);
    testfiles::WriteFile(path, ":0400000001020304F2\r\n:00000001FF\r\n");
    return path;
}

bool WaitForFileContent(const std::string& path, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (testfiles::FileExists(path) && !testfiles::ReadFile(path).empty()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string LogRule() {
    return "+" + std::string(67, '-') + "\n";
}

std::string LogTitle(int blanks) {
    return "\n" + LogRule() + "|" + std::string(blanks, ' ') + "\n" + "|  Ulvex log file \n" +
           LogRule();
}
