// State the board thread shares with the Board's callers: the memory, the
// log of valid mails, the reply hook, the counters, the expected rate and
// its history, the stage and the last boot download. Each part guards
// itself, so that a hook running on the board thread may call back into
// the Board without deadlock.
#pragma once

#include "memory/MemoryModel.h"
#include "state/SpanLog.h"

#include <vtarget/Board.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vtarget {

struct BoardCounters {
    std::atomic<uint64_t> bytesReceived{0};
    std::atomic<uint64_t> bytesSent{0}; // echo included
    std::atomic<uint64_t> garbledBytes{0};
    std::atomic<uint64_t> droppedFrames{0};
};

class BoardShared {
  public:
    // baudRate: the rate the board expects first.
    explicit BoardShared(std::unique_ptr<MemoryModel> memory, uint32_t baudRate,
                         Stage stage = Stage::Monitor);

    // Runs work with the memory model locked.
    template <typename Work>
    auto WithMemory(Work&& work) const {
        std::lock_guard lock(memoryMutex_);
        return work(*memory_);
    }

    // Logs a valid request and asks the reply hook about it.
    std::optional<std::vector<uint8_t>> OnMail(const ReceivedMail& mail);
    std::vector<ReceivedMail> Mails() const;
    size_t MailCount() const;
    void SetReplyOverride(ReplyOverride hook);

    uint32_t ExpectedRate() const { return expectedRate_.load(); }
    // From now on the board expects this rate; a change goes into the history.
    void ExpectRate(uint32_t baudRate);
    std::vector<uint32_t> RateHistory() const;

    Stage CurrentStage() const { return stage_.load(); }
    void EnterStage(Stage stage) { stage_ = stage; }

    void RecordDownload(std::vector<uint8_t> bytes);
    std::vector<uint8_t> LastDownload() const;

    // The PC restarted the board: records the address and calls the
    // restart hook. Call without the memory locked.
    void Restarted(uint32_t address);
    std::optional<uint32_t> RestartAddress() const;
    void SetRestartHook(std::function<void(uint32_t)> hook);

    BoardCounters counters;
    SpanLog lineSpans;
    SpanLog ownTime;

  private:
    mutable std::mutex memoryMutex_;
    std::unique_ptr<MemoryModel> memory_;
    mutable std::mutex mailMutex_;
    std::vector<ReceivedMail> mails_;
    std::mutex hookMutex_;
    ReplyOverride hook_;
    std::atomic<uint32_t> expectedRate_;
    mutable std::mutex rateMutex_;
    std::vector<uint32_t> rateHistory_;
    std::atomic<Stage> stage_;
    mutable std::mutex downloadMutex_;
    std::vector<uint8_t> download_;
    mutable std::mutex restartMutex_;
    std::optional<uint32_t> restartAddress_;
    std::function<void(uint32_t)> restartHook_;
};

} // namespace vtarget
