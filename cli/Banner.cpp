// Vorn's start banner and help screen, printed to standard output.
#include "Options.h"

#include <cstdio>

namespace {

#ifdef _WIN32
// Box-drawing characters of code page 437, which a Windows console shows
// through its OEM code page.
constexpr const char* kTopLeft = "\xDA";
constexpr const char* kTopRight = "\xBF";
constexpr const char* kBottomLeft = "\xC0";
constexpr const char* kBottomRight = "\xD9";
constexpr const char* kHorizontal = "\xC4";
constexpr const char* kVertical = "\xB3";
#else
// Box-drawing characters in UTF-8.
constexpr const char* kTopLeft = "\xE2\x94\x8C";     // U+250C
constexpr const char* kTopRight = "\xE2\x94\x90";    // U+2510
constexpr const char* kBottomLeft = "\xE2\x94\x94";  // U+2514
constexpr const char* kBottomRight = "\xE2\x94\x98"; // U+2518
constexpr const char* kHorizontal = "\xE2\x94\x80";  // U+2500
constexpr const char* kVertical = "\xE2\x94\x82";    // U+2502
#endif

// Columns between the box's left and right edges (79 in all).
constexpr int kBoxInside = 77;

constexpr const char* kProgramVersion = "V3.38";
constexpr const char* kBuildDate = "Yan 19 2008";
constexpr const char* kBuildTime = "11:29:13";

void PrintBoxLine(const char* left, const char* fill, const char* right) {
    printf("%s", left);
    for (int i = 0; i < kBoxInside; ++i) {
        printf("%s", fill);
    }
    printf("%s\n", right);
}

// " Vorn", blanks, the version and one blank between the edges.
void PrintTitleLine() {
    const int nameWidth = kBoxInside - 1 - 5 - 1;
    printf("%s %-*s%s %s\n", kVertical, nameWidth, "Vorn", kProgramVersion, kVertical);
}

constexpr const char* kRule =
    " -----------------------------------------------------------------------------";
constexpr const char* kInUseSectors = "                 Program only in-use-sectors.";

constexpr const char* kHelpLines[] = {
    kRule,
    " VORN.EXE <FILENAME> <OPTION>",
    kRule,
    " FILENAME: Intel hex format.",
    kRule,
    " OPTION:",
    " -------",
    " COMPORT   : COMPORT=<x>",
    "             1 : comport 1",
    "             n : comport n    n=1..255",
    "",
    " BAUDRATE  : BAUDRATE=<x>",
    "             9600, 19200, 57600, 115200, (230400 only KOLT-A & ATmega64/128)",
    "",
    " BUSMODE   : BUSMODE=<x>",
    "             1 : Non duplex bus",
    "             2 : Duplex bus",
    "",
    " TARGET    : TARGET=<x>",
    "             0 : KOLT-A Internal flash           (10.368MHz)",
    "             1 : KOLT-A External flash           (10.368MHz)",
    "             2 : KOLT-A 2x8bits External flash   (10.368MHz)",
    "            13 : KOLT-A External flash           (10.368MHz)",
    kInUseSectors,
    "            20 : KOLT-A Internal flash           (12.288MHz)",
    "            21 : KOLT-A External flash           (12.288MHz)",
    "            23 : KOLT-A External flash           (12.288MHz)",
    kInUseSectors,
    "             5 : KOLT-A Internal flash           (9.216MHz)",
    "             6 : KOLT-A External flash           (9.216MHz)",
    "             7 : KOLT-A 2x8bits External flash   (9.216MHz)",
    "            11 : NILA-A Internal flash          (10.368MHz)",
    "            12 : ORSK-A Internal flash          (10.368MHz)",
    "            19 : PELD-A",
    "             3 : MERV-A Internal flash           (10.368MHz)",
    "            16 : MERV-A Internal flash     (Read protection)",
    "            14 : ML675001 External Flash",
    "            15 : ML675001 Internal RAM",
    "            10 : ATmega64/128  (boot baudrate = 115200)",
    "            17 : ATmega64/128  (boot baudrate = 115200)",
    "            18 : S3c44B0X",
    "            22 : S3c44B0X external uart",
    "",
    "",
    " DEBUG     : DEBUG",
    "             Enable log-file (Session_0.log)",
    "",
    " UPLOAD    : UPLOAD=<StartAddr>-<EndAddr>  <filename>",
    " UPLOAD16  : UPLOAD16=<StartAddr>-<EndAddr>  <filename>  (16 bits data)",
    "",
    " VERIFYCRC : VERIFYCRC <filename>",
    kRule,
    " OPTIONS and FILENAMES can be written in configuration file (VORN.CFG)",
    " or on command line.",
    " Command line option overrules same option in configuration file.",
    kRule,
    " Ex:",
    " VORN.EXE myprog.hex comport=2 target=2",
    " VORN.EXE upload=80000-fffff uploadcode.bin",
    " VORN.EXE VerifyCrc Myprog.Hex",
    kRule,
};

// Each help line is padded with blanks to this width.
constexpr int kHelpWidth = 78;

} // namespace

void PrintBanner(uint32_t libraryVersion) {
    printf("\n");
    PrintBoxLine(kTopLeft, kHorizontal, kTopRight);
    PrintTitleLine();
    PrintBoxLine(kVertical, kHorizontal, kVertical);
    PrintBoxLine(kVertical, " ", kVertical);
    PrintBoxLine(kBottomLeft, kHorizontal, kBottomRight);
    printf(" Ulvex.DLL Version : %d.%02d \n", static_cast<int>(libraryVersion >> 16),
           static_cast<int>(libraryVersion & 0xFFFF));
    printf(" Vorn Build date      : %s %s   \n", kBuildDate, kBuildTime);
}

void PrintHelp() {
    for (const char* line : kHelpLines) {
        printf("\n%-*s", kHelpWidth, line);
    }
}
