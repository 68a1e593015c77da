// The fixture of whole sessions on KOLT-family boards: FlashLoader against
// the virtual board from its boot loader to the restart, with images that
// srec_cat wrote, and the board's flash compared with the image afterwards.
#pragma once

#include "BoardFixture.h"
#include "PtyPeer.h"
#include "SessionImages.h"
#include "frame/ThreadContext.h"
#include "image/HexFile.h"
#include "link/MailPrimitives.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

namespace kolt_session {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kFlashBase = 0x080000;

// The image as the programmer sees it: lowest to highest address, gaps 0xFF.
inline std::vector<uint8_t> Flatten(const std::vector<Piece>& pieces, uint32_t start) {
    std::vector<uint8_t> image;
    for (const Piece& p : pieces) {
        const size_t end = p.address - start + p.bytes.size();
        if (image.size() < end) {
            image.resize(end, 0xFF);
        }
        std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + (p.address - start));
    }
    return image;
}

// 0x1800 bytes, a gap of 0x800, 0x1001 bytes: odd size, a blank stretch.
inline std::vector<Piece> GappedImage(uint32_t seed) {
    return {{kFlashBase, testfiles::RandomBytes(0x1800, seed)},
            {kFlashBase + 0x2000, testfiles::RandomBytes(0x1001, seed + 1)}};
}

constexpr uint16_t kText = TEXT_INFO_IND;

inline std::vector<uint16_t> Expected(std::initializer_list<uint16_t> identified,
                                      std::initializer_list<uint16_t> programmed) {
    std::vector<uint16_t> codes = {START_PROGRAM_IND, DOWNLOAD_SUCCESS_IND, PROGRAM_SIZE_IND,
                                   PROGRAM_OFFSET_IND};
    codes.insert(codes.end(), identified);
    codes.insert(codes.end(), programmed);
    codes.insert(codes.end(), {STOP_PROGRAM_IND});
    return codes;
}

} // namespace kolt_session

using namespace kolt_session;

class KoltSessionTest : public BoardTest {
  protected:
    // An Intel HEX file of the pieces, written by srec_cat.
    std::string HexImage(const std::string& name, const std::vector<Piece>& pieces) {
        return WriteHexImage(*dir_, name, pieces);
    }

    // Runs one session to its stop indication.
    std::vector<uint16_t> RunSession(uint32_t type, const std::string& hex, uint16_t id) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, std::chrono::seconds(120)));
        return CodesOf(id);
    }

    // The restart goes out unconfirmed as the session's last mail, so the
    // board may act on it just after the stop indication has arrived.
    std::optional<uint32_t> AwaitRestart() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!Board().RestartAddress() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return Board().RestartAddress();
    }

    void ExpectFlashHolds(const std::vector<uint8_t>& bytes, uint32_t address) {
        EXPECT_EQ(Board().ReadMemory(address, static_cast<uint32_t>(bytes.size())), bytes);
    }

    static std::vector<std::string> TextsOf(uint16_t id) {
        std::vector<std::string> texts;
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == TEXT_INFO_IND) {
                texts.push_back(i.text);
            }
        }
        return texts;
    }

    static uint32_t Le32(const std::vector<uint8_t>& p, size_t at) {
        return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t{p[at + 3]} << 24;
    }

    // The first two 32-bit arguments of every request of one primitive the
    // board received, in order.
    std::vector<std::pair<uint32_t, uint32_t>> RequestsOf(uint8_t code) {
        std::vector<std::pair<uint32_t, uint32_t>> requests;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == code && p.size() >= 5) {
                requests.emplace_back(Le32(p, 1), p.size() >= 9 ? Le32(p, 5) : 0);
            }
        }
        return requests;
    }

    // Values written into one control register, in order.
    std::vector<uint16_t> WritesTo(uint32_t address) {
        std::vector<uint16_t> values;
        for (const auto& w : Board().RegisterWrites()) {
            if (w.address == address) {
                values.push_back(w.value);
            }
        }
        return values;
    }

    // The erase commands among the flash controller's commands.
    std::vector<uint16_t> EraseCommands() {
        std::vector<uint16_t> commands;
        for (uint16_t value : WritesTo(kFlashControl)) {
            if (value == 0x000B || value == 0x0007 || value == 0x008B || value == 0x0087) {
                commands.push_back(value);
            }
        }
        return commands;
    }

    static constexpr uint32_t kFlashControl = 0xFFE130;
    static constexpr uint32_t kFlashConfig = 0xFFE124;
};
