#include "monitor/Monitor.h"

#include "memory/atmega/AtmegaAddressing.h"
#include "monitor/Bytes.h"
#include "monitor/MailLink.h"
#include "monitor/Primitives.h"

#include <zlib.h>

namespace vtarget {

namespace {

// Requests with an address and a count put them here, data follows.
constexpr size_t kAddressAt = 1;
constexpr size_t kCountAt = 5;
constexpr size_t kDataAt = 7;

// The serial unit's clock register of the chips that boot at 8600 baud, and
// the word that sets it to 9600.
constexpr uint32_t kSerialClockRegister = 0xFFE326;
constexpr uint16_t kClockFor9600 = 0x0008;

uint16_t CountOf(std::span<const uint8_t> payload) {
    return GetLe16(payload, kCountAt);
}

uint32_t AddressOf(std::span<const uint8_t> payload) {
    return GetLe32(payload, kAddressAt);
}

// Bytes in start..end inclusive; an end below the start is an empty range.
uint64_t RangeLength(std::span<const uint8_t> payload) {
    const uint32_t start = GetLe32(payload, 1);
    const uint32_t end = GetLe32(payload, 5);
    return end < start ? 0 : uint64_t{end} - start + 1;
}

MonitorOutcome Answer(std::vector<uint8_t> payload) {
    return MonitorOutcome{std::move(payload), std::nullopt};
}

MonitorOutcome Status(uint8_t request, bool ok) {
    return Answer({AnswerCode(request), static_cast<uint8_t>(ok ? 1 : 0)});
}

MonitorOutcome Value32(uint8_t request, uint32_t value) {
    std::vector<uint8_t> payload{AnswerCode(request)};
    PutLe32(payload, value);
    return Answer(std::move(payload));
}

} // namespace

Monitor::Monitor(const MonitorSettings& settings) : settings_(settings) {}

std::optional<Monitor::Shape> Monitor::ShapeOf(uint8_t code) const {
    const bool eightBit = !CountsInWords();
    switch (code) {
    case kReadMem8Req:
    case kReadMem16Req:
        return Shape{7, 0};
    case kWriteMem8Req:
        return Shape{7, 1};
    case kWriteMem16Req:
    case kProgExt2Flash8Req:
        return Shape{7, 2};
    case kProgIntFlashReq:
    case kProgExtFlashReq:
        return Shape{7, eightBit ? 1u : 2u};
    case kExtSectorEraseReq:
    case kExtBlockEraseReq:
    case kSetConfigReq:
    case kGoFromAddressReq:
    case kSetBaudrateReq:
        return Shape{5, 0};
    case kExtChipEraseReq:
    case kExtFlashTypeReq:
    case kGetVersionReq:
        return Shape{1, 0};
    case kCalcChecksumReq:
    case kCalcCrc32Req:
        return Shape{9, 0};
    case kSetFlashProgCmdAddressReq:
        return Shape{13, 0};
    default:
        return std::nullopt; // answers (even codes) and unknown codes
    }
}

bool Monitor::Accepts(std::span<const uint8_t> payload) const {
    if (payload.empty()) {
        return false;
    }
    const auto shape = ShapeOf(payload[0]);
    if (!shape || payload.size() < shape->fixed) {
        return false;
    }
    if (shape->unit != 0 && payload.size() < kDataAt + size_t{CountOf(payload)} * shape->unit) {
        return false;
    }
    return WithinLimits(payload);
}

bool Monitor::WithinLimits(std::span<const uint8_t> payload) const {
    switch (payload[0]) {
    case kReadMem8Req:
        return 1 + size_t{CountOf(payload)} <= kMaxAnswerPayload;
    case kReadMem16Req:
        return 1 + 2 * size_t{CountOf(payload)} <= kMaxAnswerPayload;
    case kCalcChecksumReq:
        return RangeLength(payload) <= settings_.maxRange;
    case kCalcCrc32Req:
        return CrcBytes(payload).count <= settings_.maxRange;
    default:
        return true;
    }
}

MonitorOutcome Monitor::Execute(MemoryModel& memory, std::span<const uint8_t> payload,
                                bool refuse) {
    if (refuse && AnswersWithStatus(payload[0])) {
        return Status(payload[0], false);
    }
    MonitorOutcome outcome = Carry(memory, payload);
    if (StepsRate(payload)) {
        outcome.newBaudRate = kRateStepTarget;
    }
    return outcome;
}

bool Monitor::StepsRate(std::span<const uint8_t> payload) const {
    switch (settings_.rateStep) {
    case RateStep::ClockRegisterWrite:
        return payload[0] == kWriteMem16Req && AddressOf(payload) == kSerialClockRegister &&
               CountOf(payload) == 1 && GetLe16(payload, kDataAt) == kClockFor9600;
    case RateStep::SetConfig:
        return payload[0] == kSetConfigReq;
    case RateStep::None:
        break;
    }
    return false;
}

MonitorOutcome Monitor::Carry(MemoryModel& memory, std::span<const uint8_t> payload) {
    switch (payload[0]) {
    case kReadMem8Req:
    case kReadMem16Req:
        return ReadMemory(memory, payload);
    case kWriteMem8Req:
    case kWriteMem16Req:
        return WriteMemory(memory, payload);
    case kProgIntFlashReq:
        return Program(memory, ProgramPath::InternalFlash, payload);
    case kProgExtFlashReq:
        return Program(memory, ProgramPath::ExternalFlash, payload);
    case kProgExt2Flash8Req:
        return Program(memory, ProgramPath::ExternalPair, payload);
    case kExtSectorEraseReq:
        return Erase(memory, EraseScope::Sector, payload);
    case kExtBlockEraseReq:
        return Erase(memory, EraseScope::Block, payload);
    case kExtChipEraseReq:
        return Erase(memory, EraseScope::Chip, payload);
    case kExtFlashTypeReq:
        return FlashType();
    case kCalcChecksumReq:
        return Checksum(memory, payload);
    case kCalcCrc32Req:
        return Crc32(memory, payload);
    case kSetConfigReq:
        return SetConfig(payload);
    case kSetFlashProgCmdAddressReq:
        return SetProgCmdAddresses(memory, payload);
    case kGoFromAddressReq:
        return GoFromAddress(payload);
    case kSetBaudrateReq:
        return SetBaudRate(payload);
    default: // Accepts() lets no other code through
        return Version();
    }
}

MonitorOutcome Monitor::ReadMemory(const MemoryModel& memory, std::span<const uint8_t> payload) {
    const size_t unit = payload[0] == kReadMem8Req ? 1 : 2;
    std::vector<uint8_t> answer(1 + CountOf(payload) * unit);
    answer[0] = AnswerCode(payload[0]);
    memory.Read(AddressOf(payload), std::span(answer).subspan(1));
    return Answer(std::move(answer));
}

MonitorOutcome Monitor::WriteMemory(MemoryModel& memory, std::span<const uint8_t> payload) {
    const size_t unit = payload[0] == kWriteMem8Req ? 1 : 2;
    memory.Write(AddressOf(payload), payload.subspan(kDataAt, CountOf(payload) * unit));
    return Status(payload[0], true);
}

MonitorOutcome Monitor::Program(MemoryModel& memory, ProgramPath path,
                                std::span<const uint8_t> payload) const {
    const size_t unit = ShapeOf(payload[0])->unit;
    const auto data = payload.subspan(kDataAt, CountOf(payload) * unit);
    std::optional<uint32_t> address = AddressOf(payload);
    if (IsAtmegaType(settings_.targetType) && path == ProgramPath::InternalFlash) {
        address = AtmegaByteAddress(*address);
    }
    return Status(payload[0], address && memory.Program(path, *address, data));
}

MonitorOutcome Monitor::Erase(MemoryModel& memory, EraseScope scope,
                              std::span<const uint8_t> payload) {
    const uint32_t address = scope == EraseScope::Chip ? 0 : AddressOf(payload);
    return Status(payload[0], memory.Erase(scope, address));
}

MonitorOutcome Monitor::FlashType() const {
    std::vector<uint8_t> answer{AnswerCode(kExtFlashTypeReq)};
    PutLe16(answer, settings_.flashManufacturer);
    PutLe16(answer, settings_.flashDevice);
    return Answer(std::move(answer));
}

MonitorOutcome Monitor::Checksum(const MemoryModel& memory, std::span<const uint8_t> payload) {
    uint32_t sum = 0;
    memory.Visit(GetLe32(payload, 1), RangeLength(payload), [&sum](auto piece) {
        for (uint8_t b : piece) {
            sum += b;
        }
    });
    return Value32(payload[0], sum);
}

bool Monitor::CountsInWords() const {
    // The MERV monitor works in bytes. Every other monitor, the ATmega boot
    // loader included, programs 16-bit words.
    const int type = settings_.targetType;
    return !(type == 3 || type == 4 || type == 8 || type == 9 || type == 16);
}

ByteRun Monitor::CrcBytes(std::span<const uint8_t> payload) const {
    const uint32_t first = GetLe32(payload, 1);
    if (IsAtmegaType(settings_.targetType)) {
        return AtmegaCrcBytes(first, GetLe32(payload, 5));
    }
    uint64_t length = RangeLength(payload);
    if (CountsInWords() && length % 2 == 1) {
        ++length; // the last address names a word: both of its bytes count
    }
    return {first, length};
}

MonitorOutcome Monitor::Crc32(const MemoryModel& memory, std::span<const uint8_t> payload) const {
    uLong crc = crc32(0L, Z_NULL, 0);
    const ByteRun bytes = CrcBytes(payload);
    memory.Visit(bytes.start, bytes.count, [&crc](auto piece) {
        crc = crc32(crc, piece.data(), static_cast<uInt>(piece.size()));
    });
    return Value32(payload[0], static_cast<uint32_t>(crc));
}

// The PC does not wait for an answer here: one could collide with its next
// request on the line.
MonitorOutcome Monitor::SetConfig(std::span<const uint8_t> payload) {
    config_ = GetLe32(payload, 1);
    return {};
}

MonitorOutcome Monitor::SetProgCmdAddresses(MemoryModel& memory, std::span<const uint8_t> payload) {
    for (size_t i = 0; i < progCmdAddresses_.size(); ++i) {
        progCmdAddresses_[i] = GetLe32(payload, 1 + 4 * i);
    }
    memory.SetCommandAddresses(progCmdAddresses_);
    return Status(payload[0], true);
}

// Restarting the board comes with the boot loader phases; until then the
// monitor only remembers where it was told to jump.
MonitorOutcome Monitor::GoFromAddress(std::span<const uint8_t> payload) {
    startAddress_ = AddressOf(payload);
    return Status(payload[0], true);
}

MonitorOutcome Monitor::SetBaudRate(std::span<const uint8_t> payload) {
    const uint32_t rate = GetLe32(payload, 1);
    if (rate == 0) {
        return Status(payload[0], false);
    }
    auto outcome = Status(payload[0], true);
    outcome.newBaudRate = rate;
    return outcome;
}

MonitorOutcome Monitor::Version() const {
    return Value32(kGetVersionReq, settings_.version);
}

} // namespace vtarget
