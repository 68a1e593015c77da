// Vorn's options: the tokeniser, the handler with its messages, and reading
// Vorn.cfg and the command line.
#include "Options.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

using testfiles::ScopedChdir;
using testfiles::TempDir;
using testfiles::WriteFile;

namespace {

struct Outcome {
    RunSettings settings;
    std::string printed;
};

// Tokenises and applies the lines in order, starting from the defaults.
Outcome ApplyLines(std::initializer_list<const char*> lines) {
    Outcome outcome;
    testing::internal::CaptureStdout();
    for (const char* line : lines) {
        ApplyOption(TokeniseOption(line), outcome.settings);
    }
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

// Runs ReadAllOptions as Vorn does, in the working directory.
Outcome ReadOptions(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "vorn");
    Outcome outcome;
    testing::internal::CaptureStdout();
    ReadAllOptions(static_cast<int>(arguments.size()), arguments.data(), outcome.settings);
    outcome.printed = testing::internal::GetCapturedStdout();
    return outcome;
}

auto Fields(const RunSettings& s) {
    return std::tuple(s.comPort, s.busMode, s.baudRate, s.targetType, s.debugOn, s.debugLevel,
                      s.uploadStart, s.uploadEnd, s.uploadWidth, s.verifyCrc, s.dtr, s.rts,
                      s.breakLine, s.monitorLoad, std::string(s.fileName),
                      std::string(s.scriptName));
}

struct TokenCase {
    const char* text;
    uint8_t kind;
    const char* name;
    uint32_t first;
    uint32_t second;
    const char* valueText;
};

TEST(OptionTokeniserTest, KindsNamesAndValues) {
    const TokenCase cases[] = {
        {"", OPTION_NOTHING, "", 0, 0, ""},
        {"   ;COMPORT=2", OPTION_NOTHING, "", 0, 0, ""},
        {"X", OPTION_NOTHING, "X", 0, 0, ""},
        {"\n", OPTION_NOTHING, "\n", 0, 0, ""},
        {"  verifycrc\r\n", OPTION_FLAG, "VERIFYCRC", 0, 0, ""},
        {"VERIFYCRC MYPROG.HEX", OPTION_FLAG, "VERIFYCRC", 0, 0, ""},
        {"COMPORT = 2", OPTION_NUMBER, "COMPORT", 2, 0, ""},
        {"\tCOMPORT=2", OPTION_NUMBER, "\tCOMPORT", 2, 0, ""},
        {"UPLOAD=80000", OPTION_NUMBER, "UPLOAD", 0x80000, 0, ""},
        {"UPLOAD=80000-FFFFF UPLOADCODE.BIN", OPTION_RANGE, "UPLOAD", 0x80000, 0xFFFFF, ""},
        {"upload16 = 10 -- 2f", OPTION_RANGE, "UPLOAD16", 0x10, 0x2F, ""},
        {"UPLOAD=80000-END", OPTION_NUMBER, "UPLOAD", 0x80000, 0, ""},
        {"UPLOAD=-5", OPTION_RANGE, "UPLOAD", 0, 5, ""},
        {"BUSMODE=,", OPTION_NUMBER, "BUSMODE", 0, 0, ""},
        {"TARGET=123456789", OPTION_NUMBER, "TARGET", 0x23456789, 0, ""},
        {"dtr=off;comment", OPTION_TEXT, "DTR", 0, 0, "OFF"},
        {"DEBUG=ON\tX", OPTION_TEXT, "DEBUG", 0, 0, "ON"},
        {"DATA.TXT", OPTION_FILE, "DATA.TXT", 0, 0, ""},
        {"DATA.TXT\r\n", OPTION_FILE, "DATA.TXT", 0, 0, ""},
        {"data.txt\t\n", OPTION_FILE, "data.txt", 0, 0, ""},
        {"UPLOADCODE.BIN", OPTION_BINARY_FILE, "UPLOADCODE.BIN", 0, 0, ""},
        {"A.BSF", OPTION_HEX_FILE, "A.BSF", 0, 0, ""},
        {"A.HSF", OPTION_HEX_FILE, "A.HSF", 0, 0, ""},
        {"A.HEXFILE", OPTION_HEX_FILE, "A.HEX", 0, 0, ""},
        {"MYPROG.HEX.BAK", OPTION_HEX_FILE, "MYPROG.HEX", 0, 0, ""},
        {"TEST.SCR COMPORT=2", OPTION_SCRIPT_FILE, "TEST.SCR", 0, 0, ""},
        {"DIR.D/TEST.SCR", OPTION_SCRIPT_FILE, "DIR.D/TEST.SCR", 0, 0, ""},
    };
    for (const TokenCase& c : cases) {
        SCOPED_TRACE(c.text);
        const OptionToken token = TokeniseOption(c.text);
        EXPECT_EQ(token.kind, c.kind);
        EXPECT_STREQ(token.name, c.name);
        EXPECT_EQ(token.first, c.first);
        EXPECT_EQ(token.second, c.second);
        EXPECT_STREQ(token.valueText, c.valueText);
        EXPECT_FALSE(token.nameTooLong);
    }
}

TEST(OptionTokeniserTest, ValueTextIsCutTo80Characters) {
    const std::string value(100, 'G');
    const OptionToken token = TokeniseOption(("DTR=" + value).c_str());
    EXPECT_EQ(token.kind, OPTION_TEXT);
    EXPECT_EQ(std::string(token.valueText), value.substr(0, 80));
}

TEST(OptionTokeniserTest, FileNamesKeepTheirCaseOptionsDoNot) {
    EXPECT_STREQ(TokeniseOption("myprog.hex.bak").name, "myprog.hex");
    EXPECT_STREQ(TokeniseOption("Dir/Upload.Bin").name, "Dir/Upload.Bin");
    EXPECT_STREQ(TokeniseOption("debug=on").name, "DEBUG");
    EXPECT_STREQ(TokeniseOption("debug=on").valueText, "ON");
}

TEST(OptionTokeniserTest, NamesBeyond255CharactersAreRefused) {
    const std::string longest = std::string(251, 'a') + ".txt";
    const OptionToken fits = TokeniseOption(longest.c_str());
    EXPECT_EQ(fits.kind, OPTION_FILE);
    EXPECT_EQ(std::string(fits.name), longest);

    for (const std::string& text :
         {"b" + longest, std::string(300, 'F'), std::string(256, 'F') + "=1"}) {
        SCOPED_TRACE(text.size());
        const OptionToken token = TokeniseOption(text.c_str());
        EXPECT_EQ(token.kind, OPTION_NOTHING);
        EXPECT_TRUE(token.nameTooLong);
    }
}

TEST(OptionHandlerTest, LettersCompareWithoutCase) {
    EXPECT_EQ(Fields(ApplyLines({"comport=2", "target=2"}).settings),
              Fields(ApplyLines({"COMPORT=2", "TARGET=2"}).settings));
}

TEST(OptionHandlerTest, ComPortReadsTheTypedDecimalDigits) {
    EXPECT_EQ(ApplyLines({"COMPORT=12"}).settings.comPort, 12);
    EXPECT_EQ(ApplyLines({"COMPORT=255"}).settings.comPort, 255);
    const Outcome wrapped = ApplyLines({"COMPORT=300"});
    EXPECT_EQ(wrapped.settings.comPort, 44);
    EXPECT_EQ(wrapped.printed, "");
}

TEST(OptionHandlerTest, TargetTypesTypedInDecimal) {
    for (uint32_t target : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 10u, 16u, 19u, 23u}) {
        const std::string line = "TARGET=" + std::to_string(target);
        const Outcome outcome = ApplyLines({line.c_str()});
        EXPECT_EQ(outcome.settings.targetType, target) << line;
        EXPECT_EQ(outcome.printed, "") << line;
    }
    const Outcome refused = ApplyLines({"TARGET=10", "TARGET=A", "TARGET=4", "TARGET=24"});
    EXPECT_EQ(refused.settings.targetType, 10u);
    EXPECT_EQ(refused.printed, "\n### Unsupported TARGET=10 ###"
                               "\n### Unsupported TARGET=4 ###"
                               "\n### Unsupported TARGET=36 ###");
}

