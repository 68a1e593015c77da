// The images ulvex takes: Intel HEX, ELF, Motorola S-record and raw binary.
// The library reads Intel HEX only, so every other format becomes a memory
// image here and is handed to it as a temporary Intel HEX file in a private
// directory, which is removed on every way out (RemoveTemporaryFiles).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulvex {

enum class ImageFormat : uint8_t { Hex, Elf, Srec, Bin };

// "hex", "elf", "srec" or "bin"; nullopt for anything else.
std::optional<ImageFormat> FormatNamed(std::string_view name);

// The format the file's first bytes show: the ELF magic, "S0".."S9" at the
// start of the first non-empty line, or ":" first; nullopt for none.
std::optional<ImageFormat> DetectFormat(std::string_view head);

// An image file as the user names it: its format (empty: by its content)
// and, for a raw binary, the address of its first byte.
struct ImageChoice {
    std::string path{};
    std::string format{};
    std::optional<uint32_t> base{};
};

// What is wrong with the format and the base ("bin" needs a base and only
// "bin" takes one), as a phrase such as "format bin without a base
// address", or "" when they go together.
std::string CheckImageChoice(const std::string& format, const std::optional<uint32_t>& base);

// Bytes at consecutive addresses, from one place of the file (`origin`:
// the segment's number in an ELF file, the line of an S-record).
struct Segment {
    uint32_t address = 0;
    std::vector<uint8_t> bytes{};
    uint32_t origin = 0;
};

// What a file sets, in address order once FinishImage took it.
struct MemoryImage {
    std::vector<Segment> segments{};
    const char* origin = "record"; // what an origin counts: "segment", "line"
    std::string error{};           // not empty: no image, and why
};

// Sorts the segments and refuses (with no segments left) an image without
// data, with two segments that write the same byte, with data at
// 0xFFFFFFFF (the library's images end below it) or wider than the
// library takes (256 MiB).
void FinishImage(MemoryImage& image);

// The loadable segments (PT_LOAD with file bytes) of an ELF file at their
// physical addresses, read with libelf. Not finished.
MemoryImage ReadElfImage(const std::string& path);

// The data records (S1, S2, S3) of a Motorola S-record text; S0, S5, S6,
// S7, S8 and S9 are checked and ignored. Not finished.
MemoryImage ParseSrec(std::string_view text);

// Intel HEX text of a finished image: a type 04 record wherever the upper
// 16 address bits change, 32 data bytes a record at most, an 01 record last.
std::string WriteHex(const MemoryImage& image);

// The Intel HEX file the library is to read for an image file: the file
// itself (as an absolute path) when it is Intel HEX, else a temporary one.
struct LibraryImage {
    std::string hexPath{};
    std::string error{}; // not empty: no file, and why (names the image)
};
LibraryImage PrepareImage(const ImageChoice& choice);

// Removes every temporary HEX file and its directory. Safe more than once,
// from any thread; the interrupt handlers call it before they leave, and it
// runs at exit.
void RemoveTemporaryFiles();

} // namespace ulvex
