#include "board/PhaseFactory.h"

#include "boot/AtmegaBootPhase.h"
#include "boot/HungPhase.h"
#include "boot/ImageBootPhase.h"
#include "boot/Ml675001RomPhase.h"
#include "memory/BoardMemory.h"
#include "monitor/MonitorPhase.h"
#include "ombrel/OmbrelDevice.h"

namespace vtarget {

namespace {

// The chip boot loader's silence after a download that did not start: the
// PC waits up to 1000 ms for the checksum, then up to 800 ms for a prompt.
constexpr auto kChipHoldOff = std::chrono::milliseconds(1300);

MonitorSettings MonitorSettingsOf(const BoardOptions& options,
                                  const std::optional<BootEntry>& boot) {
    MonitorSettings settings;
    settings.targetType = options.targetType;
    const FlashId flashId = BoardFlashId(options);
    settings.flashManufacturer = flashId.manufacturer;
    settings.flashDevice = flashId.device;
    settings.version = options.version;
    settings.rateStep = boot ? boot->rateStep : RateStep::None;
    return settings;
}

} // namespace

Stage FirstStage(const BoardOptions& options) {
    if (options.ombrel.enabled) {
        return Stage::Monitor; // the device's application runs
    }
    return options.monitorRunning ? Stage::Monitor : Stage::BootLoader;
}

uint32_t FirstRate(const BoardOptions& options) {
    if (options.monitorRunning || options.ombrel.enabled) {
        return options.baudRate;
    }
    const auto boot = BootEntryOf(options.targetType);
    return boot ? boot->bootRate : 0;
}

PhaseFactory::PhaseFactory(const BoardOptions& options, BoardShared& shared, FaultInjector& faults)
    : options_(options), shared_(shared), faults_(faults), boot_(BootEntryOf(options.targetType)),
      monitor_(MonitorSettingsOf(options, boot_)) {}

std::unique_ptr<Phase> PhaseFactory::Make(Stage stage, Clock::time_point now) const {
    if (options_.ombrel.enabled) {
        return MakeOmbrelPhase(stage, options_.ombrel, shared_, now);
    }
    switch (stage) {
    case Stage::Monitor:
        return std::make_unique<MonitorPhase>(shared_, faults_, monitor_);
    case Stage::Hung:
        return std::make_unique<HungPhase>();
    case Stage::BootLoader:
        break;
    }
    return BootLoader(now);
}

std::unique_ptr<Phase> PhaseFactory::BootLoader(Clock::time_point now) const {
    if (!boot_) {
        return nullptr;
    }
    ImageBootSettings image;
    image.imageKind = boot_->imageKind;
    image.prompt = options_.bootPrompt;
    switch (boot_->protocol) {
    case BootProtocol::Chip:
        image.holdOff = kChipHoldOff;
        image.withheldChecksums = options_.withheldChecksums;
        return std::make_unique<ImageBootPhase>(shared_, image, now);
    case BootProtocol::Arm:
        image.refuseHeader = options_.refuseArmHeader;
        return std::make_unique<ImageBootPhase>(shared_, image, now);
    case BootProtocol::Ml675001Rom:
        return std::make_unique<Ml675001RomPhase>(shared_, boot_->imageKind);
    case BootProtocol::AtmegaResident:
        return std::make_unique<AtmegaBootPhase>(shared_, faults_, monitor_);
    }
    return nullptr;
}

} // namespace vtarget
