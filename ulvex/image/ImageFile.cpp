#include "image/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <mutex>
#include <unistd.h>

namespace ulvex {

namespace {

// The library refuses images wider than this (its reader's limit).
constexpr uint64_t kLibraryImageMax = 256u * 1024u * 1024u;
// The library takes file names of fewer characters than this.
constexpr size_t kLibraryPathLimit = 200;
// Enough of a file to tell its format.
constexpr size_t kHeadBytes = 4096;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The temporary HEX files of this process, in one private directory.
struct TemporaryFiles {
    std::mutex mutex;
    std::string directory;
    std::vector<std::string> files;
};

// Never destroyed: the interrupt thread may still use it while the process
// ends.
TemporaryFiles& Temporaries() {
    static auto* temporaries = new TemporaryFiles;
    return *temporaries;
}

// A directory of the user's own (mode 0700) under $TMPDIR, or /tmp when
// that is unset or so long that the file's path would reach the library's
// limit; "" and errno when none could be made.
std::string MakePrivateDirectory() {
    std::vector<std::string> parents;
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
        std::error_code error;
        parents.push_back(std::filesystem::absolute(tmpdir, error).string());
    }
    parents.emplace_back("/tmp");
    // The directory's name, the file's ("/99999.hex") and room to spare.
    constexpr size_t kNamesLength = sizeof "/ulvex-XXXXXX/99999.hex";
    for (const std::string& parent : parents) {
        if (parent.empty() || parent.size() + kNamesLength >= kLibraryPathLimit) {
            errno = ENAMETOOLONG;
            continue;
        }
        std::string name = parent + "/ulvex-XXXXXX";
        if (::mkdtemp(name.data()) != nullptr) {
            return name;
        }
    }
    return "";
}

// Writes text into a new temporary file and registers it; its path, or why
// it could not be written.
LibraryImage WriteTemporary(const std::string& text) {
    TemporaryFiles& t = Temporaries();
    const std::lock_guard lock(t.mutex);
    if (t.directory.empty()) {
        t.directory = MakePrivateDirectory();
        if (t.directory.empty()) {
            return {"", fmt::format("cannot make a temporary directory for the converted image "
                                    "(in $TMPDIR or /tmp): {}",
                                    std::strerror(errno))};
        }
        static const bool atExit = (std::atexit(RemoveTemporaryFiles), true);
        (void)atExit;
    }
    const std::string path = fmt::format("{}/{}.hex", t.directory, t.files.size() + 1);
    t.files.push_back(path);
    std::FILE* file = std::fopen(path.c_str(), "wx");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int why = errno;
    if (file != nullptr && std::fclose(file) != 0 && written) {
        written = false;
        why = errno;
    }
    if (!written) {
        return {"",
                fmt::format("cannot write the converted image {}: {}", path, std::strerror(why))};
    }
    return {path, ""};
}

// The whole file, or nullopt.
std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

MemoryImage BinaryImage(const std::string& bytes, uint32_t base) {
    MemoryImage image;
    image.origin = "file";
    if (bytes.empty()) {
        image.error = "is empty";
        return image;
    }
    image.segments.push_back({base, std::vector<uint8_t>(bytes.begin(), bytes.end()), 1});
    return image;
}

} // namespace

std::optional<ImageFormat> FormatNamed(std::string_view name) {
    if (name == "hex") {
        return ImageFormat::Hex;
    }
    if (name == "elf") {
        return ImageFormat::Elf;
    }
    if (name == "srec") {
        return ImageFormat::Srec;
    }
    if (name == "bin") {
        return ImageFormat::Bin;
    }
    return std::nullopt;
}

