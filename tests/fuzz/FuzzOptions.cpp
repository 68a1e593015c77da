// Feeds arbitrary bytes, as one line of Vorn.cfg or one argument, to the
// option tokeniser and the handler. The checks abort on results that must
// hold for any input: names and values within their fields and terminated,
// and a refused name never applied.
#include "Options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_options: %s\n", what);
        abort();
    }
}

bool Terminated(const char* text, size_t size) {
    return memchr(text, '\0', size) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* quiet = freopen("/dev/null", "w", stdout);
    Check(quiet != nullptr, "standard output not redirected");

    std::vector<char> text(data, data + size);
    text.push_back('\0');
    const OptionToken token = TokeniseOption(text.data());
    Check(token.kind <= OPTION_SCRIPT_FILE, "kind out of range");
    Check(Terminated(token.name, sizeof token.name), "name not terminated");
    Check(Terminated(token.valueText, sizeof token.valueText), "value text not terminated");
    Check(!token.nameTooLong || token.kind == OPTION_NOTHING, "refused name with a kind");
    Check(token.kind == OPTION_TEXT || token.valueText[0] == '\0', "value text without kind 3");

    RunSettings settings;
    ApplyOption(token, settings);
    Check(Terminated(settings.fileName, sizeof settings.fileName), "file name not terminated");
    Check(Terminated(settings.scriptName, sizeof settings.scriptName), "script not terminated");
    Check(!token.nameTooLong || settings.fileName[0] == '\0', "refused name applied");
    return 0;
}
