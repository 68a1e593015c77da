// The monitor images the library carries and the user's own monitors from
// ULVEX_MONITOR_DIR: sizes and headers, the ML675001 HEX text as srec_cat,
// python3-intelhex and the library's reader see it, and every way a user's
// monitor file is refused.
#include "boot/MonitorImages.h"
#include "MonitorFormat.h"
#include "TestFiles.h"
#include "frame/TraceSink.h"
#include "image/HexFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using testfiles::RandomBytes;
using testfiles::ReadFile;
using testfiles::RunCommand;
using testfiles::TempDir;
using testfiles::WriteBytes;
using testfiles::WriteFile;

constexpr const char* kMonitorDirVariable = "ULVEX_MONITOR_DIR";
constexpr uint32_t kBinaryKinds = 7;
constexpr uint32_t kTestBuildTag = 0x00020041;

std::vector<std::string> errorTraces;

void RecordErrorTrace(const char* line) {
    errorTraces.emplace_back(line);
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> span) {
    return {span.begin(), span.end()};
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// Captures error traces and runs with ULVEX_MONITOR_DIR unset; the variable
// the test process started with is restored afterwards.
class MonitorImagesTest : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* value = std::getenv(kMonitorDirVariable)) {
            savedDir_ = value;
        }
        unsetenv(kMonitorDirVariable);
        errorTraces.clear();
        SetErrorTraceSink(RecordErrorTrace);
    }

    void TearDown() override {
        SetErrorTraceSink(nullptr);
        if (savedDir_) {
            setenv(kMonitorDirVariable, savedDir_->c_str(), 1);
        } else {
            unsetenv(kMonitorDirVariable);
        }
    }

    void UseMonitorDir(const std::string& dir) { setenv(kMonitorDirVariable, dir.c_str(), 1); }

    // The one error trace recorded so far, or a note that there was not one.
    static std::string OnlyErrorTrace() {
        if (errorTraces.size() != 1) {
            return std::to_string(errorTraces.size()) + " error traces";
        }
        return errorTraces.front();
    }

    TempDir dir_;

  private:
    std::optional<std::string> savedDir_;
};

// --- The built-in binary images ---

TEST_F(MonitorImagesTest, BinaryImagesHaveTheirSizesAndHeaders) {
    for (uint32_t kind = 0; kind < kBinaryKinds; ++kind) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        const auto image = BuiltInMonitorImage(kind);
        ASSERT_EQ(image.size(), monitors::kImageSizes[kind]);
        const auto header = monitors::ParseMonitorHeader(image);
        ASSERT_TRUE(header.has_value());
        EXPECT_EQ(header->kind, kind);
        EXPECT_EQ(header->size, image.size());
        EXPECT_EQ(header->buildTag, kTestBuildTag);

        std::vector<uint8_t> loaded;
        ASSERT_TRUE(LoadMonitorImage(kind, loaded));
        EXPECT_EQ(loaded, Bytes(image));
    }
    EXPECT_TRUE(errorTraces.empty());
}

TEST_F(MonitorImagesTest, FillerIsNoisyAndDiffersBetweenKinds) {
    const size_t shortest = *std::min_element(monitors::kImageSizes.begin(),
                                              monitors::kImageSizes.begin() + kBinaryKinds);
    for (uint32_t a = 0; a < kBinaryKinds; ++a) {
        const auto filler = BuiltInMonitorImage(a).subspan(monitors::kHeaderSize);
        // Pseudo-random filler uses nearly every byte value over 2 KiB.
        std::vector<bool> seen(256);
        for (uint8_t byte : filler) {
            seen[byte] = true;
        }
        EXPECT_GT(std::count(seen.begin(), seen.end(), true), 240) << "kind " << a;
        for (uint32_t b = a + 1; b < kBinaryKinds; ++b) {
            const auto other = BuiltInMonitorImage(b).subspan(monitors::kHeaderSize);
            const size_t length = shortest - monitors::kHeaderSize;
            EXPECT_FALSE(std::equal(filler.begin(), filler.begin() + length, other.begin()))
                << "kinds " << a << " and " << b;
        }
    }
}

TEST_F(MonitorImagesTest, UnknownKindsHaveNoImage) {
    std::vector<uint8_t> image{1, 2, 3};
    EXPECT_FALSE(LoadMonitorImage(7, image));
    EXPECT_EQ(OnlyErrorTrace().rfind("Error: no monitor image of kind 7; LoadMonitorImage; ", 0),
              0u)
        << OnlyErrorTrace();
    EXPECT_FALSE(LoadMonitorImage(0xFFFFFFFF, image));
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(BuiltInMonitorImage(7).empty());
}

// --- The built-in ML675001 HEX monitor ---

