// State the board thread shares with the Board's callers: the memory, the
// log of valid mails, the reply hook and the counters. Each part guards
// itself, so that a hook running on the board thread may call back into
// the Board without deadlock.
#pragma once

#include "MemoryModel.h"

#include <vtarget/Board.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vtarget {

struct BoardCounters {
    std::atomic<uint64_t> bytesReceived{0};
    std::atomic<uint64_t> garbledBytes{0};
    std::atomic<uint64_t> droppedFrames{0};
};

class BoardShared {
  public:
    explicit BoardShared(std::unique_ptr<MemoryModel> memory, uint32_t baudRate);

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

    BoardCounters counters;
    std::atomic<uint32_t> expectedBaudRate;

  private:
    mutable std::mutex memoryMutex_;
    std::unique_ptr<MemoryModel> memory_;
    mutable std::mutex mailMutex_;
    std::vector<ReceivedMail> mails_;
    std::mutex hookMutex_;
    ReplyOverride hook_;
};

} // namespace vtarget
