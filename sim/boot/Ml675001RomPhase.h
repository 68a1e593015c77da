// The boot ROM of the ML675001. It answers the PC's first 0x00 with 'y',
// then takes Intel HEX text, throttling the PC with XOFF after each record
// and XON once the record is stored. After the end record it answers '>';
// the PC's '1' is answered with '.' and starts the loaded data. Data that
// carry no monitor header leave the board in the ROM, ready for the next
// download (type 15 gets user files this way; their data go into the
// board's memory). Text that stops coming for a second is given up; a
// 0x00 then starts afresh.
//
// The PC must have XON/XOFF output flow control on while it sends: text
// that arrives while it is off counts as an overrun, and the ROM never
// answers '>' to it. Neither does it to a record that is malformed or
// whose checksum is wrong; it waits for the next synchronisation instead.
#pragma once

#include "boot/HexRecord.h"
#include "line/Phase.h"
#include "state/BoardShared.h"

#include <map>
#include <string>

namespace vtarget {

class Ml675001RomPhase final : public Phase {
  public:
    Ml675001RomPhase(BoardShared& shared, uint8_t monitorKind);

    void Receive(const RxByte& byte, std::vector<Reply>& replies) override;
    std::optional<Clock::time_point> NextDeadline() const override;
    void OnTimer(Clock::time_point now, std::vector<Reply>& replies) override;
    std::optional<Stage> Handover() const override { return handover_; }

  private:
    // Waiting for the first 0x00; taking text; waiting for the '1' after '>'.
    enum class State { Sync, Text, Loaded };

    void Synchronise(const RxByte& byte, std::vector<Reply>& replies);
    void TakeText(const RxByte& byte, std::vector<Reply>& replies);
    void TakeRecord(std::vector<Reply>& replies);
    void Store(const HexRecord& record);
    void EndOfText(std::vector<Reply>& replies);
    void StoreUserData();
    void Start(std::vector<Reply>& replies);
    std::vector<uint8_t> FirstLoadedBytes() const;

    BoardShared& shared_;
    uint8_t monitorKind_;
    State state_ = State::Sync;
    Clock::time_point lastByte_;
    std::vector<uint8_t> text_;                       // every text byte of this download
    std::string line_;                                // the record being received
    uint32_t base_ = 0;                               // from the extended address records
    std::map<uint32_t, std::vector<uint8_t>> loaded_; // data records by address
    size_t loadedBytes_ = 0;
    bool intact_ = true;   // every record well-formed with a right checksum
    bool overrun_ = false; // text came while the PC ignored XOFF
    std::optional<Stage> handover_;
};

} // namespace vtarget
