#include "state/BoardShared.h"

namespace vtarget {

BoardShared::BoardShared(std::unique_ptr<MemoryModel> memory, uint32_t baudRate, Stage stage)
    : memory_(std::move(memory)), expectedRate_(baudRate), rateHistory_{baudRate}, stage_(stage) {}

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

void BoardShared::ExpectRate(uint32_t baudRate) {
    std::lock_guard lock(rateMutex_);
    if (baudRate == expectedRate_.load()) {
        return;
    }
    expectedRate_ = baudRate;
    rateHistory_.push_back(baudRate);
}

std::vector<uint32_t> BoardShared::RateHistory() const {
    std::lock_guard lock(rateMutex_);
    return rateHistory_;
}

void BoardShared::RecordDownload(std::vector<uint8_t> bytes) {
    std::lock_guard lock(downloadMutex_);
    download_ = std::move(bytes);
}

std::vector<uint8_t> BoardShared::LastDownload() const {
    std::lock_guard lock(downloadMutex_);
    return download_;
}

void BoardShared::Restarted(uint32_t address) {
    std::function<void(uint32_t)> hook;
    {
        std::lock_guard lock(restartMutex_);
        restartAddress_ = address;
        hook = restartHook_;
    }
    if (hook) {
        hook(address);
    }
}

std::optional<uint32_t> BoardShared::RestartAddress() const {
    std::lock_guard lock(restartMutex_);
    return restartAddress_;
}

void BoardShared::SetRestartHook(std::function<void(uint32_t)> hook) {
    std::lock_guard lock(restartMutex_);
    restartHook_ = std::move(hook);
}

} // namespace vtarget
