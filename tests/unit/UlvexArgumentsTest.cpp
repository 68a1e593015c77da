// ulvex's words that are not options: PORT, TARGET, the addresses of
// `read` and jobs files, each a table of texts and what they give.
#include "Arguments.h"
#include "Jobs.h"
#include "Targets.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

using ulvex::PortArgument;
using Kind = PortArgument::Kind;

namespace {

struct PortRow {
    const char* text;
    Kind kind;
    uint32_t comport;
    const char* path;
    const char* error; // a part of the reason; "" when it is a port
};

const PortRow kPortRows[] = {
    {"/dev/ttyUSB0", Kind::Device, 0, "/dev/ttyUSB0", ""},
    {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", Kind::Device, 0,
     "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", ""},
    {"ttyACM1", Kind::Device, 0, "/dev/ttyACM1", ""},
    {"./board", Kind::Device, 0, "./board", ""},
    {"COM3", Kind::ComNumber, 3, "", ""},
    {"com254", Kind::ComNumber, 254, "", ""},
    {"COM0", Kind::ComNumber, 0, "", "numbered 1 to 254"},
    {"COM255", Kind::ComNumber, 255, "", "numbered 1 to 254"},
    {"rfc2217://rack-7:4001", Kind::Remote, 0, "rfc2217://rack-7:4001", ""},
    {"socket://[::1]:4001", Kind::Remote, 0, "socket://[::1]:4001", ""},
    {"rfc2217://rack-7", Kind::Device, 0, "", "the TCP port is missing"},
    {"telnet://rack-7:23", Kind::Device, 0, "", "unknown scheme"},
    {"", Kind::Device, 0, "", "the port is empty"},
};

struct TargetRow {
    const char* text;
    int number; // -1: none
    const char* error;
};

const TargetRow kTargetRows[] = {
    {"1", 1, ""},
    {"23", 23, ""},
    {"kolt-a-ext", 1, ""},
    {"ML675001", 14, ""},
    {"24", -1, "no target type 24"},
    {"-1", -1, "unknown target"},
    {"kolt", -1, "unknown target"},
    {"", -1, "unknown target"},
};

struct RangeRow {
    const char* start;
    const char* end;
    uint32_t first;
    uint32_t last;
    const char* error;
};

const RangeRow kRangeRows[] = {
    {"0x80000", "8FFFF", 0x80000, 0x8FFFF, ""},
    {"0", "0", 0, 0, ""},
    {"FFFFFFFF", "0xffffffff", 0xFFFFFFFF, 0xFFFFFFFF, ""},
    {"100", "FF", 0x100, 0xFF, "END lies below START"},
    {"0x", "10", 0, 0, "not an address"},
    {"123456789", "10", 0, 0, "up to 8 hex digits"},
    {"10", "1G", 0, 0, "not a hexadecimal address"},
};

} // namespace

TEST(UlvexArgumentsTest, PortsAreDevicesComNumbersOrUrls) {
    for (const PortRow& row : kPortRows) {
        const PortArgument port = ulvex::ParsePort(row.text);
        EXPECT_NE(port.error.find(row.error), std::string::npos) << row.text << ": " << port.error;
        if (*row.error == '\0') {
            EXPECT_TRUE(port.error.empty()) << row.text;
            EXPECT_EQ(port.kind, row.kind) << row.text;
            EXPECT_EQ(port.comport, row.comport) << row.text;
            EXPECT_EQ(port.path, row.path) << row.text;
        }
    }
}

TEST(UlvexArgumentsTest, TargetsByNumberOrName) {
    for (const TargetRow& row : kTargetRows) {
        const ulvex::TargetLookup found = ulvex::FindTarget(row.text);
        EXPECT_EQ(found.type == nullptr ? -1 : static_cast<int>(found.type->number), row.number)
            << row.text;
        EXPECT_NE(found.error.find(row.error), std::string::npos)
            << row.text << ": " << found.error;
    }
    // Every name leads back to its own number.
    for (const ulvex::TargetType& t : ulvex::TargetTypes()) {
        EXPECT_EQ(ulvex::FindTarget(t.name).type, &t) << t.name;
    }
}

