// The bytes an ELF file loads, as boot loaders and debuggers program them:
// each PT_LOAD segment's file bytes (p_filesz; the rest up to p_memsz is
// .bss, cleared by the program's start-up and never programmed) at its
// physical address (p_paddr, the load address in flash, which differs from
// the run address p_vaddr for initialised data). Read with libelf, 32- or
// 64-bit, either byte order.
#include "image/ImageFile.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gelf.h>
#include <libelf.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ulvex {

namespace {

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct ElfEnd {
    void operator()(Elf* elf) const { elf_end(elf); }
};

// What libelf says of its last failure, in parentheses, or "".
std::string LibelfSays() {
    const int error = elf_errno();
    const char* message = error != 0 ? elf_errmsg(error) : nullptr;
    return message != nullptr ? fmt::format(" (libelf: {})", message) : "";
}

// The image of an ELF file libelf opened, or why there is none.
MemoryImage Segments(Elf* elf, uint64_t fileSize) {
    MemoryImage image;
    image.origin = "segment";
    GElf_Ehdr header;
    size_t count = 0;
    if (gelf_getehdr(elf, &header) == nullptr || elf_getphdrnum(elf, &count) != 0) {
        image.error = "is a damaged or truncated ELF file" + LibelfSays();
        return image;
    }
    if (count == 0) {
        image.error = "has no program headers: an object file (objcopy -I binary makes one) "
                      "must be linked into an executable first";
        return image;
    }
    if (header.e_phoff > fileSize ||
        uint64_t{header.e_phentsize} * count > fileSize - header.e_phoff) {
        image.error = "is truncated: its program headers run past the end of the file";
        return image;
    }
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr segment;
        if (gelf_getphdr(elf, static_cast<int>(i), &segment) == nullptr) {
            image.error = fmt::format("has a damaged program header {}{}", i, LibelfSays());
            return image;
        }
        if (segment.p_type != PT_LOAD || segment.p_filesz == 0) {
            continue;
        }
        if (segment.p_offset > fileSize || segment.p_filesz > fileSize - segment.p_offset) {
            image.error = fmt::format("is truncated: segment {} needs {} bytes from offset {}, "
                                      "the file has {} bytes",
                                      i, segment.p_filesz, segment.p_offset, fileSize);
            return image;
        }
        if (segment.p_paddr > 0xFFFFFFFFu || segment.p_filesz > 0x100000000u - segment.p_paddr) {
            image.error = fmt::format("loads segment {} at 0x{:X}, above the 4 GiB that the "
                                      "library's addresses reach",
                                      i, segment.p_paddr);
            return image;
        }
        Elf_Data* data = elf_getdata_rawchunk(elf, static_cast<int64_t>(segment.p_offset),
                                              segment.p_filesz, ELF_T_BYTE);
        if (data == nullptr || data->d_buf == nullptr || data->d_size != segment.p_filesz) {
            image.error = fmt::format("segment {} cannot be read{}", i, LibelfSays());
            return image;
        }
        const auto* bytes = static_cast<const uint8_t*>(data->d_buf);
        image.segments.push_back({static_cast<uint32_t>(segment.p_paddr),
                                  std::vector<uint8_t>(bytes, bytes + data->d_size),
                                  static_cast<uint32_t>(i)});
    }
    if (image.segments.empty()) {
        image.error = "has no loadable data (no PT_LOAD segment with bytes in the file)";
    }
    return image;
}

} // namespace

MemoryImage ReadElfImage(const std::string& path) {
    MemoryImage image;
    if (elf_version(EV_CURRENT) == EV_NONE) {
        image.error = "cannot be read: libelf is too old" + LibelfSays();
        return image;
    }
    Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
        image.error = "cannot be read";
        return image;
    }
    const std::unique_ptr<Elf, ElfEnd> elf(elf_begin(file.fd, ELF_C_READ, nullptr));
    if (elf == nullptr || elf_kind(elf.get()) != ELF_K_ELF) {
        char magic[4] = {};
        const bool hasMagic = ::pread(file.fd, magic, sizeof magic, 0) == sizeof magic &&
                              std::string_view(magic, sizeof magic) == "\x7f"
                                                                       "ELF";
        image.error =
            (hasMagic ? "is a damaged or truncated ELF file" : "is not an ELF file") + LibelfSays();
        return image;
    }
    return Segments(elf.get(), static_cast<uint64_t>(status.st_size));
}

} // namespace ulvex
