#include "boot/Ml675001RomPhase.h"

#include "MonitorFormat.h"
#include "boot/MonitorCheck.h"

namespace vtarget {

namespace {

constexpr uint8_t kSyncByte = 0x00;
constexpr uint8_t kSynchronised = 'y';
constexpr uint8_t kXoff = 0x13;
constexpr uint8_t kXon = 0x11;
constexpr uint8_t kLoaded = '>';
constexpr uint8_t kStartCommand = '1';
constexpr uint8_t kStarted = '.';
// Text that stops coming for this long is given up: the ROM waits for the
// next synchronisation.
constexpr auto kTextStallLimit = std::chrono::seconds(1);
// ':', then count, offset, type, 255 data bytes and the checksum in hex.
constexpr size_t kLongestRecord = 1 + 2 * (4 + 255 + 1);

} // namespace

Ml675001RomPhase::Ml675001RomPhase(BoardShared& shared, uint8_t monitorKind)
    : shared_(shared), monitorKind_(monitorKind) {}

std::optional<Clock::time_point> Ml675001RomPhase::NextDeadline() const {
    if (state_ != State::Text || handover_) {
        return std::nullopt;
    }
    return lastByte_ + kTextStallLimit;
}

void Ml675001RomPhase::OnTimer(Clock::time_point /*now*/, std::vector<Reply>& /*replies*/) {
    state_ = State::Sync;
}

void Ml675001RomPhase::Receive(const RxByte& byte, std::vector<Reply>& replies) {
    switch (state_) {
    case State::Sync:
        Synchronise(byte, replies);
        return;
    case State::Text:
        TakeText(byte, replies);
        return;
    case State::Loaded:
        // The PC sends the whole text before it looks for the '>', so the
        // '1' may come long after it; a fresh 0x00 starts another download.
        if (byte.value == kStartCommand) {
            Start(replies);
        } else {
            Synchronise(byte, replies);
        }
        return;
    }
}

void Ml675001RomPhase::Synchronise(const RxByte& byte, std::vector<Reply>& replies) {
    if (byte.value != kSyncByte) {
        return;
    }
    replies.push_back({{kSynchronised}, std::nullopt});
    state_ = State::Text;
    lastByte_ = byte.due;
    text_.clear();
    line_.clear();
    base_ = 0;
    loaded_.clear();
    loadedBytes_ = 0;
    intact_ = true;
    overrun_ = false;
}

// The PC goes on sending 0x00 until it has seen the 'y'; those are no text.
void Ml675001RomPhase::TakeText(const RxByte& byte, std::vector<Reply>& replies) {
    if (byte.value == kSyncByte) {
        return;
    }
    lastByte_ = byte.due;
    overrun_ = overrun_ || !byte.pcHonoursXoff;
    text_.push_back(byte.value);
    if (byte.value != '\n') {
        if (line_.size() > kLongestRecord) {
            intact_ = false; // no record is that long; keep the line short
            return;
        }
        line_ += static_cast<char>(byte.value);
        return;
    }
    if (!line_.empty() && line_.back() == '\r') {
        line_.pop_back();
    }
    if (!line_.empty()) {
        TakeRecord(replies);
    }
    line_.clear();
}

void Ml675001RomPhase::TakeRecord(std::vector<Reply>& replies) {
    replies.push_back({{kXoff}, std::nullopt});
    const auto record = ParseHexRecord(line_);
    if (!record) {
        intact_ = false;
    } else {
        Store(*record);
    }
    replies.push_back({{kXon}, std::nullopt});
    if (record && record->type == kHexEnd) {
        EndOfText(replies);
    }
}

void Ml675001RomPhase::Store(const HexRecord& record) {
    switch (record.type) {
    case kHexData:
        loadedBytes_ += record.data.size();
        loaded_[base_ + record.offset] = record.data;
        return;
    case kHexSegmentAddress:
        if (record.data.size() == 2) {
            base_ = static_cast<uint32_t>(record.data[0] << 8 | record.data[1]) << 4;
        }
        return;
    case kHexLinearAddress:
        if (record.data.size() == 2) {
            base_ = static_cast<uint32_t>(record.data[0] << 8 | record.data[1]) << 16;
        }
        return;
    default: // start addresses and the end record store nothing
        return;
    }
}

void Ml675001RomPhase::EndOfText(std::vector<Reply>& replies) {
    shared_.RecordDownload(text_);
    if (!intact_ || overrun_) {
        state_ = State::Sync;
        return;
    }
    StoreUserData();
    replies.push_back({{kLoaded}, std::nullopt});
    state_ = State::Loaded;
}

// A user's program (type 15) is loaded into the board's memory, where the
// dump shows it; a monitor is not, as with the other boot loaders.
void Ml675001RomPhase::StoreUserData() {
    if (StartsWithMonitorHeader(FirstLoadedBytes(), monitorKind_)) {
        return;
    }
    shared_.WithMemory([this](MemoryModel& memory) {
        for (const auto& [address, data] : loaded_) {
            memory.Write(address, data);
        }
    });
}

void Ml675001RomPhase::Start(std::vector<Reply>& replies) {
    replies.push_back({{kStarted}, std::nullopt});
    const auto first = FirstLoadedBytes();
    if (!StartsWithMonitorHeader(first, monitorKind_)) {
        state_ = State::Sync; // not a monitor: the ROM stays in charge
        return;
    }
    handover_ = StageAfterStart(first, monitorKind_, loadedBytes_);
}

// The data from the lowest address loaded, as far as they run without a
// gap and as far as a monitor header reaches.
std::vector<uint8_t> Ml675001RomPhase::FirstLoadedBytes() const {
    std::vector<uint8_t> bytes;
    if (loaded_.empty()) {
        return bytes;
    }
    const uint32_t start = loaded_.begin()->first;
    for (const auto& [address, data] : loaded_) {
        if (address != start + bytes.size() || bytes.size() >= monitors::kHeaderSize) {
            break;
        }
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    return bytes;
}

} // namespace vtarget
