#include "ombrel/OmbrelLoader.h"

#include "ombrel/OmbrelProtocol.h"

#include <algorithm>
#include <utility>

namespace vtarget {

namespace {

using std::chrono::milliseconds;

// Between two prompt bytes, so that the PC gets each as an arrival of its own.
constexpr auto kPromptSpacing = milliseconds(10);
// From the last block's answer to the run text: the received program starts
// up. Long enough that the PC has read the answer before, since an arrival
// holding more than the answer's four bytes is not taken for one.
constexpr auto kStartUpTime = milliseconds(100);
// Between the halves of a split answer.
constexpr auto kSplitGap = milliseconds(20);
// A line quiet this long sends the boot loader back to the application.
constexpr auto kPatience = milliseconds(3000);
// What precedes or follows an answer with the lead-byte and extra-byte faults.
constexpr uint8_t kStrayByte = 0x00;

} // namespace

OmbrelLoaderPhase::OmbrelLoaderPhase(const OmbrelOptions& options, BoardShared& shared,
                                     Clock::time_point now)
    : options_(options), shared_(shared), faultsLeft_(options.faultCount), lastActivity_(now) {
    auto due = now;
    for (const char prompt : options_.prompt) {
        due += kPromptSpacing;
        outbox_.push_back({due, {static_cast<uint8_t>(prompt)}, Kind::Prompt});
    }
}

void OmbrelLoaderPhase::Receive(const RxByte& byte, std::vector<Reply>& replies) {
    lastActivity_ = byte.due;
    if (frame_.empty()) {
        if (byte.value != kOmbrelFrameStart) {
            return; // between frames, e.g. the PC's further reset sequences
        }
        // The PC has seen the prompt: stop sending it.
        std::erase_if(outbox_, [](const Pending& p) { return p.kind == Kind::Prompt; });
    }
    frame_.push_back(byte.value);
    if (frame_.size() < kOmbrelHeaderSize) {
        return;
    }
    const size_t count = frame_[kOmbrelHeaderSize - 1];
    if (count == 0 || count > kOmbrelMaxData) {
        DropFrame();
        return;
    }
    if (frame_.size() == kOmbrelHeaderSize + count + 1) {
        TakeFrame(byte.due, replies);
    }
}

void OmbrelLoaderPhase::TakeFrame(Clock::time_point at, std::vector<Reply>& replies) {
    if (OmbrelCrc8(frame_) != 0) {
        DropFrame();
        return;
    }
    const std::vector<uint8_t> frame = std::exchange(frame_, {});
    const auto block = static_cast<uint16_t>(frame[1] << 8 | frame[2]);
    const OmbrelFault fault = FaultFor(block);
    ReceivedMail mail{at, 0, {frame.begin() + 1, frame.end() - 1}};
    const auto override = shared_.OnMail(mail);
    if (fault == OmbrelFault::Silent) {
        return; // deaf to this frame: nothing stored, nothing answered
    }
    const bool answered =
        Store(block, std::span(frame).subspan(kOmbrelHeaderSize, frame.size() - 5), at);
    if (override) {
        if (!override->empty()) {
            replies.push_back({*override, std::nullopt});
        }
        return;
    }
    if (!answered) {
        ++shared_.counters.droppedFrames;
        return;
    }
    Answer(block, fault, at, replies);
}

OmbrelFault OmbrelLoaderPhase::FaultFor(uint16_t block) {
    if (options_.fault == OmbrelFault::None || block != options_.faultBlock || faultsLeft_ <= 0) {
        return OmbrelFault::None;
    }
    --faultsLeft_;
    return options_.fault;
}

bool OmbrelLoaderPhase::Store(uint16_t block, std::span<const uint8_t> data, Clock::time_point at) {
    if (complete_) {
        return block == kOmbrelLastBlock;
    }
    const auto expected = static_cast<uint16_t>(blocksStored_);
    if (block != expected && block != kOmbrelLastBlock) {
        return blocksStored_ > 0 && block == static_cast<uint16_t>(blocksStored_ - 1);
    }
    file_.insert(file_.end(), data.begin(), data.end());
    ++blocksStored_;
    if (block == kOmbrelLastBlock) {
        complete_ = true;
        shared_.RecordDownload(file_);
        const std::string& text = options_.runText;
        outbox_.push_back({at + kStartUpTime, {text.begin(), text.end()}, Kind::Run});
    }
    return true;
}

void OmbrelLoaderPhase::Answer(uint16_t block, OmbrelFault fault, Clock::time_point at,
                               std::vector<Reply>& replies) {
    std::vector<uint8_t> answer = OmbrelAcknowledgement(block);
    switch (fault) {
    case OmbrelFault::None:
        break;
    case OmbrelFault::BadCrc:
        answer.back() ^= 0xFF;
        break;
    case OmbrelFault::WrongBlock:
        answer = OmbrelAcknowledgement(static_cast<uint16_t>(block + 1));
        break;
    case OmbrelFault::Silent:
        return; // not reached: a silent device does not take the frame
    case OmbrelFault::LeadByte:
        answer.insert(answer.begin(), kStrayByte);
        break;
    case OmbrelFault::ExtraByte:
        answer.push_back(kStrayByte);
        break;
    case OmbrelFault::SplitAnswer:
        outbox_.push_back({at + kSplitGap, {answer.begin() + 2, answer.end()}, Kind::Answer});
        answer.resize(2);
        break;
    }
    replies.push_back({std::move(answer), std::nullopt});
}

void OmbrelLoaderPhase::DropFrame() {
    frame_.clear();
    ++shared_.counters.droppedFrames;
}

void OmbrelLoaderPhase::LineQuiet(Clock::time_point /*now*/, std::vector<Reply>& /*replies*/) {
    DropFrame();
}

std::optional<Clock::time_point> OmbrelLoaderPhase::NextDeadline() const {
    auto deadline = lastActivity_ + kPatience;
    for (const Pending& pending : outbox_) {
        deadline = std::min(deadline, pending.due);
    }
    return deadline;
}

void OmbrelLoaderPhase::OnTimer(Clock::time_point now, std::vector<Reply>& replies) {
    SendDue(now, replies);
    if (outbox_.empty() && now >= lastActivity_ + kPatience) {
        ended_ = true;
    }
}

void OmbrelLoaderPhase::SendDue(Clock::time_point now, std::vector<Reply>& replies) {
    std::ranges::stable_sort(outbox_, {}, &Pending::due);
    while (!outbox_.empty() && outbox_.front().due <= now) {
        Pending pending = std::move(outbox_.front());
        outbox_.erase(outbox_.begin());
        if (pending.kind == Kind::Run) {
            // The received program runs: whoever sees its text finds the dump written.
            shared_.Restarted(0);
            ended_ = true;
        }
        if (!pending.bytes.empty()) {
            replies.push_back({std::move(pending.bytes), std::nullopt});
        }
    }
}

std::optional<Stage> OmbrelLoaderPhase::Handover() const {
    if (!ended_) {
        return std::nullopt;
    }
    return Stage::Monitor;
}

} // namespace vtarget
