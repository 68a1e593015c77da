// The option handler: applies one token to the run settings and reports
// refused values and unknown options. A refused option never stops the run.
#include "Options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Numbers are read as hexadecimal, so a number typed in decimal arrives
// with its decimal digits as hex digits. Gives the typed decimal number, or
// false when a digit is A to F (the word was not a decimal number).
bool TypedDecimal(uint32_t number, uint32_t& decimal) {
    decimal = 0;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const uint32_t digit = (number >> shift) & 0xF;
        if (digit > 9) {
            return false;
        }
        decimal = decimal * 10 + digit;
    }
    return true;
}

// The lowest three hex digits taken as hundreds, tens and units, in 8 bits.
uint8_t ComPortFrom(uint32_t number) {
    const uint32_t hundreds = (number >> 8) & 0xF;
    const uint32_t tens = (number >> 4) & 0xF;
    const uint32_t units = number & 0xF;
    return static_cast<uint8_t>(hundreds * 100 + tens * 10 + units);
}

bool IsSupportedTarget(uint32_t target) {
    return target <= 3 || (target >= 5 && target <= 7) || (target >= 10 && target <= 23);
}

bool IsSupportedBaudRate(uint32_t rate) {
    constexpr uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
    return std::ranges::find(kRates, rate) != std::end(kRates);
}

void ReportUnsupported(const char* name, uint32_t number) {
    printf("\n### Unsupported %s=%d ###", name, static_cast<int>(number));
}

bool Is(const OptionToken& token, const char* name) {
    return strcmp(token.name, name) == 0;
}

void ApplyRange(const OptionToken& token, RunSettings& settings) {
    uint8_t width = 0;
    if (Is(token, "UPLOAD")) {
        width = 8;
    } else if (Is(token, "UPLOAD16")) {
        width = 16;
    } else {
        return;
    }
    settings.uploadStart = token.first;
    settings.uploadEnd = token.second;
    settings.uploadWidth = width;
}

void ApplyTarget(uint32_t number, RunSettings& settings) {
    uint32_t target = 0;
    if (!TypedDecimal(number, target) || !IsSupportedTarget(target)) {
        ReportUnsupported("TARGET", number);
        return;
    }
    settings.targetType = target;
}

void ApplyBaudRate(uint32_t number, RunSettings& settings) {
    uint32_t rate = 0;
    if (!TypedDecimal(number, rate) || !IsSupportedBaudRate(rate)) {
        ReportUnsupported("BAUDRATE", number);
        return;
    }
    settings.baudRate = rate;
}

void ApplyNumber(const OptionToken& token, RunSettings& settings) {
    if (Is(token, "COMPORT")) {
        settings.comPort = ComPortFrom(token.first);
    } else if (Is(token, "BUSMODE")) {
        settings.busMode = token.first;
    } else if (Is(token, "TARGET")) {
        ApplyTarget(token.first, settings);
    } else if (Is(token, "BAUDRATE")) {
        ApplyBaudRate(token.first, settings);
    } else if (Is(token, "DEBUG")) {
        settings.debugOn = true;
        settings.debugLevel = static_cast<uint8_t>(token.first);
    }
}

uint16_t* LineSettingNamed(const OptionToken& token, RunSettings& settings) {
    if (Is(token, "DTR")) {
        return &settings.dtr;
    }
    if (Is(token, "RTS")) {
        return &settings.rts;
    }
    if (Is(token, "BREAK")) {
        return &settings.breakLine;
    }
    if (Is(token, "MONITORLOAD")) {
        return &settings.monitorLoad;
    }
    return nullptr;
}

void ApplyText(const OptionToken& token, RunSettings& settings) {
    uint16_t* line = LineSettingNamed(token, settings);
    if (line == nullptr) {
        printf("\n### Unknown option: %s = %s ###", token.name, token.valueText);
        return;
    }
    *line = strcmp(token.valueText, "OFF") == 0 ? LINE_OFF : LINE_ON;
}

void ApplyFlag(const OptionToken& token, RunSettings& settings) {
    if (Is(token, "DEBUG")) {
        settings.debugOn = true;
    } else if (Is(token, "VERIFYCRC")) {
        settings.verifyCrc = true;
    } else if (!Is(token, "TESTMODE")) {
        printf("\n### Unknown option: %s  ###", token.name);
    }
}

void CopyName(char (&destination)[kRunFileNameSize], const char* name) {
    static_assert(kRunFileNameSize > kOptionNameMax, "a token name must fit the settings");
    snprintf(destination, kRunFileNameSize, "%s", name);
}

} // namespace

void ApplyOption(const OptionToken& token, RunSettings& settings) {
    switch (token.kind) {
    case OPTION_RANGE:
        return ApplyRange(token, settings);
    case OPTION_NUMBER:
        return ApplyNumber(token, settings);
    case OPTION_TEXT:
        return ApplyText(token, settings);
    case OPTION_FLAG:
        return ApplyFlag(token, settings);
    case OPTION_FILE:
    case OPTION_BINARY_FILE:
    case OPTION_HEX_FILE:
        return CopyName(settings.fileName, token.name);
    case OPTION_SCRIPT_FILE:
        return CopyName(settings.scriptName, token.name);
    default:
        if (token.nameTooLong) {
            printf("\n### Name longer than %zu characters ignored ###", kOptionNameMax);
        }
        return;
    }
}
