// Vorn's settings: the option tokeniser, the option handler, reading
// Vorn.cfg and the command line, and the start banner and help screen.
#pragma once

#include <cstddef>
#include <cstdint>

// What one line of Vorn.cfg or one command-line argument turned out to be.
enum OptionKind : uint8_t {
    OPTION_NOTHING = 0,     // empty line, comment, one-character word
    OPTION_RANGE = 1,       // NAME=number-number
    OPTION_NUMBER = 2,      // NAME=number
    OPTION_TEXT = 3,        // NAME=text
    OPTION_FLAG = 4,        // a bare word of two or more characters
    OPTION_FILE = 5,        // a file name with none of the extensions below
    OPTION_BINARY_FILE = 6, // contains .BIN
    OPTION_HEX_FILE = 7,    // contains .HEX, .BSF or .HSF
    OPTION_SCRIPT_FILE = 8, // contains .SCR
};

// Names hold up to this many characters: file names are paths here, and a
// path cut short would name another file.
constexpr size_t kOptionNameMax = 255;
constexpr size_t kOptionValueMax = 80;

struct OptionToken {
    // Option names upper-cased; file names (kinds 5 to 8) as typed.
    char name[kOptionNameMax + 1] = {};
    uint8_t kind = OPTION_NOTHING;
    uint32_t first = 0;  // number after "="
    uint32_t second = 0; // number after "-" of a range
    char valueText[kOptionValueMax + 1] = {};
    bool nameTooLong = false; // the name did not fit; the token is kind 0
};

// DTR, RTS, BREAK and MONITORLOAD.
enum LineSetting : uint16_t {
    LINE_NOT_GIVEN = 0,
    LINE_ON = 1,
    LINE_OFF = 2,
};

constexpr size_t kRunFileNameSize = 256;

struct RunSettings {
    uint8_t comPort = 1;
    uint32_t busMode = 0;
    uint32_t baudRate = 115200;
    uint32_t targetType = 0;
    bool debugOn = false;
    uint8_t debugLevel = 0;
    uint32_t uploadStart = 0;
    uint32_t uploadEnd = 0;
    uint8_t uploadWidth = 0; // 0 none, 8 or 16
    bool verifyCrc = false;
    uint16_t dtr = LINE_NOT_GIVEN;
    uint16_t rts = LINE_NOT_GIVEN;
    uint16_t breakLine = LINE_NOT_GIVEN;
    uint16_t monitorLoad = LINE_NOT_GIVEN;
    char fileName[kRunFileNameSize] = {};
    char scriptName[kRunFileNameSize] = {};
};

// Tokenises one line or argument. Letters compare case-insensitively; file
// names keep the case they were typed in.
OptionToken TokeniseOption(const char* text);

// Applies one token to the settings, printing the messages for refused values
// and unknown options on standard output.
void ApplyOption(const OptionToken& token, RunSettings& settings);

// Reads configFile (normally "Vorn.cfg" in the working directory), then the
// arguments after the program name, applying each line and argument.
void ReadAllOptions(int argc, const char* const* argv, RunSettings& settings,
                    const char* configFile = "Vorn.cfg");

// libraryVersion: FLoaderDLLVersion(), major in the upper 16 bits.
void PrintBanner(uint32_t libraryVersion);
void PrintHelp();
