#include "BoardShared.h"

namespace vtarget {

BoardShared::BoardShared(std::unique_ptr<MemoryModel> memory, uint32_t baudRate)
    : expectedBaudRate(baudRate), memory_(std::move(memory)) {}

std::optional<std::vector<uint8_t>> BoardShared::OnMail(const ReceivedMail& mail) {
    {
        std::lock_guard lock(mailMutex_);
        mails_.push_back(mail);
    }
    ReplyOverride hook;
    {
        std::lock_guard lock(hookMutex_);
        hook = hook_;
    }
    // Called unlocked: the hook may read the mails or the memory.
    return hook ? hook(mail) : std::nullopt;
}

std::vector<ReceivedMail> BoardShared::Mails() const {
    std::lock_guard lock(mailMutex_);
    return mails_;
}

size_t BoardShared::MailCount() const {
    std::lock_guard lock(mailMutex_);
    return mails_.size();
}

void BoardShared::SetReplyOverride(ReplyOverride hook) {
    std::lock_guard lock(hookMutex_);
    hook_ = std::move(hook);
}

} // namespace vtarget
