// Feeds the MERV-A memory model arbitrary sequences of the accesses the
// monitor makes on the PC's behalf: memory reads and writes, programming,
// CRC walks and restarts, at addresses near the flash's borders, registers
// and command addresses or anywhere. Checks that every access stays in
// bounds and answers in full, that programming only clears bits inside the
// flash, and that memory writes never store into the flash cells.
#include "memory/merv/MervMemory.h"

#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_vtarget_merv: %s\n", what);
        abort();
    }
}

// Addresses where the model changes behaviour.
constexpr uint32_t kNearby[] = {0x0000, 0x0002,  0x5555,  0x8000,  0xAAAA,     0xAC00,
                                0xFF67, 0x20000, 0x40000, 0x5FFF0, 0xFFFFFFF0, 0x60000};

class Input {
  public:
    explicit Input(std::span<const uint8_t> data) : data_(data) {}
    bool Empty() const { return data_.empty(); }
    uint8_t Byte() {
        if (data_.empty()) {
            return 0;
        }
        const uint8_t b = data_.front();
        data_ = data_.subspan(1);
        return b;
    }
    // Mostly near an address of interest, sometimes anywhere.
    uint32_t Address() {
        const uint8_t pick = Byte();
        if (pick < 0xF0) {
            return kNearby[pick % std::size(kNearby)] + Byte() % 32;
        }
        uint32_t address = 0;
        for (int i = 0; i < 4; ++i) {
            address = address << 8 | Byte();
        }
        return address;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& b : bytes) {
            b = Byte();
        }
        return bytes;
    }

  private:
    std::span<const uint8_t> data_;
};

void FuzzWrite(vtarget::MervMemory& memory, Input& in) {
    const uint32_t address = in.Address();
    const auto bytes = in.Bytes(in.Byte() % 8 + 1);
    std::vector<uint8_t> before(bytes.size());
    memory.Peek(address, before);
    memory.Write(address, bytes);
    std::vector<uint8_t> after(bytes.size());
    memory.Peek(address, after);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (vtarget::MervFlash::Contains(static_cast<uint32_t>(address + i))) {
            Check(after[i] == before[i] || after[i] == 0xFF, "a memory write stored into flash");
        }
    }
}

void FuzzProgram(vtarget::MervMemory& memory, Input& in) {
    const auto path = static_cast<vtarget::ProgramPath>(in.Byte() % 3);
    const uint32_t address = in.Address();
    const auto bytes = in.Bytes(in.Byte());
    std::vector<uint8_t> before(bytes.size());
    memory.Peek(address, before);
    if (!memory.Program(path, address, bytes)) {
        return;
    }
    Check(uint64_t{address} + bytes.size() <= vtarget::kMervFlashSize, "programmed past the end");
    std::vector<uint8_t> after(bytes.size());
    memory.Peek(address, after);
    for (size_t i = 0; i < bytes.size(); ++i) {
        Check(after[i] == (before[i] & bytes[i]), "programming broke the AND rule");
    }
}

void FuzzVisit(const vtarget::MervMemory& memory, Input& in) {
    const uint32_t address = in.Address();
    const uint64_t count = uint64_t{in.Byte()} << 10 | in.Byte();
    uint64_t seen = 0;
    memory.Visit(address, count, [&seen](std::span<const uint8_t> piece) { seen += piece.size(); });
    Check(seen == count, "visit did not cover the range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in({data, size});
    vtarget::FlashTiming timing;
    timing.step = timing.unitErase = {};
    vtarget::MervMemory memory(timing, std::nullopt);
    std::vector<uint8_t> out(300);
    while (!in.Empty()) {
        switch (in.Byte() % 5) {
        case 0:
            FuzzWrite(memory, in);
            break;
        case 1:
            FuzzProgram(memory, in);
            break;
        case 2:
            FuzzVisit(memory, in);
            break;
        case 3:
            memory.Read(in.Address(), std::span(out).first(in.Byte()));
            break;
        default:
            memory.TakeRestart();
            Check(memory.WrittenRanges().size() <= 4096, "too many written ranges");
            break;
        }
    }
    return 0;
}
