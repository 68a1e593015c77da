#include "monitor/MonitorPhase.h"

#include "monitor/Primitives.h"

namespace vtarget {

MonitorPhase::MonitorPhase(BoardShared& shared, FaultInjector& faults,
                           const MonitorSettings& settings)
    : shared_(shared), faults_(faults), monitor_(settings) {}

MailParser::FrameSink MonitorPhase::SinkFor(Clock::time_point at, std::vector<Reply>& replies) {
    return [this, at, &replies](const MailFrame& frame) { Handle(frame, at, replies); };
}

void MonitorPhase::Receive(const RxByte& byte, std::vector<Reply>& replies) {
    parser_.Feed(byte.value, SinkFor(byte.due, replies));
    CountParserDrops();
}

void MonitorPhase::LineQuiet(Clock::time_point now, std::vector<Reply>& replies) {
    parser_.Abandon(SinkFor(now, replies));
    CountParserDrops();
}

void MonitorPhase::CountParserDrops() {
    shared_.counters.droppedFrames += parser_.DroppedFrames() - parserDropsCounted_;
    parserDropsCounted_ = parser_.DroppedFrames();
}

void MonitorPhase::Handle(const MailFrame& frame, Clock::time_point at,
                          std::vector<Reply>& replies) {
    const auto own = OwnAnswer(frame.payload);
    if (!own && !monitor_.Accepts(frame.payload)) {
        ++shared_.counters.droppedFrames;
        return;
    }
    const uint64_t index = validMails_++;
    const auto override = shared_.OnMail({at, frame.sequence, frame.payload});
    if (faults_.SilentFor(index)) {
        if (override && !override->empty()) {
            replies.push_back({*override, std::nullopt});
        }
        return;
    }
    if (own) {
        replies.push_back({override.value_or(*own), std::nullopt});
        return;
    }
    Answer(frame, override, replies);
}

void MonitorPhase::Answer(const MailFrame& frame,
                          const std::optional<std::vector<uint8_t>>& override,
                          std::vector<Reply>& replies) {
    const bool refuse = AnswersWithStatus(frame.payload[0]) && faults_.RefuseConfirm();
    auto outcome = shared_.WithMemory(
        [&](MemoryModel& memory) { return monitor_.Execute(memory, frame.payload, refuse); });
    const auto restart =
        shared_.WithMemory([](MemoryModel& memory) { return memory.TakeRestart(); });
    if (restart) {
        shared_.Restarted(*restart);
    }
    if (override) {
        replies.push_back({*override, outcome.newBaudRate});
        return;
    }
    if (!outcome.answer) {
        // Unanswered, but a rate change still takes effect.
        if (outcome.newBaudRate) {
            replies.push_back({{}, outcome.newBaudRate});
        }
        return;
    }
    std::vector<uint8_t>& answer = *outcome.answer;
    if (!answer.empty() && faults_.WrongPrimitive()) {
        // The next answer code, wrapping from the last back to the first.
        answer[0] = static_cast<uint8_t>(answer[0] % kLastPrimitive + 2);
    }
    replies.push_back({BuildMail(frame.sequence, answer), outcome.newBaudRate});
}

} // namespace vtarget
