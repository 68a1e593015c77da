// Starting a mail-speaking program on the target: the chip and ARM boot
// loaders take a monitor image, the ML675001 boot ROM takes the monitor as
// Intel HEX text, and ATmega targets carry a boot loader that speaks mails
// already. Afterwards target and PC talk at the working rate.
#pragma once

#include <cstdint>

// 0 when a mail-speaking program answers at the working rate with the
// access port open; otherwise 1, or for the ML675001 the code of its
// download exchange.
uint32_t StartMonitor(uint32_t comport, uint32_t busmode, uint32_t baudrate, uint32_t targettype);
// StartMonitor with the trace narrowed to the byte dumps while it runs when
// the debug mask asks for it (bit 4), restored to the debug mask afterwards.
uint32_t StartMonitorNarrowed(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                              uint32_t targettype);

// The chip boot loader's download of a binary monitor image, with pacing in
// tenths of a millisecond per byte (1..9). 0 done, 1 bad arguments, 2 no
// boot-loader byte, 3 no answer to the header, 4 no checksum answer, 5 wrong
// boot-loader byte, 7 send failure.
uint32_t BootDownload(uint32_t kind, uint32_t pacing);
// The ARM boot loader's download (kinds 3 and 6). 0 done, 1 bad kind, 3 no
// answer to the header, 4 no checksum answer, 5 boot loader not found, 7
// send failure, 8 header refused.
uint32_t ArmBootDownload(uint32_t kind);
constexpr uint32_t kArmImageMissing = 1; // also: the monitor file could not be loaded
// The ML675001 download exchange of Intel HEX text on the open port: 0 done,
// 1 time-out or read failure, 7 send failure.
uint32_t Ml675001Download(const uint8_t* bytes, uint32_t count);
// Opens the access port, runs the exchange and closes the port again.
uint32_t Ml675001OpenDownloadClose(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                                   const uint8_t* bytes, uint32_t count);
