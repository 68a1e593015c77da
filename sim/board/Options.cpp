#include "board/Options.h"

#include "memory/kolt/KoltChips.h"
#include "ombrel/OmbrelDevice.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>

namespace vtarget {

namespace {

std::optional<uint64_t> ParseNumber(std::string_view text, int base, uint64_t max) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParseRate(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0 && value <= 1)) {
        return std::nullopt;
    }
    return value;
}

template <typename T>
bool Store(std::optional<uint64_t> parsed, T& target) {
    if (parsed) {
        target = static_cast<T>(*parsed);
    }
    return parsed.has_value();
}

bool StoreRate(const std::string& text, double& target) {
    const auto parsed = ParseRate(text);
    if (parsed) {
        target = *parsed;
    }
    return parsed.has_value();
}

bool StoreFlashId(const std::string& text, BoardOptions& o) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const auto maker = ParseNumber(std::string_view(text).substr(0, colon), 16, 0xFFFF);
    const auto device = ParseNumber(std::string_view(text).substr(colon + 1), 16, 0xFFFF);
    return maker && device && Store(maker, o.flashManufacturer) && Store(device, o.flashDevice);
}

bool StoreFlash8Id(const std::string& text, BoardOptions& o) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const auto maker = ParseNumber(std::string_view(text).substr(0, colon), 16, 0xFF);
    const auto device = ParseNumber(std::string_view(text).substr(colon + 1), 16, 0xFF);
    return maker && device && Store(maker, o.flash8Manufacturer) && Store(device, o.flash8Device);
}

bool StoreChip(const std::string& text, BoardOptions& o) {
    if (!ChipCodeOf(text)) {
        return false;
    }
    o.chip = text;
    return true;
}

// One character, or with --vrev also a byte as 0xHH.
bool StoreLetter(const std::string& text, uint8_t& target, bool hexAllowed) {
    if (text.size() == 1) {
        target = static_cast<uint8_t>(text[0]);
        return true;
    }
    if (!hexAllowed || !(text.starts_with("0x") || text.starts_with("0X"))) {
        return false;
    }
    return Store(ParseNumber(text, 16, 0xFF), target);
}

OmbrelOptions& EnableOmbrel(BoardOptions& o) {
    o.ombrel.enabled = true;
    return o.ombrel;
}

struct OptionRule {
    const char* name;
    const char* value; // shown in the usage; nullptr: a flag
    const char* help;
    std::function<bool(const std::string&, BoardOptions&)> apply;
};

constexpr uint64_t kMaxCount = INT64_MAX;

