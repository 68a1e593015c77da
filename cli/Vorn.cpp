// Vorn: the console program. Checks that the library fits, reads the
// settings, registers the indication display and runs exactly one job:
// a test script, an upload, a CRC verification or a programming session.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "IndicationDisplay.h"
#include "Jobs.h"
#include "Options.h"
#include "ulvex.h"

namespace {

constexpr uint32_t kCompatibleMajor = 2;
// SetDebug mask when DEBUG is given without a level: mails, indications and
// narrowed monitor-start dumps, without the raw byte dumps.
constexpr uint8_t kDefaultDebugMask = 0x1C;

constexpr int kExitCallbackRefused = 3;
constexpr int kExitIncompatibleLibrary = 21;

bool IsHelpArgument(const char* argument) {
    return strcasecmp(argument, "-h") == 0 || strcasecmp(argument, "--help") == 0 ||
           strcmp(argument, "-?") == 0;
}

bool IsVersionArgument(const char* argument) {
    return strcasecmp(argument, "--version") == 0;
}

bool AnyArgument(int argc, const char* const* argv, bool (*matches)(const char*)) {
    for (int i = 1; i < argc; ++i) {
        if (matches(argv[i])) {
            return true;
        }
    }
    return false;
}

int RunJob(RunSettings& settings) {
    if (settings.scriptName[0] != '\0') {
        return RunScriptJob(settings);
    }
    if (settings.uploadWidth == 8 || settings.uploadWidth == 16) {
        return RunUploadJob(settings);
    }
    if (settings.verifyCrc) {
        return RunVerifyJob(settings);
    }
    return RunProgrammingJob(settings);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t version = FLoaderDLLVersion();
    PrintBanner(version);
    if (ULVEX_VERSION_MAJOR(version) != kCompatibleMajor) {
        fputs("\n The current Ulvex.DLL is not compatible with this Vorn version \n", stdout);
        return kExitIncompatibleLibrary;
    }
    if (argc < 2 || AnyArgument(argc, argv, IsHelpArgument)) {
        PrintHelp();
        return 0;
    }
    if (AnyArgument(argc, argv, IsVersionArgument)) {
        return 0;
    }

    RunSettings settings;
    ReadAllOptions(argc, argv, settings);
    if (settings.debugOn) {
        SetDebug(settings.debugLevel != 0 ? settings.debugLevel : kDefaultDebugMask);
    }
    if (SetupCallbackFunction(DisplayIndication) != CALLBACK_REGISTERED) {
        fputs("\n### DLL Callback setup failed ###\n", stdout);
        return kExitCallbackRefused;
    }
    return RunJob(settings);
}
