// Reading Vorn's settings: the configuration file first, then the command
// line, every line and argument through the same tokeniser and handler, so
// that the command line overrules the file.
#include "Options.h"

#include <cstdio>

namespace {

// Lines longer than the buffer arrive in pieces; each piece counts as a line.
constexpr int kConfigLineBuffer = 256;

void ApplyConfigFile(const char* configFile, RunSettings& settings) {
    FILE* file = fopen(configFile, "r");
    if (file == nullptr) {
        printf("\nNo configuration file found (%s)", configFile);
        return;
    }
    char line[kConfigLineBuffer];
    while (fgets(line, sizeof line, file) != nullptr) {
        ApplyOption(TokeniseOption(line), settings);
    }
    fclose(file);
}

} // namespace

void ReadAllOptions(int argc, const char* const* argv, RunSettings& settings,
                    const char* configFile) {
    settings.fileName[0] = '\0';
    settings.scriptName[0] = '\0';
    ApplyConfigFile(configFile, settings);
    for (int i = 1; i < argc; ++i) {
        ApplyOption(TokeniseOption(argv[i]), settings);
    }
}
