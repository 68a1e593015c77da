#include "HostileHex.h"

#include "TestFiles.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace reliability {

namespace {

constexpr size_t kRecordBytes = 16;

void AppendByte(std::string& text, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

// The byte that pass `pass` writes at `offset`: every pass differs.
uint8_t PassByte(size_t pass, uint32_t offset) {
    return static_cast<uint8_t>(pass * 7 + offset * 13 + (offset >> 8));
}

void Run(const std::string& command) {
    const auto result = testfiles::RunCommand(command);
    if (result.exitCode != 0) {
        throw std::runtime_error(command + ": " + result.output);
    }
}

} // namespace

std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::string text = ":";
    uint8_t sum = 0;
    auto add = [&](uint8_t byte) {
        AppendByte(text, byte);
        sum = static_cast<uint8_t>(sum + byte);
    };
    add(static_cast<uint8_t>(data.size()));
    add(static_cast<uint8_t>(address >> 8));
    add(static_cast<uint8_t>(address));
    add(type);
    for (uint8_t byte : data) {
        add(byte);
    }
    AppendByte(text, static_cast<uint8_t>(-sum));
    return text;
}

std::vector<uint8_t> WriteCyclingRecords(const std::string& path, size_t count, uint32_t span,
                                         char separator) {
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wb"));
    if (!file) {
        throw std::runtime_error("cannot create " + path);
    }
    std::vector<uint8_t> image(span, 0xFF);
    std::vector<uint8_t> data(kRecordBytes);
    const size_t recordsPerPass = span / kRecordBytes;
    for (size_t i = 0; i < count; ++i) {
        const size_t pass = i / recordsPerPass;
        const auto address = static_cast<uint32_t>((i % recordsPerPass) * kRecordBytes);
        for (size_t k = 0; k < kRecordBytes; ++k) {
            const auto offset = static_cast<uint32_t>(address + k);
            data[k] = PassByte(pass, offset);
            image[offset] = data[k];
        }
        std::string text;
        if (address % 0x10000 == 0) {
            const uint16_t upper = static_cast<uint16_t>(address >> 16);
            text = HexRecord(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
            text.push_back(separator);
        }
        text += HexRecord(0, static_cast<uint16_t>(address), data);
        text.push_back(separator);
        fwrite(text.data(), 1, text.size(), file.get());
    }
    fputs(kEndRecord, file.get());
    if (ferror(file.get()) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
    return image;
}

void WriteSrecCatHex(const std::string& dir, const std::string& name, uint32_t address,
                     const std::vector<uint8_t>& bytes) {
    const std::string bin = dir + "/" + name + ".bin";
    testfiles::WriteBytes(bin, bytes);
    Run(std::string(ULVEX_SREC_CAT) + " '" + bin + "' -binary -offset " + std::to_string(address) +
        " -o '" + dir + "/" + name + "' -intel -address-length=4");
}

void WriteTwoPieces(const std::string& dir, const std::string& name, uint32_t high) {
    const std::string bin = dir + "/" + name + ".bin";
    testfiles::WriteBytes(bin, testfiles::RandomBytes(kRecordBytes, high));
    Run(std::string(ULVEX_SREC_CAT) + " '" + bin + "' -binary '" + bin + "' -binary -offset " +
        std::to_string(high) + " -o '" + dir + "/" + name + "' -intel -address-length=4");
}

} // namespace reliability
