#include "boot/MonitorImages.h"

#include "boot/monitors/MonitorGenerator.h"
#include "frame/Trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kModuleName = "MonitorImages";

constexpr const char* kMonitorDirVariable = "ULVEX_MONITOR_DIR";
constexpr const char* kMl675001MonitorFile = "ml675001_monitor.hex";

// The boot loaders receive the image length as 16 bits.
constexpr size_t kBinaryMonitorMaxSize = 0xFFFF;
// Far above any monitor's HEX text; only keeps a wrong file from being read whole.
constexpr size_t kMl675001MonitorMaxSize = 1024 * 1024;

constexpr size_t kBinaryKindCount = monitors::kMl675001Kind;

constexpr auto kImage0 = monitors::MonitorData<0>();
constexpr auto kImage1 = monitors::MonitorData<1>();
constexpr auto kImage2 = monitors::MonitorData<2>();
constexpr auto kImage3 = monitors::MonitorData<3>();
constexpr auto kImage4 = monitors::MonitorData<4>();
constexpr auto kImage5 = monitors::MonitorData<5>();
constexpr auto kImage6 = monitors::MonitorData<6>();
constexpr std::array<std::span<const uint8_t>, kBinaryKindCount> kBuiltInImages = {
    kImage0, kImage1, kImage2, kImage3, kImage4, kImage5, kImage6};

constexpr auto kMl675001Monitor = monitors::Ml675001MonitorText();

// The directory with the user's own monitors, or "" for the built-in ones.
std::string MonitorDirectory() {
    const char* dir = std::getenv(kMonitorDirVariable);
    return dir != nullptr ? dir : "";
}

std::string PathIn(const std::string& dir, const std::string& name) {
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool RefuseMonitorFile(const char* function, const std::string& path, const std::string& reason) {
    ERROR_TRACE(function, "Error: monitor image %s: %s", path.c_str(), reason.c_str());
    return false;
}

// Reads at most limit + 1 bytes, enough to tell a file that is too long.
// Returns the system's error text, or nullptr when the read went well.
const char* ReadFileHead(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return std::strerror(errno);
    }
    bytes.resize(limit + 1);
    const size_t count = std::fread(bytes.data(), 1, bytes.size(), file);
    const int error = std::ferror(file) != 0 ? errno : 0;
    std::fclose(file);
    if (error != 0) {
        return std::strerror(error);
    }
    bytes.resize(count);
    return nullptr;
}

// The HEX text ends at its end mark; whatever follows the mark is not sent.
std::span<const uint8_t> TextBeforeEndMark(std::span<const uint8_t> stored) {
    const auto mark = std::find(stored.begin(), stored.end(), monitors::kHexEndMark);
    return stored.first(static_cast<size_t>(mark - stored.begin()));
}

enum class MonitorForm { Binary, HexText };

// A user's monitor file of 1 to limit bytes (for HEX text, the bytes before
// its first end mark); image is left alone on failure.
bool ReadMonitorFile(const char* function, const std::string& path, size_t limit, MonitorForm form,
                     std::vector<uint8_t>& image) {
    std::vector<uint8_t> content;
    if (const char* error = ReadFileHead(path, limit, content)) {
        return RefuseMonitorFile(function, path, error);
    }
    if (content.empty()) {
        return RefuseMonitorFile(function, path, "the file is empty");
    }
    if (form == MonitorForm::HexText) {
        content.resize(TextBeforeEndMark(content).size());
        if (content.empty()) {
            return RefuseMonitorFile(function, path, "no text before the 0xFF end mark");
        }
    }
    if (content.size() > limit) {
        return RefuseMonitorFile(function, path, "longer than " + std::to_string(limit) + " bytes");
    }
    image = std::move(content);
    return true;
}

} // namespace

std::span<const uint8_t> BuiltInMonitorImage(uint32_t kind) {
    if (kind >= kBuiltInImages.size()) {
        return {};
    }
    return kBuiltInImages[kind];
}

std::span<const uint8_t> BuiltInMl675001Monitor() {
    return kMl675001Monitor;
}

bool LoadMonitorImage(uint32_t kind, std::vector<uint8_t>& image) {
    if (kind >= kBuiltInImages.size()) {
        ERROR_TRACE("LoadMonitorImage", "Error: no monitor image of kind %u", kind);
        return false;
    }
    const std::string dir = MonitorDirectory();
    if (dir.empty()) {
        const auto builtIn = kBuiltInImages[kind];
        image.assign(builtIn.begin(), builtIn.end());
        return true;
    }
    const std::string path = PathIn(dir, "monitor" + std::to_string(kind) + ".bin");
    return ReadMonitorFile("LoadMonitorImage", path, kBinaryMonitorMaxSize, MonitorForm::Binary,
                           image);
}

bool LoadMl675001Monitor(std::vector<uint8_t>& text) {
    const std::string dir = MonitorDirectory();
    if (dir.empty()) {
        const auto builtIn = TextBeforeEndMark(kMl675001Monitor);
        text.assign(builtIn.begin(), builtIn.end());
        return true;
    }
    const std::string path = PathIn(dir, kMl675001MonitorFile);
    return ReadMonitorFile("LoadMl675001Monitor", path, kMl675001MonitorMaxSize,
                           MonitorForm::HexText, text);
}