const std::vector<OptionRule>& Rules() {
    using O = BoardOptions;
    using S = const std::string&;
    static const std::vector<OptionRule> rules = {
        {"link", "PATH", "symlink to create for the board's port (required)",
         [](S v, O& o) { return !v.empty() && (o.linkPath = v, true); }},
        {"target", "N", "target type 0..23; 3, 4, 8, 9 and 16 program bytes, others words (0)",
         [](S v, O& o) { return Store(ParseNumber(v, 10, 23), o.targetType); }},
        {"monitor-running", nullptr, "start with the monitor running, not in the boot loader",
         [](S, O& o) { return o.monitorRunning = true; }},
        {"baud", "RATE", "rate of the monitor with --monitor-running (115200)",
         [](S v, O& o) {
             return Store(ParseNumber(v, 10, 100'000'000), o.baudRate) && o.baudRate;
         }},
        {"echo", nullptr, "single-wire bus: send every received byte straight back",
         [](S, O& o) { return o.echo = true; }},
        {"wire-timing", nullptr, "bytes take their line time in both directions",
         [](S, O& o) { return o.wireTiming = true; }},
        // An adapter's latency timer counts whole milliseconds in one byte.
        {"adapter-latency", "MS", "USB adapter: sent bytes wait for 62 or for MS ms, 0..255 (0)",
         [](S v, O& o) { return Store(ParseNumber(v, 10, 255), o.adapterLatencyMs); }},
        {"boot-prompt", "HEX", "byte the chip and ARM boot loaders prompt with (02)",
         [](S v, O& o) { return Store(ParseNumber(v, 16, 0xFF), o.bootPrompt); }},
        {"withhold-checksums", "N", "the chip boot loader keeps its first N checksums back",
         [](S v, O& o) { return Store(ParseNumber(v, 10, INT32_MAX), o.withheldChecksums); }},
        {"refuse-arm-header", nullptr, "the ARM boot loader refuses every header",
         [](S, O& o) { return o.refuseArmHeader = true; }},
        {"flash-id", "MMMM:DDDD", "hex manufacturer and device of the flash (0001:2249)",
         StoreFlashId},
        {"version", "HEX", "monitor version reported; ATmega chip in the high half (00010000)",
         [](S v, O& o) { return Store(ParseNumber(v, 16, UINT32_MAX), o.version); }},
        {"seed", "N", "seed of the injected faults (1)",
         [](S v, O& o) { return Store(ParseNumber(v, 10, UINT64_MAX), o.faults.seed); }},
        {"drop-rate", "P", "probability that a byte is lost, either direction",
         [](S v, O& o) { return StoreRate(v, o.faults.dropRate); }},
        {"corrupt-rate", "P", "probability that a byte has one bit flipped, either direction",
         [](S v, O& o) { return StoreRate(v, o.faults.corruptRate); }},
        {"nak-rate", "P", "probability that a confirm carries status 0",
         [](S v, O& o) { return StoreRate(v, o.faults.nakRate); }},
        {"nak-every", "N", "every Nth confirm carries status 0",
         [](S v, O& o) { return Store(ParseNumber(v, 10, kMaxCount), o.faults.nakEvery); }},
        {"wrong-primitive-rate", "P", "probability that an answer carries another code",
         [](S v, O& o) { return StoreRate(v, o.faults.wrongPrimitiveRate); }},
        {"silent-after", "N", "answer N valid mails, then nothing",
         [](S v, O& o) { return Store(ParseNumber(v, 10, kMaxCount), o.faults.silentAfter); }},
        {"chip", "NAME", "KOLT chip: kolt-a, kolt-b, nila-a, peld-a, peld-b, orsk-a or a VDEV code",
         StoreChip},
        {"vconf", "C", "KOLT configuration letter (C)",
         [](S v, O& o) { return StoreLetter(v, o.vconf, false); }},
        {"vrev", "C|0xHH", "KOLT revision letter or byte (C)",
         [](S v, O& o) { return StoreLetter(v, o.vrev, true); }},
        {"vmode", "C", "KOLT mode pin digit (5)",
         [](S v, O& o) { return StoreLetter(v, o.vmode, false); }},
        {"flash8-id", "MM:DD", "hex manufacturer and device of each 8-bit flash (BF:B5)",
         StoreFlash8Id},
        {"stuck-busy", nullptr, "KOLT and MERV flash controllers and 8-bit erases never finish",
         [](S, O& o) { return o.stuckBusy = true; }},
        {"corrupt-word", "ADDRESS", "flip a bit of the flash word at ADDRESS once programmed",
         [](S v, O& o) {
             const auto address = ParseNumber(v, 16, UINT32_MAX);
             if (address) {
                 o.corruptWord = static_cast<uint32_t>(*address);
             }
             return address.has_value();
         }},
        {"dump", "FILE", "write the memory as Intel HEX to FILE on exit",
         [](S v, O& o) { return !v.empty() && (o.dumpPath = v, true); }},
        // The window loader's device; each --ombrel-* option implies --ombrel.
        {"ombrel", nullptr, "play the Ombrel device, not a board; --dump writes its file",
         [](S, O& o) { return EnableOmbrel(o).enabled; }},
        {"ombrel-prompt", "TEXT", "its boot loader's prompt after a reset (>>>>>>>>)",
         [](S v, O& o) { return (EnableOmbrel(o).prompt = v, true); }},
        {"ombrel-run", "TEXT", "sent once the whole file is in (RUN); empty: nothing",
         [](S v, O& o) { return (EnableOmbrel(o).runText = v, true); }},
        {"ombrel-fault", "KIND", "bad-crc, wrong-block, silent, lead-byte, extra-byte, split",
         [](S v, O& o) {
             const auto fault = OmbrelFaultNamed(v);
             EnableOmbrel(o).fault = fault.value_or(OmbrelFault::None);
             return fault.has_value();
         }},
        {"ombrel-fault-block", "HEX", "block number whose answers the fault hits (0; FF00 last)",
         [](S v, O& o) { return Store(ParseNumber(v, 16, 0xFFFF), EnableOmbrel(o).faultBlock); }},
        {"ombrel-fault-count", "N", "how many answers to that block the fault hits (1)",
         [](S v, O& o) {
             return Store(ParseNumber(v, 10, kMaxCount), EnableOmbrel(o).faultCount);
         }},
    };
    return rules;
}

