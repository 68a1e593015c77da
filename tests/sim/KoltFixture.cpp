#include "KoltFixture.h"

vtarget::BoardOptions KoltTest::Kolt(int targetType) {
    auto options = RunningMonitor();
    options.targetType = targetType;
    return options;
}

int KoltTest::Write16(uint32_t address, uint16_t value) {
    return Confirm(Request(kWriteMem16).U32(address).U16(1).U16(value), kWriteMem16 + 1);
}

int KoltTest::Read16(uint32_t address) {
    const auto answer = Exchange(Request(kReadMem16).U32(address).U16(1));
    if (!answer || answer->size() != 3) {
        return -1;
    }
    return Le16At(*answer, 1);
}

std::vector<uint8_t> KoltTest::Read8(uint32_t address, uint16_t count) {
    const auto answer = Exchange(ReadMem8(address, count));
    if (!answer || answer->empty()) {
        return {};
    }
    return {answer->begin() + 1, answer->end()};
}

bool KoltTest::WaitNotBusy(uint16_t mask, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const int value = Read16(kController);
        if (value >= 0 && (value & mask) == 0) {
            return true;
        }
    }
    return false;
}

void KoltTest::EraseUnit(uint32_t unit, uint16_t command) {
    ASSERT_EQ(Write16(kController, command), 1);
    ASSERT_EQ(Write16(0x085554, 0xAAAA), 1);
    ASSERT_TRUE(WaitNotBusy(0x0020));
    ASSERT_EQ(Write16(0x08AAAA, 0x5555), 1);
    ASSERT_TRUE(WaitNotBusy(0x0020));
    ASSERT_EQ(Write16(unit, 0xFFFF), 1);
    ASSERT_TRUE(WaitNotBusy(0x0020));
    ASSERT_TRUE(WaitNotBusy(0x0100));
    ASSERT_EQ(Write16(kController, 0x0000), 1);
}

void KoltTest::EraseUnitFully(uint32_t unit) {
    const bool first = unit == 0x080000;
    EraseUnit(unit, first ? 0x000B : 0x0007);
    EraseUnit(unit, first ? 0x008B : 0x0087);
}

int KoltTest::ProgramWords(uint8_t code, uint32_t address, const std::vector<uint16_t>& words) {
    Request request(code);
    request.U32(address).U16(static_cast<uint16_t>(words.size()));
    for (uint16_t word : words) {
        request.U16(word);
    }
    return Confirm(request, static_cast<uint8_t>(code + 1));
}
