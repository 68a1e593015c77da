#include "memory/BoardMemory.h"

#include "memory/arm/ArmMemory.h"
#include "memory/atmega/AtmegaAddressing.h"
#include "memory/atmega/AtmegaMemory.h"
#include "memory/kolt/KoltMemory.h"
#include "memory/merv/MervMemory.h"

#include <algorithm>

namespace vtarget {

namespace {

constexpr FlashId kDefaultFlashId{0x0001, 0x2249};
constexpr FlashId kKoltFlashId{0x00BF, 0x2782};

// Wire timing gives erases the time they take on a real board.
FlashTiming TimingOf(const BoardOptions& options) {
    FlashTiming timing;
    timing.step = options.flashStepTime;
    timing.stuck = options.stuckBusy;
    if (options.wireTiming) {
        timing.unitErase =
            std::max<FlashTiming::Duration>(timing.unitErase, std::chrono::milliseconds(100));
        timing.chipErase8 =
            std::max<FlashTiming::Duration>(timing.chipErase8, std::chrono::milliseconds(1000));
    }
    return timing;
}

ChipIdentity IdentityOf(const BoardOptions& options) {
    ChipIdentity identity;
    const auto code = ChipCodeOf(options.chip);
    identity.vdev = code ? *code : DefaultChipOf(options.targetType).code;
    identity.vconf = options.vconf;
    identity.vrev = options.vrev;
    identity.vmode = options.vmode;
    return identity;
}

} // namespace

FlashId BoardFlashId(const BoardOptions& options) {
    const bool leftAtDefault = options.flashManufacturer == kDefaultFlashId.manufacturer &&
                               options.flashDevice == kDefaultFlashId.device;
    if (!options.plainMemory && IsKoltType(options.targetType) && leftAtDefault) {
        return kKoltFlashId;
    }
    if (!options.plainMemory && IsArmBoardType(options.targetType) && leftAtDefault) {
        return {kArmDefaultFlashManufacturer, kArmDefaultFlashDevice};
    }
    return {options.flashManufacturer, options.flashDevice};
}

std::unique_ptr<MemoryModel> MakeBoardMemory(const BoardOptions& options) {
    if (!options.plainMemory && IsAtmegaType(options.targetType)) {
        return std::make_unique<AtmegaMemory>(AtmegaFlashSize(options.version),
                                              options.corruptWord);
    }
    if (!options.plainMemory && IsMervType(options.targetType)) {
        return std::make_unique<MervMemory>(TimingOf(options), options.corruptWord);
    }
    if (!options.plainMemory && IsArmBoardType(options.targetType)) {
        const FlashId flashId = BoardFlashId(options);
        return MakeArmMemory(options, flashId.manufacturer, flashId.device);
    }
    if (options.plainMemory || !IsKoltType(options.targetType)) {
        return std::make_unique<RamMemory>();
    }
    KoltSetup setup;
    setup.mode = FlashModeOf(options.targetType);
    setup.identity = IdentityOf(options);
    setup.internalUnits = InternalUnitsOf(setup.identity.vdev, options.targetType);
    setup.timing = TimingOf(options);
    const FlashId flashId = BoardFlashId(options);
    setup.flashManufacturer = flashId.manufacturer;
    setup.flashDevice = flashId.device;
    setup.pairManufacturer = options.flash8Manufacturer;
    setup.pairDevice = options.flash8Device;
    setup.corruptWord = options.corruptWord;
    return std::make_unique<KoltMemory>(setup);
}

} // namespace vtarget
