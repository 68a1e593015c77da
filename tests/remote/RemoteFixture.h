// Fixture of the remote-port tests: a virtual board in this process whose
// pseudo-terminal a real ser2net serves on 127.0.0.1, mapped to the
// library's COM port as rfc2217:// (or socket://) URL.
#pragma once

#include "BoardFixture.h"
#include "Ser2net.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class RemoteBoardTest : public BoardTest {
  protected:
    static constexpr uint32_t kDuplex = 2;
    static constexpr uint32_t kWorkRate = 921600;

    void TearDown() override {
        remap_.reset();
        server_.reset();
        BoardTest::TearDown();
    }

    // Starts the board and serves its line through ser2net as COM kPort.
    void ServeBoard(vtarget::BoardOptions options,
                    const std::string& accepter = "telnet(rfc2217)") {
        StartBoard(options);
        server_ = std::make_unique<Ser2net>(*dir_, Board().SlavePath(), accepter);
        ASSERT_TRUE(server_->Listening()) << server_->Error();
        MapPort(server_->Url());
    }

    // ULVEX_COM<kPort> names the URL from now on.
    void MapPort(const std::string& url) {
        remap_.reset();
        remap_ = std::make_unique<ComPortMapping>(kPort, url);
    }

    std::vector<uint16_t> RunSession(uint32_t type, const std::string& hex, uint16_t id,
                                     std::chrono::seconds timeout = std::chrono::seconds(60)) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, timeout));
        return CodesOf(id);
    }

    std::unique_ptr<Ser2net> server_;
    std::unique_ptr<ComPortMapping> remap_;
};
