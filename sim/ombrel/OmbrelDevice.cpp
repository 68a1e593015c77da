#include "ombrel/OmbrelDevice.h"

#include "ombrel/OmbrelLoader.h"
#include "ombrel/OmbrelProtocol.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace vtarget {

std::unique_ptr<Phase> MakeOmbrelPhase(Stage stage, const OmbrelOptions& options,
                                       BoardShared& shared, Clock::time_point now) {
    if (stage == Stage::BootLoader) {
        return std::make_unique<OmbrelLoaderPhase>(options, shared, now);
    }
    return std::make_unique<OmbrelApplicationPhase>();
}

std::optional<OmbrelFault> OmbrelFaultNamed(std::string_view name) {
    struct Named {
        std::string_view name;
        OmbrelFault fault;
    };
    static constexpr std::array<Named, 6> kFaults = {{
        {"bad-crc", OmbrelFault::BadCrc},
        {"wrong-block", OmbrelFault::WrongBlock},
        {"silent", OmbrelFault::Silent},
        {"lead-byte", OmbrelFault::LeadByte},
        {"extra-byte", OmbrelFault::ExtraByte},
        {"split", OmbrelFault::SplitAnswer},
    }};
    const auto* found = std::ranges::find(kFaults, name, &Named::name);
    if (found == kFaults.end()) {
        return std::nullopt;
    }
    return found->fault;
}

bool WriteOmbrelFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

void OmbrelApplicationPhase::Receive(const RxByte& byte, std::vector<Reply>& /*replies*/) {
    recent_.push_back(byte.value);
    if (recent_.size() > kOmbrelResetSequence.size()) {
        recent_.pop_front();
    }
    reset_ = reset_ || std::ranges::equal(recent_, kOmbrelResetSequence);
}

std::optional<Stage> OmbrelApplicationPhase::Handover() const {
    if (!reset_) {
        return std::nullopt;
    }
    return Stage::BootLoader;
}

} // namespace vtarget