TEST(UlvexArgumentsTest, ReadRangesAreHexadecimalAndInclusive) {
    for (const RangeRow& row : kRangeRows) {
        const ulvex::RangeArgument range = ulvex::ParseRange(row.start, row.end);
        EXPECT_NE(range.error.find(row.error), std::string::npos)
            << row.start << " " << row.end << ": " << range.error;
        if (*row.error == '\0') {
            EXPECT_EQ(range.start, row.first);
            EXPECT_EQ(range.end, row.last);
        }
    }
}

// A jobs file's text and what it gives: the boards in a line each as
// "port target image baud bus dtr rts [format [base]]", or a part of the
// error.
struct JobsRow {
    const char* text;
    const char* boards;
};

const JobsRow kJobsRows[] = {
    {R"([{"port":"/dev/ttyUSB0","target":"kolt-a-int","image":"a.hex"},
        {"port":"COM3","target":14,"image":"/b.hex","baud":921600,"bus":"single","rts":true}])",
     "/dev/ttyUSB0 kolt-a-int jobs/a.hex 57600 duplex 1 0\n"
     "COM3 14 /b.hex 921600 single 1 1\n"},
    {R"({"boards":[{"port":"p","target":"1","image":"i"}]})", "p 1 jobs/i 57600 duplex 1 0\n"},
    {R"([{"port":"p","target":"1"}])", "entry 1 has no \"image\""},
    {R"([{"port":"COM3","target":14,"image":""}])", "entry 1 \"image\" is empty"},
    {R"([{"port":"p","target":"1","image":"i","speed":1}])",
     "entry 1 has an unknown key \"speed\""},
    {R"([{"port":"p","target":"1","image":"i"},{"port":"p","target":"2","image":"j"}])",
     "entry 2 names the port p a second time"},
    {R"([{"port":"p","target":"1","image":"i","bus":"both"}])", "entry 1 \"bus\" is neither"},
    {R"([{"port":"p","target":"1","image":"i","baud":0}])", "entry 1 \"baud\" is not a positive"},
    {R"([{"port":"p","target":"1","image":"i.bin","format":"bin","base":"0x8F000"},
        {"port":"q","target":"1","image":"j.elf","format":"elf"},
        {"port":"r","target":"1","image":"k.bin","format":"bin","base":524288}])",
     "p 1 jobs/i.bin 57600 duplex 1 0 bin 8F000\n"
     "q 1 jobs/j.elf 57600 duplex 1 0 elf\n"
     "r 1 jobs/k.bin 57600 duplex 1 0 bin 80000\n"},
    {R"([{"port":"p","target":"1","image":"i","format":"ihex"}])", "entry 1 \"format\" is none"},
    {R"([{"port":"p","target":"1","image":"i","format":"bin"}])",
     "entry 1 gives format bin without a base address"},
    {R"([{"port":"p","target":"1","image":"i","base":"100"}])",
     "entry 1 gives a base address without format bin"},
    {R"([{"port":"p","target":"1","image":"i","format":"bin","base":"0x"}])",
     "entry 1 \"base\" is not an address"},
    {R"([])", "is neither a non-empty array"},
    {R"([{"port":)", "is not JSON"},
};

TEST(UlvexArgumentsTest, JobsFilesGiveBoardsOrSayWhy) {
    ulvex::BoardJob defaults;
    defaults.baud = 57600;
    defaults.dtr = true;
    for (const JobsRow& row : kJobsRows) {
        const ulvex::JobsFile jobs = ulvex::ParseJobs(row.text, defaults, "jobs");
        std::string boards = jobs.error;
        for (const ulvex::BoardJob& b : jobs.boards) {
            boards += b.port + " " + b.target + " " + b.image + " " + std::to_string(b.baud) + " " +
                      b.bus + " " + std::to_string(b.dtr) + " " + std::to_string(b.rts) +
                      (b.format.empty() ? "" : " " + b.format) +
                      (b.base ? fmt::format(" {:X}", *b.base) : "") + "\n";
        }
        EXPECT_NE(boards.find(row.boards), std::string::npos) << row.text << "\ngave: " << boards;
    }
}
