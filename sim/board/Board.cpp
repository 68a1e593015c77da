#include "board/BoardLoop.h"
#include "board/PhaseFactory.h"
#include "dump/HexDump.h"
#include "line/Link.h"
#include "line/Pty.h"
#include "line/WakeFd.h"
#include "memory/BoardMemory.h"
#include "memory/arm/ArmMemory.h"
#include "memory/kolt/KoltMemory.h"
#include "memory/merv/MervMemory.h"
#include "ombrel/OmbrelDevice.h"
#include "state/BoardShared.h"

#include <vtarget/Board.h>

#include <algorithm>
#include <mutex>
#include <thread>

namespace vtarget {

struct Board::Impl {
    explicit Impl(BoardOptions boardOptions)
        : options(std::move(boardOptions)),
          shared(MakeBoardMemory(options), FirstRate(options), FirstStage(options)) {
        shared.SetRestartHook(options.onRestart);
        if (options.recordSpans && options.wireTiming) {
            shared.lineSpans.Enable();
            shared.ownTime.Enable();
        }
    }

    // Runs query on the log of a KOLT or MERV memory; fallback on other boards.
    template <typename Result, typename Query>
    Result AskKolt(Result fallback, Query&& query) const {
        return shared.WithMemory([&](const MemoryModel& memory) {
            if (const auto* merv = dynamic_cast<const MervMemory*>(&memory)) {
                return query(merv->Log());
            }
            const auto* kolt = dynamic_cast<const KoltMemory*>(&memory);
            return kolt ? query(kolt->Log()) : fallback;
        });
    }

    // Runs query on the memory of an ARM board; fallback on other boards.
    template <typename Result, typename Query>
    Result AskArm(Result fallback, Query&& query) const {
        return shared.WithMemory([&](const MemoryModel& memory) {
            const auto* arm = dynamic_cast<const ArmMemory*>(&memory);
            return arm ? query(*arm) : fallback;
        });
    }

    bool Launch(std::string& error);
    void Shutdown();

    BoardOptions options;
    BoardShared shared;
    Pty pty;
    WakeFd wake;
    std::unique_ptr<BoardLoop> loop;
    std::thread thread;
    std::mutex lifecycle; // Start() against Stop()
    bool started = false;
    bool stopped = false;
};

bool Board::Impl::Launch(std::string& error) {
    if (options.monitorRunning && options.baudRate == 0) {
        error = "the expected baud rate must not be 0";
        return false;
    }
    if (shared.ExpectedRate() == 0) {
        error = "target type " + std::to_string(options.targetType) + " has no boot loader";
        return false;
    }
    if (!wake.Valid()) {
        error = "cannot create the wake-up eventfd";
        return false;
    }
    if (!pty.Open(shared.ExpectedRate(), error)) {
        return false;
    }
    if (!options.linkPath.empty() && !CreateLink(options.linkPath, pty.SlavePath(), error)) {
        pty.Close();
        return false;
    }
    loop = std::make_unique<BoardLoop>(pty.Master(), wake.Fd(), options, shared);
    thread = std::thread([this] { loop->Run(); });
    return true;
}

void Board::Impl::Shutdown() {
    wake.Signal();
    thread.join();
    pty.Close();
    if (!options.linkPath.empty()) {
        RemoveLink(options.linkPath, pty.SlavePath());
    }
    if (!options.dumpPath.empty() && options.ombrel.enabled) {
        WriteOmbrelFile(options.dumpPath, shared.LastDownload());
    } else if (!options.dumpPath.empty()) {
        shared.WithMemory(
            [this](const MemoryModel& memory) { return WriteIntelHex(options.dumpPath, memory); });
    }
}

Board::Board(BoardOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Board::~Board() {
    Stop();
}

bool Board::Start(std::string& error) {
    std::lock_guard lock(impl_->lifecycle);
    if (impl_->started) {
        error = "the board was started before";
        return false;
    }
    impl_->started = impl_->Launch(error);
    return impl_->started;
}

void Board::Stop() {
    std::lock_guard lock(impl_->lifecycle);
    if (!impl_->started || impl_->stopped) {
        return;
    }
    impl_->stopped = true;
    impl_->Shutdown();
}

const std::string& Board::SlavePath() const {
    return impl_->pty.SlavePath();
}

std::vector<ReceivedMail> Board::Mails() const {
    return impl_->shared.Mails();
}

size_t Board::MailCount() const {
    return impl_->shared.MailCount();
}

uint64_t Board::BytesReceived() const {
    return impl_->shared.counters.bytesReceived;
}

uint64_t Board::BytesSent() const {
    return impl_->shared.counters.bytesSent;
}

std::vector<TimeSpan> Board::LineSpans() const {
    return impl_->shared.lineSpans.Spans();
}

std::vector<TimeSpan> Board::OwnTimeSpans() const {
    return impl_->shared.ownTime.Spans();
}

uint64_t Board::GarbledBytes() const {
    return impl_->shared.counters.garbledBytes;
}

uint64_t Board::DroppedFrames() const {
    return impl_->shared.counters.droppedFrames;
}

uint32_t Board::ExpectedBaudRate() const {
    return impl_->shared.ExpectedRate();
}

std::vector<uint32_t> Board::RateHistory() const {
    return impl_->shared.RateHistory();
}

Stage Board::CurrentStage() const {
    return impl_->shared.CurrentStage();
}

std::vector<uint8_t> Board::ReceivedImage() const {
    return impl_->shared.LastDownload();
}

void Board::SetReplyOverride(ReplyOverride hook) {
    impl_->shared.SetReplyOverride(std::move(hook));
}

std::vector<uint8_t> Board::ReadMemory(uint32_t address, uint32_t count) const {
    std::vector<uint8_t> bytes(count);
    impl_->shared.WithMemory([&](const MemoryModel& memory) { memory.Peek(address, bytes); });
    return bytes;
}

void Board::WriteMemory(uint32_t address, const std::vector<uint8_t>& bytes) {
    impl_->shared.WithMemory([&](MemoryModel& memory) { memory.Write(address, bytes); });
}

bool Board::WriteDump(const std::string& path) const {
    if (impl_->options.ombrel.enabled) {
        return WriteOmbrelFile(path, impl_->shared.LastDownload());
    }
    return impl_->shared.WithMemory(
        [&](const MemoryModel& memory) { return WriteIntelHex(path, memory); });
}

std::vector<WordWrite> Board::RegisterWrites() const {
    return impl_->AskKolt(std::vector<WordWrite>{},
                          [](const KoltLog& log) { return log.registerWrites; });
}

bool Board::WasWritten(uint32_t registerAddress) const {
    return std::ranges::any_of(RegisterWrites(), [registerAddress](const WordWrite& write) {
        return write.address == registerAddress;
    });
}

std::vector<WordWrite> Board::InfoBlockWrites() const {
    return impl_->AskKolt(std::vector<WordWrite>{},
                          [](const KoltLog& log) { return log.infoBlockWrites; });
}

uint64_t Board::FlashOverwrites() const {
    return impl_->shared.WithMemory(
        [](const MemoryModel& memory) { return memory.FlashOverwrites(); });
}

uint64_t Board::ProtectedWindowFaults() const {
    return impl_->AskArm(uint64_t{0},
                         [](const ArmMemory& arm) { return arm.ProtectedWindowFaults(); });
}

std::optional<uint32_t> Board::RestartAddress() const {
    return impl_->shared.RestartAddress();
}

} // namespace vtarget
