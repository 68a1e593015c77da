// ulvex: the command line beside vorn. Subcommands as Linux tools have
// them, options through CLI11.
#include "FlashCommand.h"
#include "PortsCommand.h"
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

    bool portsJson = false;
    CLI::App* ports = app.add_subcommand(
        "ports", "List the serial ports of this machine: device, by-id and by-path links, "
                 "driver, USB ids and names, access, the processes holding them.");
    ports->add_flag("--json", portsJson, "one JSON array (docs/ulvex-ports.schema.json)");

    ulvex::FlashOptions flash;
    CLI::App* flashCommand = app.add_subcommand(
        "flash", "Program the image into every board given with -p, all at once, and verify it.");
    flashCommand->add_option("IMAGE", flash.image, "Intel HEX file")->required();
    flashCommand
        ->add_option("-p,--port", flash.ports,
                     "device path, COMn or rfc2217:// / socket:// URL; once per board")
        ->envname("ULVEX_PORT")
        ->required();
    flashCommand->add_option("-t,--target", flash.target, "target type: number or name")
        ->envname("ULVEX_TARGET")
        ->required();
    flashCommand->add_option("-b,--baud", flash.baud, "working rate")->capture_default_str();
    flashCommand->add_option("--bus", flash.bus, "duplex or single (one wire)")
        ->check(CLI::IsMember({"duplex", "single"}))
        ->capture_default_str();
    flashCommand->add_flag("--dtr", flash.dtr, "raise DTR while the port is open");
    flashCommand->add_flag("--rts", flash.rts, "raise RTS while the port is open");
    flashCommand->add_flag("--json", flash.json,
                           "JSON Lines on standard output (docs/ulvex-events.schema.json)");
    flashCommand->add_flag("--quiet", flash.quiet, "the summary only");
    flashCommand->add_option("--log-dir", flash.logDir, "write Session_<n>.log files there");
    flashCommand->add_flag("--keep-going", flash.keepGoing,
                           "program the ports that passed their check when others failed it");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with 0; a usage error gives 2.
        return app.exit(e) == 0 ? 0 : kUsageError;
    }
    if (flashCommand->parsed()) {
        return ulvex::RunFlash(flash);
    }
    if (ports->parsed()) {
        return ulvex::RunPorts(portsJson);
    }
    if (targets->parsed()) {
        std::fputs((targetsJson ? ulvex::TargetsJson() : ulvex::TargetsTable()).c_str(), stdout);
    }
    return 0;
}