TEST(OptionHandlerTest, BaudRatesTypedInDecimal) {
    const Outcome outcome = ApplyLines({"BAUDRATE=38400"});
    EXPECT_EQ(outcome.settings.baudRate, 38400u);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(ApplyLines({"BAUDRATE=921600"}).settings.baudRate, 921600u);

    const Outcome refused = ApplyLines({"BAUDRATE=57600", "BAUDRATE=300"});
    EXPECT_EQ(refused.settings.baudRate, 57600u);
    EXPECT_EQ(refused.printed, "\n### Unsupported BAUDRATE=768 ###");
}

TEST(OptionHandlerTest, LineSettingsTakeOnAndOffButNoNumbers) {
    const Outcome outcome = ApplyLines({"DTR=OFF", "RTS=ON", "BREAK=YES", "MONITORLOAD=OFF"});
    EXPECT_EQ(outcome.settings.dtr, LINE_OFF);
    EXPECT_EQ(outcome.settings.rts, LINE_ON);
    EXPECT_EQ(outcome.settings.breakLine, LINE_ON);
    EXPECT_EQ(outcome.settings.monitorLoad, LINE_OFF);

    EXPECT_EQ(ApplyLines({"DTR=OFF", "DTR=ON"}).settings.dtr, LINE_ON);
    const Outcome numbers = ApplyLines({"DTR=0", "RTS=1"});
    EXPECT_EQ(numbers.settings.dtr, LINE_NOT_GIVEN);
    EXPECT_EQ(numbers.settings.rts, LINE_NOT_GIVEN);
    EXPECT_EQ(numbers.printed, "");
}