class Ml675001MonitorTest : public MonitorImagesTest {
  protected:
    static std::string StoredText() { return Text(Bytes(BuiltInMl675001Monitor())); }

    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        EXPECT_EQ(start, text.size()) << "text after the last CR LF";
        return lines;
    }

    // The text as a file in the test directory.
    std::string HexFile() const {
        std::vector<uint8_t> text;
        EXPECT_TRUE(LoadMl675001Monitor(text));
        const std::string path = dir_.file("monitor.hex");
        WriteBytes(path, text);
        return path;
    }

    // The data bytes the library's own HEX reader takes from the text.
    std::vector<uint8_t> DataByLibraryReader() const {
        uint8_t* buffer = nullptr;
        uint32_t size = 0;
        uint32_t base = 0;
        const std::string path = HexFile();
        EXPECT_EQ(ReadHexImage(path.c_str(), 0, &buffer, &size, &base), HEX_IMAGE_READY);
        EXPECT_EQ(base, 0u);
        std::vector<uint8_t> data(buffer, buffer + size);
        free(buffer);
        return data;
    }
};

TEST_F(Ml675001MonitorTest, StoredAsTextAndOneEndMark) {
    const auto stored = BuiltInMl675001Monitor();
    ASSERT_EQ(stored.size(), monitors::kMl675001TextSize + 1u);
    EXPECT_EQ(stored.back(), 0xFF);
    EXPECT_EQ(std::count(stored.begin(), stored.end(), 0xFF), 1);

    std::vector<uint8_t> sent;
    ASSERT_TRUE(LoadMl675001Monitor(sent));
    EXPECT_EQ(sent.size(), 16087u);
    EXPECT_EQ(sent, Bytes(stored.first(16087)));
}

TEST_F(Ml675001MonitorTest, RecordsAndLineEnds) {
    const std::string text = StoredText().substr(0, 16087);
    EXPECT_EQ(text.find_first_not_of(":0123456789ABCDEF\r\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 359);

    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 359u);
    EXPECT_EQ(lines.front(), ":020000040000FA");
    EXPECT_EQ(lines.back(), ":00000001FF");
    for (size_t record = 0; record < 357; ++record) {
        const std::string& line = lines[record + 1];
        SCOPED_TRACE(line);
        const uint32_t count = record < 356 ? 16 : 12;
        ASSERT_EQ(line.size(), 11 + 2 * count);
        EXPECT_EQ(HexFieldValue(line.c_str() + 1, 2), count);
        EXPECT_EQ(HexFieldValue(line.c_str() + 3, 4), record * 16);
        EXPECT_EQ(HexFieldValue(line.c_str() + 7, 2), 0u);
    }
}

TEST_F(Ml675001MonitorTest, LibraryReaderSeesAKindSevenImage) {
    const auto data = DataByLibraryReader();
    ASSERT_EQ(data.size(), 5708u);
    const auto header = monitors::ParseMonitorHeader(data);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->kind, monitors::kMl675001Kind);
    EXPECT_EQ(header->size, 5708u);
    EXPECT_EQ(header->buildTag, kTestBuildTag);
    // Its filler is its own, not that of a binary kind.
    for (uint32_t kind = 0; kind < kBinaryKinds; ++kind) {
        const auto other = BuiltInMonitorImage(kind).subspan(monitors::kHeaderSize);
        const size_t length = std::min(other.size(), data.size() - monitors::kHeaderSize);
        EXPECT_FALSE(
            std::equal(other.begin(), other.begin() + length, data.begin() + monitors::kHeaderSize))
            << "kind " << kind;
    }
}

TEST_F(Ml675001MonitorTest, IntelHexReadsTheSameData) {
    if (RunCommand(std::string(ULVEX_TEST_PYTHON) + " -c 'import intelhex'").exitCode != 0) {
        GTEST_SKIP() << ULVEX_TEST_PYTHON
                     << " has no intelhex module (Debian package python3-intelhex)";
    }
    const std::string script = dir_.file("read.py");
    const std::string binary = dir_.file("monitor.bin");
    WriteFile(script, "import sys\n"
                      "from intelhex import IntelHex\n"
                      "ih = IntelHex(sys.argv[1])\n"
                      "ih.tobinfile(sys.argv[2])\n"
                      "print(ih.minaddr(), ih.maxaddr(), len(ih.segments()))\n");
    const auto result =
        RunCommand(std::string(ULVEX_TEST_PYTHON) + " " + script + " " + HexFile() + " " + binary);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "0 5707 1\n");
    EXPECT_EQ(Bytes(ReadFile(binary)), DataByLibraryReader());
}

