#include "Stations.h"

#include "SessionImages.h"
#include "ulvex.h"

namespace reliability {

namespace {

constexpr uint32_t kWorkRate = 921600;
// Two pages of an ATmega, two sectors of an external flash: small, so that
// the monitor start dominates.
constexpr size_t kImageSize = 0x1001;

} // namespace

const std::vector<Family>& QuickFamilies() {
    static const std::vector<Family> families = {
        {10, 0},          // ATmega64/128, resident boot loader: no download
        {17, 0},          // the other ATmega type
        {18, 0},          // S3C44B0X: ARM boot loader at 115200, below the board's window
        {14, 0xC8000000}, // ML675001: HEX monitor at 115200
        {10, 0},
        {17, 0},
        {18, 0},
        {0, 0x080000}, // KOLT-A internal flash: chip boot
                       // loader at 9600, narrowed trace
        {10, 0},
        {17, 0},
        {18, 0},
        {14, 0xC8000000},
        {10, 0},
        {17, 0},
        {18, 0},
        {3, 0x000100}, // MERV-A: chip boot loader at 9600, byte-counting
                       // monitor
    };
    return families;
}

Station::Station(const Family& family, uint16_t sessionid, unsigned comport,
                 const testfiles::TempDir& dir)
    : family_(family), id_(sessionid), comport_(comport), dir_(dir.path()),
      image_(testfiles::RandomBytes(kImageSize, sessionid)) {
    hex_ = WriteHexImage(dir, "image" + std::to_string(id_), {{family_.imageBase, image_}});
    vtarget::BoardOptions options;
    options.targetType = family_.targetType;
    options.linkPath = dir.file("board" + std::to_string(id_));
    board_ = std::make_unique<vtarget::Board>(options);
    mapping_ = std::make_unique<ComPortMapping>(comport_, options.linkPath);
}

bool Station::StartBoard(std::string& error) {
    return board_->Start(error);
}

uint32_t Station::StartSession() const {
    return FlashLoader(comport_, family_.busmode, kWorkRate,
                       static_cast<uint32_t>(family_.targetType), hex_.c_str(), id_);
}

bool Station::MemoryHoldsImage() const {
    return board_->ReadMemory(family_.imageBase, static_cast<uint32_t>(image_.size())) == image_;
}

std::string Station::LogPath() const {
    return dir_ + "/Session_" + std::to_string(id_) + ".log";
}

std::vector<std::unique_ptr<Station>>
MakeStations(size_t count, uint16_t firstId, unsigned firstPort, const testfiles::TempDir& dir) {
    std::vector<std::unique_ptr<Station>> stations;
    const auto& families = QuickFamilies();
    for (size_t i = 0; i < count; ++i) {
        stations.push_back(std::make_unique<Station>(families[i % families.size()],
                                                     static_cast<uint16_t>(firstId + i),
                                                     static_cast<unsigned>(firstPort + i), dir));
    }
    return stations;
}

} // namespace reliability
