// ulvex: the command line beside vorn. Subcommands as Linux tools have
// them, options through CLI11.
#include "TargetsCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <ulvex.h>

namespace {

constexpr int kUsageError = 2;

std::string VersionText() {
    const uint32_t v = FLoaderDLLVersion();
    char text[64];
    std::snprintf(text, sizeof text, "ulvex (library %u.%u)", ULVEX_VERSION_MAJOR(v),
                  ULVEX_VERSION_MINOR(v));
    return text;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Programs the flash of embedded boards through their serial boot loaders.",
                 "ulvex"};
    app.set_version_flag("--version", VersionText());
    app.require_subcommand(1);

    bool targetsJson = false;
    CLI::App* targets = app.add_subcommand("targets", "List every target type: number, name, "
                                                      "family, memory, crystal, boot rate.");
    targets->add_flag("--json", targetsJson, "one JSON array (docs/ulvex-targets.schema.json)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with 0; a usage error gives 2.
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    if (targets->parsed()) {
        std::fputs((targetsJson ? ulvex::TargetsJson() : ulvex::TargetsTable()).c_str(), stdout);
    }
    return 0;
}