const OptionRule* FindRule(std::string_view name) {
    for (const OptionRule& rule : Rules()) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

// The value of an option: after '=' in the same argument, or the next
// argument (then *next moves past it). Nothing when there is none.
std::optional<std::string> ValueOf(const std::vector<std::string>& args, std::string_view arg,
                                   size_t equals, size_t* next) {
    if (equals != std::string_view::npos) {
        return std::string(arg.substr(equals + 1));
    }
    if (*next < args.size()) {
        return args[(*next)++];
    }
    return std::nullopt;
}

// Applies args[i] (and its value); returns the next index, or nullopt on error.
std::optional<size_t> ApplyOne(const std::vector<std::string>& args, size_t i, BoardOptions& o,
                               std::string& message) {
    std::string_view arg = args[i];
    if (!arg.starts_with("--")) {
        message = "unexpected argument '" + args[i] + "'";
        return std::nullopt;
    }
    arg.remove_prefix(2);
    const size_t equals = arg.find('=');
    const OptionRule* rule = FindRule(arg.substr(0, equals));
    if (rule == nullptr) {
        message = "unknown option '" + args[i] + "'";
        return std::nullopt;
    }
    const std::string name = std::string("--") + rule->name;
    size_t next = i + 1;
    if (rule->value == nullptr) {
        if (equals != std::string_view::npos) {
            message = name + " takes no value";
            return std::nullopt;
        }
        rule->apply({}, o);
        return next;
    }
    const auto value = ValueOf(args, arg, equals, &next);
    if (!value) {
        message = name + " needs a value (" + rule->value + ")";
        return std::nullopt;
    }
    if (!rule->apply(*value, o)) {
        message = "invalid value '" + *value + "' for " + name + " (" + rule->value + ")";
        return std::nullopt;
    }
    return next;
}

} // namespace

ParseStatus ParseOptions(const std::vector<std::string>& args, BoardOptions& options,
                         std::string& message) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return ParseStatus::Help;
        }
    }
    for (size_t i = 0; i < args.size();) {
        const auto next = ApplyOne(args, i, options, message);
        if (!next) {
            return ParseStatus::Error;
        }
        i = *next;
    }
    if (options.linkPath.empty()) {
        message = "--link PATH is required";
        return ParseStatus::Error;
    }
    return ParseStatus::Run;
}

std::string UsageText() {
    std::string text = "Usage: vtarget --link PATH [options]\n"
                       "Plays a target board on a pseudo-terminal reachable as PATH, until\n"
                       "SIGINT or SIGTERM. The board starts in the boot loader of its target\n"
                       "type, at that boot loader's rate.\n\nOptions:\n";
    for (const OptionRule& rule : Rules()) {
        std::string left = std::string("  --") + rule.name;
        if (rule.value != nullptr) {
            left += std::string(" ") + rule.value;
        }
        left.resize(std::max<size_t>(left.size() + 2, 32), ' ');
        text += left + rule.help + "\n";
    }
    text += "  --help                        this text\n";
    return text;
}

} // namespace vtarget