TEST_F(Ml675001MonitorTest, SrecCatWritesTheSameText) {
    const std::string srecCat = ULVEX_SREC_CAT;
    if (srecCat.empty() || access(srecCat.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "srec_cat not found (Debian package srecord)";
    }
    const std::string binary = dir_.file("monitor.bin");
    const std::string hex = dir_.file("srec.hex");
    WriteBytes(binary, DataByLibraryReader());
    const auto result = RunCommand(srecCat + " " + binary + " -binary -o " + hex +
                                   " -intel -address-length=4 -output_block_size=16"
                                   " -line-termination=crlf");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(ReadFile(hex), StoredText().substr(0, 16087));
}

// --- The user's own monitors from ULVEX_MONITOR_DIR ---

TEST_F(MonitorImagesTest, FileInMonitorDirReplacesBuiltInImage) {
    const auto own = RandomBytes(1000, 3);
    WriteBytes(dir_.file("monitor3.bin"), own);
    UseMonitorDir(dir_.path());

    std::vector<uint8_t> image;
    ASSERT_TRUE(LoadMonitorImage(3, image));
    EXPECT_EQ(image, own);

    // The largest length the boot loaders take, and a directory given with a
    // trailing slash.
    const auto largest = RandomBytes(65535, 5);
    WriteBytes(dir_.file("monitor5.bin"), largest);
    UseMonitorDir(dir_.path() + "/");
    ASSERT_TRUE(LoadMonitorImage(5, image));
    EXPECT_EQ(image, largest);
    EXPECT_TRUE(errorTraces.empty());
}

TEST_F(MonitorImagesTest, EmptyMonitorDirMeansBuiltInImages) {
    UseMonitorDir("");
    std::vector<uint8_t> image;
    ASSERT_TRUE(LoadMonitorImage(1, image));
    EXPECT_EQ(image, Bytes(BuiltInMonitorImage(1)));
    std::vector<uint8_t> text;
    ASSERT_TRUE(LoadMl675001Monitor(text));
    EXPECT_EQ(text.size(), 16087u);
}

TEST_F(MonitorImagesTest, BadMonitorFilesAreRefusedWithTheirReason) {
    UseMonitorDir(dir_.path());
    WriteFile(dir_.file("monitor1.bin"), "");
    WriteBytes(dir_.file("monitor2.bin"), RandomBytes(65536, 2));
    std::filesystem::create_directory(dir_.file("monitor4.bin"));
    const std::pair<uint32_t, std::string> cases[] = {
        {0, "No such file or directory"},
        {1, "the file is empty"},
        {2, "longer than 65535 bytes"},
        {4, "Is a directory"},
    };
    for (const auto& [kind, reason] : cases) {
        SCOPED_TRACE(reason);
        errorTraces.clear();
        std::vector<uint8_t> image{7};
        EXPECT_FALSE(LoadMonitorImage(kind, image));
        EXPECT_EQ(image, std::vector<uint8_t>{7});
        const std::string expected = "Error: monitor image " +
                                     dir_.file("monitor" + std::to_string(kind) + ".bin") + ": " +
                                     reason + "; LoadMonitorImage; Line ";
        EXPECT_EQ(OnlyErrorTrace().rfind(expected, 0), 0u) << OnlyErrorTrace();
        EXPECT_NE(OnlyErrorTrace().find(" in MonitorImages; DBG_LEVEL_WARNING"), std::string::npos);
    }
}

TEST_F(MonitorImagesTest, OwnMl675001MonitorEndsAtItsEndMark) {
    UseMonitorDir(dir_.path());
    const std::string path = dir_.file("ml675001_monitor.hex");
    std::vector<uint8_t> text;

    WriteFile(path, ":00000001FF\r\n");
    ASSERT_TRUE(LoadMl675001Monitor(text));
    EXPECT_EQ(Text(text), ":00000001FF\r\n");

    WriteFile(path, std::string(":00000001FF\r\n\xFF", 14) + "anything after the mark");
    ASSERT_TRUE(LoadMl675001Monitor(text));
    EXPECT_EQ(Text(text), ":00000001FF\r\n");

    // The 1 MiB limit is on the text; its end mark may follow.
    std::string largest(1024 * 1024, 'A');
    WriteFile(path, largest + "\xFF");
    ASSERT_TRUE(LoadMl675001Monitor(text));
    EXPECT_EQ(text.size(), largest.size());
    EXPECT_TRUE(errorTraces.empty());
}

TEST_F(MonitorImagesTest, BadMl675001MonitorFilesAreRefused) {
    UseMonitorDir(dir_.path());
    const std::string path = dir_.file("ml675001_monitor.hex");
    // No content: no file at all.
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, "No such file or directory"},
        {"", "the file is empty"},
        {"\xFF:00000001FF\r\n", "no text before the 0xFF end mark"},
        {std::string(1024 * 1024 + 1, 'A') + "\xFF", "longer than 1048576 bytes"},
    };
    for (const auto& [content, reason] : cases) {
        SCOPED_TRACE(reason);
        std::filesystem::remove(path);
        if (content) {
            WriteFile(path, *content);
        }
        errorTraces.clear();
        std::vector<uint8_t> text{'x'};
        EXPECT_FALSE(LoadMl675001Monitor(text));
        EXPECT_EQ(Text(text), "x");
        const std::string expected =
            "Error: monitor image " + path + ": " + reason + "; LoadMl675001Monitor; Line ";
        EXPECT_EQ(OnlyErrorTrace().rfind(expected, 0), 0u) << OnlyErrorTrace();
    }
}

} // namespace
