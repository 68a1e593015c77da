// What the window makes of the device's bytes, one arrival (the bytes one
// receive event delivers) at a time. Before the boot loader is entered it
// counts consecutive ">" prompts. After that an acknowledgement (7Eh, block
// number high and low byte, CRC-8) is recognised only when its "~" starts
// an arrival and exactly four bytes are gathered with a CRC of 0; while the
// window waits for the device's final text, every byte joins that text.
#pragma once

#include "Crc8.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ombrel {

enum class ReceiveState { Idle = 0, GatheringAck = 1, AckReady = 2, GatheringText = 3 };

class DeviceReceiver {
  public:
    // A new load: idle, no prompts counted, boot loader not entered.
    void Restart() { *this = DeviceReceiver(); }

    void OnArrival(std::span<const uint8_t> bytes) {
        if (!inLoader_) {
            CountPrompts(bytes);
            return;
        }
        if ((state_ == ReceiveState::Idle || state_ == ReceiveState::AckReady) && !bytes.empty() &&
            bytes.front() == kAckStart) {
            count_ = 0;
            crc_ = 0;
            state_ = ReceiveState::GatheringAck;
        }
        if (state_ == ReceiveState::GatheringAck) {
            Gather(bytes);
        }
        if (state_ == ReceiveState::GatheringText) {
            AppendText(bytes);
        }
        count_ += bytes.size();
        if (state_ == ReceiveState::GatheringAck && count_ >= kAckSize) {
            Conclude();
        }
    }

    int PromptCount() const { return promptCount_; }
    bool InLoader() const { return inLoader_; }
    void EnterLoader() { inLoader_ = true; }

    ReceiveState State() const { return state_; }
    uint16_t AcknowledgedBlock() const { return acknowledgedBlock_; }

    // Takes a ready acknowledgement: true once for each, and idle again.
    bool TakeAcknowledgement() {
        if (state_ != ReceiveState::AckReady) {
            return false;
        }
        state_ = ReceiveState::Idle;
        return true;
    }

    // From now on every byte joins the text, which starts empty.
    void GatherText() {
        state_ = ReceiveState::GatheringText;
        text_.clear();
    }
    void ClearText() { text_.clear(); }

    // Whether the text, without the blanks and control characters around it,
    // holds the wanted one in any case of letters.
    bool TextContains(std::string_view wanted) const {
        const std::string_view text = Trimmed(text_);
        if (wanted.empty()) {
            return true;
        }
        for (size_t at = 0; at + wanted.size() <= text.size(); ++at) {
            if (SameLetters(text.substr(at, wanted.size()), wanted)) {
                return true;
            }
        }
        return false;
    }

  private:
    static constexpr uint8_t kPrompt = '>';
    static constexpr uint8_t kAckStart = '~';
    static constexpr size_t kAckSize = 4;
    // The text a device may send is short; a device that floods the line
    // keeps only the latest bytes here.
    static constexpr size_t kMaxText = 64 * 1024;

    void CountPrompts(std::span<const uint8_t> bytes) {
        for (const uint8_t byte : bytes) {
            promptCount_ = byte == kPrompt ? promptCount_ + 1 : 0;
        }
    }

    void Gather(std::span<const uint8_t> bytes) {
        size_t at = count_;
        for (const uint8_t byte : bytes) {
            if (at < kAckSize) {
                frame_[at] = byte;
            }
            ++at;
            crc_ = Crc8Update(crc_, byte);
        }
    }

    // Four bytes make an acknowledgement if their CRC is 0. More than four
    // drop the frame, so that the next arrival starting with "~" is taken.
    void Conclude() {
        if (count_ != kAckSize || crc_ != 0) {
            state_ = ReceiveState::Idle;
            return;
        }
        acknowledgedBlock_ = static_cast<uint16_t>(frame_[1] << 8 | frame_[2]);
        state_ = ReceiveState::AckReady;
    }

    void AppendText(std::span<const uint8_t> bytes) {
        text_.append(bytes.begin(), bytes.end());
        if (text_.size() > kMaxText) {
            text_.erase(0, text_.size() - kMaxText);
        }
    }

    static bool IsBlankOrControl(char c) { return static_cast<uint8_t>(c) <= ' '; }

    static std::string_view Trimmed(std::string_view text) {
        while (!text.empty() && IsBlankOrControl(text.front())) {
            text.remove_prefix(1);
        }
        while (!text.empty() && IsBlankOrControl(text.back())) {
            text.remove_suffix(1);
        }
        return text;
    }

    static char Lower(char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }

    static bool SameLetters(std::string_view a, std::string_view b) {
        for (size_t i = 0; i < a.size(); ++i) {
            if (Lower(a[i]) != Lower(b[i])) {
                return false;
            }
        }
        return true;
    }

    bool inLoader_ = false;
    int promptCount_ = 0;
    ReceiveState state_ = ReceiveState::Idle;
    std::array<uint8_t, kAckSize> frame_{};
    uint64_t count_ = 0;
    uint8_t crc_ = 0;
    uint16_t acknowledgedBlock_ = 0;
    std::string text_;
};

} // namespace ombrel
