// Block frames, PC to device: 7Eh, block number high and low byte, n, the
// n data bytes (1 to 128), and the CRC-8 of all that. Blocks are numbered
// from 0; the one that reaches the end of the file is numbered FF00h.
#pragma once

#include "Crc8.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

namespace ombrel {

inline constexpr char kFrameStart = '~';
inline constexpr qsizetype kBlockSize = 128;
inline constexpr uint16_t kLastBlockNumber = 0xFF00;

// The whole frame, its CRC as the last byte.
inline QByteArray BlockFrame(uint16_t number, QByteArrayView data) {
    QByteArray frame;
    frame.reserve(data.size() + 5);
    frame.append(kFrameStart);
    frame.append(static_cast<char>(number >> 8));
    frame.append(static_cast<char>(number & 0xFF));
    frame.append(static_cast<char>(data.size()));
    frame.append(data);
    uint8_t crc = 0;
    for (const char byte : frame) {
        crc = Crc8Update(crc, static_cast<uint8_t>(byte));
    }
    frame.append(static_cast<char>(crc));
    return frame;
}

} // namespace ombrel