TEST(OptionHandlerTest, DebugAloneWithLevelOrWithText) {
    const RunSettings alone = ApplyLines({"DEBUG"}).settings;
    EXPECT_TRUE(alone.debugOn);
    EXPECT_EQ(alone.debugLevel, 0);

    const RunSettings level = ApplyLines({"DEBUG=4", "DEBUG"}).settings;
    EXPECT_TRUE(level.debugOn);
    EXPECT_EQ(level.debugLevel, 4);

    const Outcome text = ApplyLines({"DEBUG=ON"});
    EXPECT_FALSE(text.settings.debugOn);
    EXPECT_EQ(text.printed, "\n### Unknown option: DEBUG = ON ###");
}

TEST(OptionHandlerTest, UploadRangesAndTheirWidth) {
    const RunSettings upload = ApplyLines({"UPLOAD=80000-FFFFF UPLOADCODE.BIN"}).settings;
    EXPECT_EQ(upload.uploadStart, 0x80000u);
    EXPECT_EQ(upload.uploadEnd, 0xFFFFFu);
    EXPECT_EQ(upload.uploadWidth, 8);
    EXPECT_STREQ(upload.fileName, "");

    EXPECT_EQ(ApplyLines({"UPLOAD=0-FFFF", "UPLOAD16=100-1FF"}).settings.uploadWidth, 16);

    const Outcome noEnd = ApplyLines({"UPLOAD=80000"});
    EXPECT_EQ(noEnd.settings.uploadWidth, 0);
    EXPECT_EQ(noEnd.printed, "");
}

TEST(OptionHandlerTest, UnknownOptionsAndSilentlyIgnoredLines) {
    const Outcome silent = ApplyLines({"X", "\tCOMPORT=2", "FOO=5", "FOO=5-6", "TESTMODE", ";XY"});
    EXPECT_EQ(Fields(silent.settings), Fields(RunSettings{}));
    EXPECT_EQ(silent.printed, "");

    const Outcome reported = ApplyLines({"XY", "colour=red"});
    EXPECT_EQ(Fields(reported.settings), Fields(RunSettings{}));
    EXPECT_EQ(reported.printed,
              "\n### Unknown option: XY  ###\n### Unknown option: COLOUR = RED ###");
}

