// Vorn's start banner and help screen against golden files written from the
// screen texts, byte for byte.
#include "Options.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

using testfiles::ReadFile;

namespace {

// The golden files draw the box in UTF-8; a Windows build prints the same
// box in code page 437 bytes.
std::string Golden(const char* name) {
    std::string text = ReadFile(std::string(VORN_GOLDEN_DIR "/") + name);
#ifdef _WIN32
    const std::pair<std::string_view, char> boxCharacters[] = {
        {"\xE2\x94\x8C", '\xDA'}, {"\xE2\x94\x90", '\xBF'}, {"\xE2\x94\x94", '\xC0'},
        {"\xE2\x94\x98", '\xD9'}, {"\xE2\x94\x80", '\xC4'}, {"\xE2\x94\x82", '\xB3'}};
    for (const auto& [utf8, codePage437] : boxCharacters) {
        for (size_t at = text.find(utf8); at != std::string::npos; at = text.find(utf8, at + 1)) {
            text.replace(at, utf8.size(), 1, codePage437);
        }
    }
#endif
    return text;
}

TEST(BannerTest, BannerMatchesTheGoldenFile) {
    testing::internal::CaptureStdout();
    PrintBanner(0x00020041);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), Golden("banner.txt"));
}

TEST(BannerTest, VersionHasTwoDigitMinor) {
    testing::internal::CaptureStdout();
    PrintBanner(0x00030005);
    const std::string banner = testing::internal::GetCapturedStdout();
    EXPECT_NE(banner.find("\n Ulvex.DLL Version : 3.05 \n"), std::string::npos) << banner;
}

TEST(BannerTest, HelpMatchesTheGoldenFile) {
    testing::internal::CaptureStdout();
    PrintHelp();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), Golden("help.txt"));
}

} // namespace
