// Many boards at once, each with a programming session of its own: the
// board in this process, its COM port, the image it gets, and the checks of
// how its session ended.
#pragma once

#include "PtyPeer.h"
#include "TestFiles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <vtarget/Board.h>

namespace reliability {

// A target type, where its images lie and the bus-mode word of its sessions.
struct Family {
    int targetType;
    uint32_t imageBase;
    uint32_t busmode = 2;
};

// Monitor starts of a second or less, and one each of the slower chip boot
// loaders, whose monitor start narrows the trace.
const std::vector<Family>& QuickFamilies();

class Station {
  public:
    // Writes the image into dir and maps the COM port to the board's link.
    // Environment changes are not thread-safe: build every station before
    // any session starts.
    Station(const Family& family, uint16_t sessionid, unsigned comport,
            const testfiles::TempDir& dir);

    // Starts the board in its boot loader.
    bool StartBoard(std::string& error);
    // FlashLoader for this station's board and image; its result.
    uint32_t StartSession() const;

    uint16_t Id() const { return id_; }
    int TargetType() const { return family_.targetType; }
    const std::string& SlavePath() const { return board_->SlavePath(); }
    vtarget::Board& Board() { return *board_; }
    // Whether the board's memory holds the image where it belongs.
    bool MemoryHoldsImage() const;
    // The session's log file (it exists only with a non-zero debug mask).
    std::string LogPath() const;

  private:
    Family family_;
    uint16_t id_;
    unsigned comport_;
    std::string dir_;
    std::vector<uint8_t> image_;
    std::string hex_;
    std::unique_ptr<vtarget::Board> board_;
    std::unique_ptr<ComPortMapping> mapping_;
};

// Stations for the families in turn, session ids from firstId, ports from
// firstPort.
std::vector<std::unique_ptr<Station>>
MakeStations(size_t count, uint16_t firstId, unsigned firstPort, const testfiles::TempDir& dir);

} // namespace reliability