std::optional<ImageFormat> DetectFormat(std::string_view head) {
    if (head.starts_with("\x7f"
                         "ELF")) {
        return ImageFormat::Elf;
    }
    // The first line with something on it.
    size_t start = 0;
    while (start < head.size()) {
        const size_t end = std::min(head.find('\n', start), head.size());
        const std::string_view line = head.substr(start, end - start);
        if (!std::all_of(line.begin(), line.end(), IsBlank)) {
            if (line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9') {
                return ImageFormat::Srec;
            }
            const size_t first = line.find_first_not_of(" \t\r\v\f");
            if (line[first] == ':') {
                return ImageFormat::Hex;
            }
            return std::nullopt;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string CheckImageChoice(const std::string& format, const std::optional<uint32_t>& base) {
    if (!format.empty() && !FormatNamed(format)) {
        return "the unknown format \"" + format + "\" (hex, elf, srec or bin)";
    }
    if (format == "bin" && !base) {
        return "format bin without a base address";
    }
    if (format != "bin" && base) {
        return "a base address without format bin";
    }
    return "";
}

namespace {

// Why a sorted image is none the library can take, or "".
std::string Refusal(const MemoryImage& image) {
    const std::vector<Segment>& s = image.segments;
    if (s.empty()) {
        return "holds no data";
    }
    uint64_t end = 0;
    const Segment* last = nullptr;
    for (const Segment& segment : s) {
        if (last != nullptr && segment.address < end) {
            return fmt::format("{} {} and {} {} both write 0x{:08X}", image.origin, last->origin,
                               image.origin, segment.origin, segment.address);
        }
        const uint64_t segmentEnd = uint64_t{segment.address} + segment.bytes.size();
        if (segmentEnd > 0xFFFFFFFFu) {
            return fmt::format("{} {} reaches 0xFFFFFFFF: the library's images end below that "
                               "address",
                               image.origin, segment.origin);
        }
        if (segmentEnd > end) {
            end = segmentEnd;
            last = &segment;
        }
    }
    if (end - s.front().address > kLibraryImageMax) {
        return fmt::format("spans 0x{:08X} to 0x{:08X}, more than the library's 256 MiB",
                           s.front().address, end - 1);
    }
    return "";
}

} // namespace

void FinishImage(MemoryImage& image) {
    std::erase_if(image.segments, [](const Segment& segment) { return segment.bytes.empty(); });
    std::stable_sort(image.segments.begin(), image.segments.end(),
                     [](const Segment& a, const Segment& b) { return a.address < b.address; });
    if (image.error.empty()) {
        image.error = Refusal(image);
    }
    if (!image.error.empty()) {
        image.segments.clear();
    }
}

LibraryImage PrepareImage(const ImageChoice& choice) {
    const auto failed = [&](const std::string& why) {
        return LibraryImage{"", choice.path + ": " + why};
    };
    if (const std::string why = CheckImageChoice(choice.format, choice.base); !why.empty()) {
        return failed(why);
    }
    std::error_code error;
    const std::string path = std::filesystem::absolute(choice.path, error).string();
    if (!std::filesystem::is_regular_file(path, error) || ::access(path.c_str(), R_OK) != 0) {
        return {"", "cannot read the image " + choice.path};
    }
    std::optional<ImageFormat> format = FormatNamed(choice.format);
    if (!format) {
        std::ifstream in(path, std::ios::binary);
        std::string head(kHeadBytes, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<size_t>(in.gcount()));
        format = DetectFormat(head);
        if (!format) {
            return failed("is neither Intel HEX, ELF nor Motorola S-record (a raw binary "
                          "needs --format bin --base ADDR)");
        }
    }
    if (format == ImageFormat::Bin && std::filesystem::file_size(path, error) > kLibraryImageMax) {
        return failed("is larger than the library's 256 MiB");
    }
    std::optional<std::string> text;
    if (format == ImageFormat::Srec || format == ImageFormat::Bin) {
        text = ReadWhole(path);
        if (!text) {
            return {"", "cannot read the image " + choice.path};
        }
    }
    if (format == ImageFormat::Hex) {
        return {path, ""}; // the library reads it as it is
    }
    MemoryImage image;
    if (format == ImageFormat::Elf) {
        image = ReadElfImage(path);
    } else if (format == ImageFormat::Srec) {
        image = ParseSrec(*text);
    } else {
        image = BinaryImage(*text, *choice.base);
    }
    FinishImage(image);
    if (!image.error.empty()) {
        return failed(image.error);
    }
    return WriteTemporary(WriteHex(image));
}

void RemoveTemporaryFiles() {
    TemporaryFiles& t = Temporaries();
    const std::lock_guard lock(t.mutex);
    for (const std::string& file : t.files) {
        ::unlink(file.c_str());
    }
    t.files.clear();
    if (!t.directory.empty()) {
        ::rmdir(t.directory.c_str());
        t.directory.clear();
    }
}

} // namespace ulvex
