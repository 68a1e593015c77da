// Vorn's start banner and help screen against golden files written from the
// screen texts, byte for byte.
#include "Options.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

using testfiles::ReadFile;

namespace {

std::string Golden(const char* name) {
    return ReadFile(std::string(VORN_GOLDEN_DIR "/") + name);
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