TEST(OptionHandlerTest, FileAndScriptNames) {
    const RunSettings settings =
        ApplyLines({"first.hex", "Test.Scr", "VERIFYCRC", "second.BIN"}).settings;
    EXPECT_STREQ(settings.fileName, "second.BIN");
    EXPECT_STREQ(settings.scriptName, "Test.Scr");
    EXPECT_TRUE(settings.verifyCrc);
}

TEST(OptionHandlerTest, LongNameIsReportedAndChangesNothing) {
    const std::string longest = "/" + std::string(250, 'd') + ".hex";
    const std::string tooLong = "/" + longest;
    const Outcome outcome = ApplyLines({longest.c_str(), tooLong.c_str()});
    EXPECT_EQ(std::string(outcome.settings.fileName), longest);
    EXPECT_EQ(outcome.printed, "\n### Name longer than 255 characters ignored ###");
}

class ReadAllOptionsTest : public testing::Test {
  protected:
    void WriteConfig(const std::string& content) { WriteFile(dir_.file("Vorn.cfg"), content); }

    TempDir dir_;
    ScopedChdir inDir_{dir_.path()};
};

TEST_F(ReadAllOptionsTest, MissingConfigFileIsNoticedAndArgumentsApply) {
    const Outcome outcome = ReadOptions({"comport=3", "XY"});
    EXPECT_EQ(outcome.printed,
              "\nNo configuration file found (Vorn.cfg)\n### Unknown option: XY  ###");
    EXPECT_EQ(outcome.settings.comPort, 3);
}

TEST_F(ReadAllOptionsTest, CommandLineOverrulesTheConfigFile) {
    WriteConfig("; settings for the test bench\r\n"
                "COMPORT=3\r\n"
                "TARGET=5\n"
                "DEBUG\n"
                "Old.hex\n"
                "\n");
    const Outcome outcome = ReadOptions({"comport=4", "new.hex", "newer.hex"});
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(outcome.settings.comPort, 4);
    EXPECT_EQ(outcome.settings.targetType, 5u);
    EXPECT_TRUE(outcome.settings.debugOn);
    EXPECT_STREQ(outcome.settings.fileName, "newer.hex");
}

TEST_F(ReadAllOptionsTest, FileNameNeedsItsOwnLine) {
    WriteConfig("UPLOAD=80000-FFFFF UPLOADCODE.BIN\n"
                "\tCOMPORT=2\n"
                "data.txt\n");
    const RunSettings settings = ReadOptions({}).settings;
    EXPECT_EQ(settings.uploadWidth, 8);
    EXPECT_EQ(settings.uploadEnd, 0xFFFFFu);
    EXPECT_EQ(settings.comPort, 1);
    EXPECT_STREQ(settings.fileName, "data.txt");
}

TEST_F(ReadAllOptionsTest, LongLinesArriveInPieces) {
    // The comment fills the first 255 characters; the rest is a line of its own.
    WriteConfig(";" + std::string(254, 'x') + "COMPORT=7\n" + "TARGET=3\n");
    const RunSettings settings = ReadOptions({}).settings;
    EXPECT_EQ(settings.comPort, 7);
    EXPECT_EQ(settings.targetType, 3u);
}

TEST_F(ReadAllOptionsTest, NamesAreClearedBeforeReading) {
    WriteConfig("TARGET=1\n");
    RunSettings settings;
    snprintf(settings.fileName, sizeof settings.fileName, "stale.hex");
    snprintf(settings.scriptName, sizeof settings.scriptName, "stale.scr");
    const char* arguments[] = {"vorn"};
    testing::internal::CaptureStdout();
    ReadAllOptions(1, arguments, settings);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(settings.fileName, "");
    EXPECT_STREQ(settings.scriptName, "");
    EXPECT_EQ(settings.targetType, 1u);
}

} // namespace
